# Shared by the benchmarks: builds the release targets named in $@, makes
# $tmp, and gives median, which times commands with hyperfine.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v hyperfine >/dev/null ||
	{ apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq hyperfine >/dev/null; }
cmake --preset default >/dev/null
cmake --build --preset default --target "$@" >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# median RUNS COMMAND...: prints the median seconds of each command, a line
# each, after two warm-up runs.
median() {
	local runs=$1
	shift
	hyperfine --style none --warmup 2 --runs "$runs" --export-csv "$tmp/times.csv" "$@" >/dev/null
	awk -F, 'NR > 1 { print $4 }' "$tmp/times.csv"
}
