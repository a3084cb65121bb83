#!/usr/bin/env bash
# Batch speed of the calculator: 300,000 pairs from a file into /dev/null,
# and through pipes on both sides, against the same loop with no flushing at
# all, and against the calculator built from a base revision, the first
# argument (by default the commit before the last change to
# series_calculator/): the median of 15 rounds of the ratios within a round.
# Goal: at most 1.05 times as long as the loop that never flushes, on both.
# It exits 1 if the calculator is slower than its base by more than the
# noise of those ratios, the wider of the two; the goal, which moves with
# the machine, sets no exit status.
. "$(dirname "$0")/lib.sh" Velquist velquist_noflush
base "${1-}" series_calculator Velquist
b=$tmp/base/build/Velquist

awk 'BEGIN {
	srand(1)
	for (i = 0; i < 300000; i++)
		printf "%.8g %.8g\n", rand() * 0.999, 10 ^ -(1 + rand() * 11)
	print "0 0"
}' >"$tmp/pairs"

t=($(rounds 15 "build/bench/velquist_noflush <$tmp/pairs >/dev/null" "build/Velquist <$tmp/pairs >/dev/null" \
	"$b <$tmp/pairs >/dev/null" "cat $tmp/pairs | build/bench/velquist_noflush | cat >/dev/null" \
	"cat $tmp/pairs | build/Velquist | cat >/dev/null" "cat $tmp/pairs | $b | cat >/dev/null"))
q=($(ratios 2/1 5/4 2/3 5/6))
awk -v t="${t[*]}" -v qs="${q[*]}" 'BEGIN {
	split(t, s, " ")
	split(qs, q, " ")
	printf "%-12s %15s %10s %10s %9s %8s %6s\n", "input", "never flushing", "Velquist", "base", "/ never", "/ base", "noise"
	noise = q[6] > q[8] ? q[6] : q[8]
	for (i = 0; i < 2; i++)
		printf "%-12s %12.1f ms %7.1f ms %7.1f ms %9.3f %8.3f %5.1f%%\n", i ? "pipes" : "from a file",
			1000 * s[3 * i + 1], 1000 * s[3 * i + 2], 1000 * s[3 * i + 3], q[2 * i + 1], q[2 * i + 5], 100 * q[2 * i + 6]
	print "goal: at most 1.05 times as long as never flushing"
	slower = q[5] > 1 + noise || q[7] > 1 + noise
	if (slower)
		print "slower than the base by more than the noise"
	exit slower
}'
