#!/usr/bin/env bash
# Batch speed of the calculator: 300,000 pairs read from a file into
# /dev/null, against the same loop with no flushing at all. Goal: at most
# 1.15 times as long.
. "$(dirname "$0")/lib.sh" Velquist velquist_noflush

awk 'BEGIN {
	srand(1)
	for (i = 0; i < 300000; i++)
		printf "%.8g %.8g\n", rand() * 0.999, 10 ^ -(1 + rand() * 11)
	print "0 0"
}' >"$tmp/pairs"

read -r -d '' plain calc < <(median 15 "build/velquist_noflush <$tmp/pairs >/dev/null" \
	"build/Velquist <$tmp/pairs >/dev/null") || true
awk -v p="$plain" -v c="$calc" 'BEGIN {
	printf "never flushing  %7.1f ms\nVelquist        %7.1f ms\nratio           %7.3f (goal <= 1.15)\n",
		1000 * p, 1000 * c, c / p
	exit c / p > 1.15
}'
