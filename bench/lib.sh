# Shared by the benchmarks: installs what they use (with its output in
# build/bench-install.log), builds the release targets named in $@, makes
# $tmp, and gives base, which builds another revision's, and rounds, which
# times commands.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
mkdir -p build
command -v gnuplot >/dev/null || {
	apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y gnuplot-nox
} >build/bench-install.log 2>&1
cmake --preset default >/dev/null
cmake --build --preset default --target "$@" >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# base REV PATH TARGET...: builds the TARGETs of revision REV (a release
# build, as above) in $tmp/base, to time them beside today's in the same
# rounds, and says which REV lacks; PATH's last change is REV's default,
# the commit before it.
base() {
	local rev=$1 path=$2 target
	shift 2
	rev=$(git rev-parse --short "${rev:-$(git log -1 --format=%H -- "$path")^}")
	echo "base: $rev, $(git log -1 --format=%s "$rev")"
	mkdir "$tmp/base"
	git archive "$rev" | tar -C "$tmp/base" -xf -
	cmake -S "$tmp/base" -B "$tmp/base/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
	for target; do
		cmake --build "$tmp/base/build" --target "$target" >/dev/null 2>&1 || echo "base: $rev has no $target"
	done
}

# rounds N COMMAND...: runs the commands round by round, so that a busy
# spell of the machine falls on all of them alike, each round in another
# order, so that none always follows the same command (one that heats the
# CPU or fills its caches would slow the next); a warm-up round, then N
# timed ones. It prints each command's median seconds, a line each.
rounds() {
	local n=$1 i j k s order
	shift
	RANDOM=1	# the same orders in every run
	for ((i = 0; i <= n; i++)); do
		order=()
		for ((j = 1; j <= $#; j++)); do
			k=$((RANDOM % j))
			order[j - 1]=${order[k]-}
			order[k]=$j
		done
		for j in "${order[@]}"; do
			s=$EPOCHREALTIME
			eval "${!j}"
			((i == 0)) || echo "$j $s $EPOCHREALTIME"
		done
	done >"$tmp/times"
	for ((j = 1; j <= $#; j++)); do
		awk -v j=$j '$1 == j { print $3 - $2 }' "$tmp/times" | sort -g |
			awk '{ t[NR] = $1 } END { print (t[int((NR + 1) / 2)] + t[int(NR / 2) + 1]) / 2 }'
	done
}

# ratios A/B...: for each pair of the commands that rounds numbered last,
# the median over the rounds of A's time over B's in the same round, so that
# a slow spell of the machine, which falls on a round as a whole, cancels
# out; and how far the middle half of those ratios spread about it, as a
# share of it: the noise. A line "ratio noise" a pair.
ratios() {
	awk -v pairs="$*" -v times="$tmp/times" 'BEGIN {
		while ((getline line <times) > 0) {
			split(line, p, " ")
			d[p[1], ++n[p[1]]] = p[3] - p[2]
		}
		for (j = split(pairs, pair, " "); j > 0; j--) {
			split(pair[j], ab, "/")
			for (i = 1; i <= n[ab[1]]; i++) {
				x = d[ab[1], i] / d[ab[2], i]
				for (k = i - 1; k > 0 && v[k] > x; k--)
					v[k + 1] = v[k]
				v[k + 1] = x
			}
			m = n[ab[1]]
			r[j] = (v[int((m + 1) / 2)] + v[int(m / 2) + 1]) / 2
			s[j] = (v[m - int(m / 4)] - v[int(m / 4) + 1]) / r[j]
		}
		for (j = 1; j <= split(pairs, pair, " "); j++)
			print r[j], s[j]
	}'
}
