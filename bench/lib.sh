# Shared by the benchmarks: installs what they use (with its output in
# build/bench-install.log), builds the release targets named in $@, makes
# $tmp, and gives rounds, which times commands.
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

# rounds N COMMAND...: runs the commands one after the other, round by round,
# so that a busy spell of the machine falls on all of them alike: a warm-up
# round, then N timed ones. It prints each command's median seconds, a line
# each.
rounds() {
	local n=$1 i j s
	shift
	for ((i = 0; i <= n; i++)); do
		for ((j = 1; j <= $#; j++)); do
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
