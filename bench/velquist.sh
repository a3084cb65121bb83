#!/usr/bin/env bash
# bench/velquist.sh [REV]: the calculator's batch speed, 300,000 pairs from
# a file into /dev/null and through pipes on both sides, against the same
# loop with no flushing at all (goal: at most 1.05 times as long) and
# against itself built from REV (by default the commit before the last
# change to series_calculator/). Exits 1 if it is slower than the base, or
# a command fails or writes other bytes than that loop; 2 if the rounds
# allowed cannot tell; else 0. bench/lib.sh says how the rounds and the
# verdict go.
. "$(dirname "$0")/lib.sh" Velquist velquist_noflush
base "${1-}" series_calculator Velquist

in=$tmp/pairs
awk 'BEGIN {
	srand(1)
	for (i = 0; i < 300000; i++)
		printf "%.8g %.8g\n", rand() * 0.999, 10 ^ -(1 + rand() * 11)
	print "0 0"
}' >"$in"
# What each must write: the loop that never flushes, which must have given
# a result for every pair.
want=$tmp/want
build/bench/velquist_noflush <"$in" >"$want" || fail "velquist_noflush failed"
[ "$(grep -o 'value: ' "$want" | wc -l)" = 300000 ] || fail "velquist_noflush gave no result for every pair"

for way in file pipes; do
	run() { if [ $way = file ]; then echo "$1 <$in"; else echo "cat $in | $1 | cat"; fi; }
	add never-$way "$(run build/bench/velquist_noflush)"
	based Velquist-$way "$(run build/Velquist)" "$(run "$b/Velquist")"
done
decide ${#pairs[@]} "${pairs[@]}"

printf '%-6s %9s %9s %9s %8s | %-28s\n' input never Velquist base '/ never' 'against the base: interval'
for way in file pipes; do
	printf '%-6s' $way
	for prog in never-$way Velquist-$way base-Velquist-$way; do
		if [ -n "$b" ] || [ $prog != base-Velquist-$way ]; then
			printf ' %6.1f ms' "$(awk -v s="$(ratio $prog -)" 'BEGIN { print 1000 * s }')"
		else
			printf ' %9s' -
		fi
	done
	printf ' %8.3f | %s\n' "$(ratio Velquist-$way never-$way)" \
		"$(awk -v w=Velquist-$way -v r="$(timed Velquist-$way)" '$1 == w { print $2, "<", $3, "<", $4, $5, "in", r, "rounds" }' "$tmp/verdicts")"
done
echo "goal: at most 1.05 times as long as never flushing"
! grep -q 'slower$' "$tmp/verdicts" || exit 1
! grep -q 'unsure$' "$tmp/verdicts" || { echo 'cannot tell within the rounds allowed'; exit 2; }
