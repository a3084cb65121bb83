#!/usr/bin/env bash
# bench/oddrane.sh [REV]: the filter's speed on nine inputs of BENCH_MIB
# MiB (256 unless told), from random bytes to only Qs: from a file to
# /dev/null, to a file in /dev/shm and in the middle of a pipeline, against
# cat, tr -d Q and its own read loop with the filtering left out, and with
# each x86 way, the portable way and the byte loop forced. It prints the
# median times and the ratios, with any goal missed, and draws
# docs/oddrane.svg where gnuplot is found. First it times the pass alone,
# each way on a block in the cache, against the base.
#
# The filter and each forced way are also timed as built from REV (by
# default the commit before the last change to byte_filter/), in the same
# rounds: it exits 1 if one is slower than its base, or any command fails
# or writes other bytes than it should (tr -d Q's, cat's or none);
# 2 if the rounds allowed cannot tell; else 0. bench/lib.sh says how the
# rounds and the verdict go. The ratios to cat, tr and the read loop move
# with the machine and set no exit status; docs/CONTRIBUTING.md says what
# the goals rest on.
. "$(dirname "$0")/lib.sh" Oddrane oddrane_avx2 oddrane_ssse3 oddrane_portable oddrane_bytes oddrane_read oddrane_pass
ways="Oddrane avx2 ssse3 portable bytes"
target() { if [ "$1" = Oddrane ]; then echo Oddrane; else echo "bench/oddrane_$1"; fi; }
base "${1-}" byte_filter $(for way in $ways; do basename "$(target $way)"; done) oddrane_pass

size=$((${BENCH_MIB:-256} << 20))
make_inputs $size
sync	# none of the inputs' writing back to disk falls in the rounds
inputs="random base64 prose text Qa Qa63 halfQ switch allQ"

# The pass alone, on a block in the cache (bench/oddrane_pass.cpp): each
# way that this CPU runs, today's and the base's by turns, each in a
# process of its own, the best of 5 runs of each.
pass() {
	local f way i
	printf '%-7s %-8s %9s %9s %6s\n' input way today base ratio
	for f in $inputs; do
		for way in $(build/bench/oddrane_pass <"$tmp/$f" | cut -d' ' -f1); do
			for i in 1 2 3 4 5; do
				echo "today $(build/bench/oddrane_pass $way <"$tmp/$f")"
				[ -z "$b" ] || echo "base $($b/bench/oddrane_pass $way <"$tmp/$f")"
			done | awk -v f=$f '{ if (!($1 in t) || $3 < t[$1]) t[$1] = $3; w = $2 }
				END { printf "%-7s %-8s %9.3f %9s %6s\n", f, w, t["today"], ("base" in t) ? sprintf("%.3f", t["base"]) : "-",
					("base" in t) ? sprintf("%.2f", t["today"] / t["base"]) : "-" }'
		done
	done
}
pass >"$tmp/pass.table"
cat "$tmp/pass.table"
echo "The pass alone: ns for 64 bytes of a 512 KiB block in the cache, the best of 5 runs each, on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')."
echo

shm=/dev/shm/oddrane-bench.$$
trap 'rm -rf "$tmp" "$shm"' EXIT
# Each ratio A/B that the table shows, with its goal.
shown="Oddrane/cat:1.6 Oddrane/read:1.6 Oddrane/tr:0.40 avx2/cat:2.4 ssse3/cat:2.6 portable/bytes:1.5
portable/cat:7 Oddrane-shm/cat-shm:1.25 Oddrane-pipe/cat-pipe:0.90"
printf '%-7s' input >"$tmp/table"
for name in cat tr Oddrane avx2 ssse3 portable bytes read $shown; do
	printf ' %9s' "${name%:*}"
done >>"$tmp/table"
echo >>"$tmp/table"
printf '%-7s %-32s %s\n' input 'against the base' 'interval of the median ratio' >"$tmp/base.table"
echo 'input cat "tr -d Q" "Oddrane (fastest here)" AVX2 SSSE3 portable "byte loop" "read loop"' >"$tmp/chart"
for f in $inputs; do
	in=$tmp/$f
	tr -d Q <"$in" >"$tmp/want"
	reset
	want=$in
	add cat "cat <$in"
	add cat-pipe "cat $in | cat | cat"
	want=$tmp/want
	add tr "tr -d Q <$in"
	add Oddrane-pipe "cat $in | build/Oddrane | cat"
	for way in $ways; do
		based $way "build/$(target $way) <$in" "$b/$(target $way) <$in"
	done
	sink=$shm
	add Oddrane-shm "build/Oddrane <$in"
	want=$in
	add cat-shm "cat <$in"
	sink=/dev/null want=/dev/null
	add read "build/bench/oddrane_read <$in"
	decide $((9 * ${#pairs[@]})) "${pairs[@]}"

	{
		printf '%-7s' $f
		for name in cat tr Oddrane avx2 ssse3 portable bytes read; do
			printf ' %7.1fms' "$(awk -v s="$(ratio $name -)" 'BEGIN { print 1000 * s }')"
		done
		missed=
		for pair in $shown; do
			a=${pair%%/*} b2=${pair#*/} goal=${pair#*:}
			b2=${b2%:*}
			case $pair,$f in portable/bytes:*,random | portable/bytes:*,base64) goal=0.714 ;; esac
			r=$(ratio "$a" "$b2")
			printf ' %9.3f' "$r"
			awk -v r="$r" -v g="$goal" 'BEGIN { exit !(r > g) }' && missed+=" ${pair%:*} $r > $goal;"
		done
		printf ' %d rounds\n' $(timed)
		[ -z "$missed" ] || printf '%-7s missed goals:%s\n' '' "$missed"
	} >>"$tmp/table"
	printf '%s' $f >>"$tmp/chart"
	for name in cat tr Oddrane avx2 ssse3 portable bytes read; do
		awk -v s="$(ratio $name -)" -v size=$size 'BEGIN { printf " %.2f", size / s / 1e9 }'
	done >>"$tmp/chart"
	echo >>"$tmp/chart"
	while read -r way lo median hi word; do
		printf '%-7s %-32s %s < %s < %s %s in %d rounds\n' $f "$way over base-$way" $lo $median $hi $word "$(timed $way)"
	done <"$tmp/verdicts" >>"$tmp/base.table"
	cat "$tmp/verdicts" >>"$tmp/all.verdicts"
done
cat "$tmp/table"
echo "Times: the median over the rounds; ratios: the median over the rounds of the ratio within each round."
if [ -n "$b" ]; then
	echo
	cat "$tmp/base.table"
fi

chart docs/oddrane.svg <<EOF2
set terminal svg size 900,420 dynamic font "sans,13" background rgb "white"
set output "docs/oddrane.svg"
set title "Oddrane, $((size >> 20)) MiB from a file to /dev/null ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
set ylabel "GB/s"
set style data histogram
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set key outside right top
set grid ytics
set yrange [0:*]
plot for [i=2:9] "$tmp/chart" using i:xtic(1) title columnheader
EOF2
! grep -q 'slower$' "$tmp/all.verdicts" 2>/dev/null || exit 1
! grep -q 'unsure$' "$tmp/all.verdicts" 2>/dev/null || { echo 'cannot tell within the rounds allowed'; exit 2; }
