#!/usr/bin/env bash
# Speed of the filter against cat and tr -d Q on seven 256 MiB inputs, from
# random bytes to only Qs, with Qs in a pattern, in one that breaks every 63
# bytes and at random one byte in two (halfQ): from a file to /dev/null, from
# a file to a file in /dev/shm, and in the middle of a pipeline, the median
# of 10 rounds. avx2, ssse3, portable and bytes are the filter with that way
# forced (bytes is the byte loop that every way ends with); read is its loop
# alone, reading each block and writing nothing. Ratios are the median over
# the rounds of the ratio within each round, so that a slow spell of the
# machine, which falls on a round as a whole, cancels out; the noise is how
# far the middle half of them spread about it, at the widest to /dev/null.
# It prints a table, with the goals below that any missed, and draws
# docs/oddrane.svg (throughput from a file to /dev/null).
#
# The filter and each forced way are timed again as built from a base
# revision, the first argument (by default the commit before the last
# change to byte_filter/), in the same rounds: it exits 1 if one is slower
# than its base by more than the noise of those ratios at that input, the
# widest of them. The ratios to cat, tr and the read loop move with the
# machine (its cat, its memory, its hour) and set no exit status.
#
# The goals hold the floor: the copy that read(2) makes, which cat makes
# too, is most of the filter's time. Measured against the read loop, no
# shortcut for sparse Qs (memchr, skipping stores, writev of runs), no
# second thread and no other block size beat the loop as it is; vmsplice was
# faster in a pipeline but corrupts the output unless it spins on FIONREAD.
# Each way's pass over a block costs the same whatever its Qs: in memory, on
# a 512 KiB block just copied in, AVX-512 takes 1.2 ns for 64 bytes (0.75
# of it to load and store them with no compress at all), AVX2 3.6 and SSSE3
# 4.0, on random bytes, Qa... and only Qs alike. On this AMD EPYC (Zen 4)
# cat copies 256 MiB from the page cache in 13 to 19 ms, 14 to 20 GB/s,
# so those passes alone add 0.25 to 0.4, 0.8 to 1.2 and 0.9 to 1.3 of cat's
# time, and the goals give that room. As ratios: to /dev/null at
# most 1.6 x cat, 1.6 x the read loop and 0.40 x tr; to /dev/shm at most
# 1.25 x cat; in a pipeline at most 0.90 x cat F | cat | cat; AVX2 forced at
# most 2.4 x cat, SSSE3 at most 2.6 x. The portable way, for CPUs with no
# vector way, at most 1.5 x the byte loop and 7 x cat on every input, and
# at most 1 / 1.4 of the byte loop on random bytes and base64. Where Qs are
# dense it does some 33 operations for each 8 bytes, 2 ns in memory, which
# alone is 5 times cat's copy.
#
# What else was tried, in memory where Qs are dense, for 8 bytes: two bytes
# at a time, as the portable way goes, 2 to 2.5 ns; each byte stored at its
# place, from the word's bits or from a table, 2.4 to 2.7; both halves of a
# word closed in the register by masks from a table, 3.3; a branch on each
# word's kind where Qs come one in 8, 0.2 to 0.4 more. Counted as
# instructions run under qemu-user for each byte of 256 KiB, the portable way
# runs 2.2 to 6.8 on random bytes, base64 and prose (the byte loop 5 to 8),
# as many as the byte loop on QaQa... and fewer on only Qs; on Qs at random
# one byte in two, or in a pattern that breaks, 5.4 to 8.1 on 64-bit CPUs
# and 9.2 to 13.5 on 32-bit ones, where the byte loop mispredicts half its
# branches. For AVX2: BMI2's pext on 8-byte groups ran at two thirds of the
# SSSE3 way's speed (and pext is slow on AMD CPUs before Zen 3); four 8-byte
# shuffles and stores, at its speed; one 64K-entry table of 16-byte
# shuffles, 15% faster from a file, for 1 MiB of memory. NEON, counted with
# objdump -d for g++ 12: 29 instructions for 16 bytes on AArch64 and 27 on
# 32-bit ARM, where the byte loop takes 128.
. "$(dirname "$0")/lib.sh" Oddrane oddrane_avx2 oddrane_ssse3 oddrane_portable oddrane_bytes oddrane_read
ways="Oddrane oddrane_avx2 oddrane_ssse3 oddrane_portable oddrane_bytes"
base "${1-}" byte_filter $ways
b=$tmp/base/build based=1
for way in $ways; do
	[ -x $b/$way ] || [ -x $b/bench/$way ] || based=0
done
# from NAME: the command that runs the base's NAME on $in, or none where
# the base lacks a way.
from() { if [ $based = 1 ]; then echo "$b/$1 <$in >/dev/null"; else echo :; fi; }

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
yes QaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQa | head -c $size >"$tmp/Qa63" || true
tr '\000-\177' '[Q*]' <"$tmp/random" >"$tmp/halfQ"
yes Q | tr -d '\n' | head -c $size >"$tmp/allQ" || true
sync	# none of the inputs' writing back to disk falls in the rounds

shm=/dev/shm/oddrane-bench.$$
trap 'rm -rf "$tmp" "$shm"' EXIT
printf '%-7s %7s %7s %8s %7s %7s %8s %7s %7s | %8s %8s %8s %8s %8s %8s %8s | %8s | %8s | %6s\n' \
	input cat 'tr -d Q' Oddrane avx2 ssse3 portable bytes read '/ cat' '/ read' '/ tr' 'avx2/cat' 'ssse3/' \
	'port/byt' 'port/cat' '/dev/shm' pipeline noise
printf '%-7s %8s %8s %8s %8s %8s | %6s\n' input Oddrane avx2 ssse3 portable bytes noise >"$tmp/base.table"
echo 'input cat "tr -d Q" "Oddrane (fastest here)" AVX2 SSSE3 portable "byte loop" "read loop"' >"$tmp/chart"
status=0
for f in random base64 prose Qa Qa63 halfQ allQ; do
	in=$tmp/$f
	t=($(rounds 10 "cat <$in >/dev/null" "tr -d Q <$in >/dev/null" "build/Oddrane <$in >/dev/null" \
		"build/bench/oddrane_avx2 <$in >/dev/null" "build/bench/oddrane_ssse3 <$in >/dev/null" \
		"build/bench/oddrane_portable <$in >/dev/null" "build/bench/oddrane_bytes <$in >/dev/null" \
		"build/bench/oddrane_read <$in >/dev/null" \
		"cat <$in >$shm" "build/Oddrane <$in >$shm" \
		"cat $in | cat | cat >/dev/null" "cat $in | build/Oddrane | cat >/dev/null" \
		"$(from Oddrane)" "$(from bench/oddrane_avx2)" "$(from bench/oddrane_ssse3)" \
		"$(from bench/oddrane_portable)" "$(from bench/oddrane_bytes)"))
	q=($(ratios 3/1 3/8 3/2 4/1 5/1 6/7 6/1 10/9 12/11 3/13 4/14 5/15 6/16 7/17))
	awk -v f=$f -v size=$size -v t="${t[*]}" -v qs="${q[*]}" -v based=$based \
		-v chart="$tmp/chart" -v table="$tmp/base.table" 'BEGIN {
		split(t, s, " ")
		split(qs, q, " ")
		for (i = 1; i <= 14; i++) {
			r[i] = q[2 * i - 1]
			spread[i] = q[2 * i]
		}
		wide = 0
		for (i = 1; i <= 7; i++)
			if (i != 3 && spread[i] > wide)
				wide = spread[i]
		printf "%-7s", f
		for (i = 1; i <= 8; i++)
			printf " %5.1fms", 1000 * s[i]
		printf " | %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f | %8.3f | %8.3f | %5.1f%%\n", r[1], r[2], r[3], r[4],
			r[5], r[6], r[7], r[8], r[9], 100 * wide
		split("1.6 1.6 0.40 2.4 2.6 1.5 7 1.25 0.90", goal, " ")
		if (f == "random" || f == "base64")
			goal[6] = 1 / 1.4
		split("/cat /read /tr avx2/cat ssse3/cat port/byt port/cat /dev/shm pipeline", name, " ")
		for (i = 1; i <= 9; i++)
			if (r[i] > goal[i])
				missed = missed sprintf(" %s %.3f > %s;", name[i], r[i], goal[i])
		if (missed)
			printf "%-7s missed goals:%s\n", "", missed
		printf "%s", f >>chart
		for (i = 1; i <= 8; i++)
			printf " %.2f", size / s[i] / 1e9 >>chart
		printf "\n" >>chart
		if (!based)
			exit 0
		wide = 0
		for (i = 10; i <= 14; i++)
			if (spread[i] > wide)
				wide = spread[i]
		printf "%-7s", f >>table
		for (i = 10; i <= 14; i++)
			printf " %8.3f", r[i] >>table
		printf " | %5.1f%%", 100 * wide >>table
		for (i = 10; i <= 14; i++)
			slower += r[i] > 1 + wide
		printf "%s\n", slower ? "  slower" : "" >>table
		exit slower > 0
	}' || status=1
done
echo "Ratios, each the median over the rounds of the ratio within a round: Oddrane's over cat's, the read"
echo "loop's and tr's, the forced vector ways' over cat's, the portable way's over the byte loop's and cat's,"
echo "and Oddrane's over cat's writing to /dev/shm and between two cats in a pipeline. Noise: how far the middle"
echo "half of the rounds' ratios to /dev/null spread about their median, at the widest."
if [ $based = 1 ]; then
	echo
	echo "Against the base, to /dev/null: the filter and each forced way over the same built from the base."
	cat "$tmp/base.table"
fi

gnuplot <<EOF2
set terminal svg size 900,420 dynamic font "sans,13" background rgb "white"
set output "docs/oddrane.svg"
set title "Oddrane, 256 MiB from a file to /dev/null ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
set ylabel "GB/s"
set style data histogram
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set key outside right top
set grid ytics
set yrange [0:*]
plot for [i=2:9] "$tmp/chart" using i:xtic(1) title columnheader
EOF2
echo "chart: docs/oddrane.svg"
exit $status
