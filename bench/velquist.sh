#!/usr/bin/env bash
# Batch speed of the calculator: 300,000 pairs from a file into /dev/null,
# and through pipes on both sides, against the same loop with no flushing at
# all: the median of 15 rounds. Goal: at most 1.05 times as long on both.
. "$(dirname "$0")/lib.sh" Velquist velquist_noflush

awk 'BEGIN {
	srand(1)
	for (i = 0; i < 300000; i++)
		printf "%.8g %.8g\n", rand() * 0.999, 10 ^ -(1 + rand() * 11)
	print "0 0"
}' >"$tmp/pairs"

t=($(rounds 15 "build/bench/velquist_noflush <$tmp/pairs >/dev/null" "build/Velquist <$tmp/pairs >/dev/null" \
	"cat $tmp/pairs | build/bench/velquist_noflush | cat >/dev/null" \
	"cat $tmp/pairs | build/Velquist | cat >/dev/null"))
awk -v f0="${t[0]}" -v f1="${t[1]}" -v p0="${t[2]}" -v p1="${t[3]}" 'BEGIN {
	printf "%-12s %15s %10s %7s\n", "input", "never flushing", "Velquist", "ratio"
	printf "%-12s %12.1f ms %7.1f ms %7.3f\n", "from a file", 1000 * f0, 1000 * f1, f1 / f0
	printf "%-12s %12.1f ms %7.1f ms %7.3f\n", "pipes", 1000 * p0, 1000 * p1, p1 / p0
	print "goal: a ratio of at most 1.05"
	exit f1 / f0 > 1.05 || p1 / p0 > 1.05
}'
