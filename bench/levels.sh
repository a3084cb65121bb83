#!/usr/bin/env bash
# bench/levels.sh: the benches' verdict, the sign test in bench/lib.sh,
# tried on synthetic rounds: 1,000 whole runs for each bench's number of
# comparisons (45 in bench/oddrane.sh, 9 inputs by 5 ways; 2 in
# bench/velquist.sh), each time drawn with 5% noise (log-normal), every pair
# of a run at one true ratio, and the rounds looked at as decide looks at
# them. It must give, or exits 1:
# - at the floor itself (1.05), "slower" for any pair in at most 5% of runs;
# - at 1.10, "slower" for at least 90% of pairs;
# - at 1.00, identical code, "same" for every pair in at least 90% of runs.
set --	# lib.sh builds nothing
. "$(dirname "$0")/lib.sh"
status=0
for m in 45 2; do
	awk -v m=$m -v looks="$looks" "$sign_test"'
	# normal: a draw from the standard normal distribution (Box and Muller).
	function normal(   r, a) {
		if (spare != "") {
			r = spare
			spare = ""
			return r
		}
		r = sqrt(-2 * log(1 - rand()))
		a = 6.283185307179586 * rand()
		spare = r * sin(a)
		return r * cos(a)
	}
	BEGIN {
		srand(1)
		n = split(looks, at, " ")
		for (i = 1; i <= n; i++)
			ks[i] = ends(at[i], level(m, n))
		floor = log(1.05)
		for (t = split("1.05 1.10 1.00", truth, " "); t > 0; t--) {
			slow_runs = slow_pairs = same_runs = 0
			for (run = 0; run < 1000; run++) {
				slow = same = 0
				for (p = 0; p < m; p++) {
					w = "unsure"
					below = above = r = 0
					for (i = 1; i <= n && w == "unsure"; i++) {
						for (; r < at[i]; r++) {
							x = log(truth[t]) + 0.05 * (normal() - normal())
							below += x < floor
							above += x > floor
						}
						w = word(r, below, above, ks[i])
					}
					slow += w == "slower"
					same += w == "same"
				}
				slow_runs += slow > 0
				slow_pairs += slow
				same_runs += same == m
			}
			printf "%2d comparisons, true ratio %s: runs with a pair slower %5.1f%%, pairs slower %5.1f%%, runs all same %5.1f%%\n",
				m, truth[t], slow_runs / 10, slow_pairs / m / 10, same_runs / 10
			if (truth[t] == 1.05 && slow_runs > 50 || truth[t] == 1.10 && slow_pairs < 900 * m ||
			    truth[t] == 1.00 && same_runs < 900) {
				print "  missed"
				missed = 1
			}
		}
		exit missed
	}' || status=1
done
exit $status
