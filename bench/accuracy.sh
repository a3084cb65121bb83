#!/usr/bin/env bash
# How accurate the calculator is: Exponent for every binary32 x in [0, 1)
# and tolerances from 0.5 down to the smallest float, each sum checked bit
# for bit against an independent model, with the largest errors against e^x.
# It runs on every core (about 2.5 minutes on two), prints the table, draws
# docs/accuracy.svg where gnuplot is found and exits 1 on any mismatch.
. "$(dirname "$0")/lib.sh" sweep

start=$EPOCHREALTIME
status=0
build/tests/sweep >"$tmp/table" || status=1
cat "$tmp/table"
awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.0f s on %d cores\n", e - s, '"$(nproc)"' }'

chart docs/accuracy.svg <<EOF2
set terminal svg size 900,420 dynamic enhanced font "sans,13" background rgb "white"
set output "docs/accuracy.svg"
set title "Velquist: the largest error over every x in [0, 1)"
set xlabel "the tolerance eps"
set ylabel "largest |sum - e^x|"
set logscale xy
set format xy "10^{%T}"
set xrange [1:1e-45]
set yrange [1e-7:1]
set xtics (1, 1e-5, 1e-10, 1e-15, 1e-20, 1e-25, 1e-30, 1e-35, 1e-40, 1e-45)
set grid
set key top right
set samples 200
plot "$tmp/table" every ::2 using 1:4 with linespoints lw 2 pt 7 title "largest error", \
	x with lines dt 2 title "eps", \
	2**-22 with lines dt 3 title "1 ulp of a sum in [2, 4)"
EOF2
exit $status
