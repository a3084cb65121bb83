#!/usr/bin/env bash
# Speed of the filter against cat and tr -d Q, on five 256 MiB inputs read
# from a file into /dev/null: the median of 10 runs each. Goal: at most 0.40
# times tr and 2.5 times cat on every input; further aim, 1.5 times cat.
# The columns ssse3 and plain force the filter's other ways to drop Qs.
. "$(dirname "$0")/lib.sh" Oddrane oddrane_plain oddrane_ssse3

size=$((256 << 20))
head -c $size /dev/urandom >"$tmp/random"
base64 -w 76 /dev/urandom | head -c $size >"$tmp/base64" || true
awk 'BEGIN {
	srand(7)
	n = split("the of and to in a is that for it as was with be by on not he I this " \
		"are or his from at which but have an they you were her she Quite Queen " \
		"Quebec quiet quick question equal square Iraq Qatar unique require", w, " ")
	for (t = 0; t < 268435456; t += length(line)) {
		line = ""
		for (i = 0; i < 12; i++)
			line = line w[int(rand() * n) + 1] " "
		line = line ".\n"
		printf "%s", line
	}
}' | head -c $size >"$tmp/prose" || true
yes Qa | tr -d '\n' | head -c $size >"$tmp/Qa" || true
yes Q | tr -d '\n' | head -c $size >"$tmp/allQ" || true

printf '%-8s %8s %8s %8s %8s %8s %9s %9s\n' input cat 'tr -d Q' Oddrane ssse3 plain '/ tr' '/ cat'
status=0
for f in random base64 prose Qa allQ; do
	t=($(median 10 "cat <$tmp/$f >/dev/null" "tr -d Q <$tmp/$f >/dev/null" \
		"build/Oddrane <$tmp/$f >/dev/null" "build/oddrane_ssse3 <$tmp/$f >/dev/null" \
		"build/oddrane_plain <$tmp/$f >/dev/null"))
	awk -v f=$f -v c="${t[0]}" -v tr="${t[1]}" -v o="${t[2]}" -v s="${t[3]}" -v p="${t[4]}" 'BEGIN {
		printf "%-8s %6.1fms %6.1fms %6.1fms %6.1fms %6.1fms %9.3f %9.3f\n",
			f, 1000 * c, 1000 * tr, 1000 * o, 1000 * s, 1000 * p, o / tr, o / c
		exit o / tr > 0.40 || o / c > 2.5
	}' || status=1
done
echo "ssse3 and plain: the same filter with that way forced; ratios are Oddrane's."
exit $status
