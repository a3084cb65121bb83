# Shared by the benchmarks: builds the release targets named in $@ in
# build/, makes $tmp, and gives make_inputs, which makes the filter's inputs,
# base, which builds another revision's, add and decide, which check and
# time named commands, and ratio, which reads their times. The rounds run
# until every pair is told from its base, looked at after each of $looks
# rounds; BENCH_ROUNDS=N looks once, after N.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
	cmake --preset default >/dev/null
	cmake --build --preset default --target "$@" >/dev/null
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
looks=${BENCH_ROUNDS:-10 20 40 80 160 300}

# fail MESSAGE: ends the bench with status 1.
fail() {
	echo "bench: $*" >&2
	exit 1
}

# make_inputs SIZE: the filter's inputs of SIZE bytes in $tmp, from random bytes
# to only Qs: random, base64, prose (with words that hold Q, one byte in 50),
# text (this system's C headers, or its licences where it has none, over and
# over: a Q in some 2,600 bytes), Qa, Qa63 (Qa broken every 63 bytes), halfQ
# (Qs at random, one byte in two), switch (512 KiB of text, then 512 KiB of
# halfQ, over and over) and allQ.
make_inputs() {
	local texts
	texts=$(find /usr/include -name '*.h' -type f 2>/dev/null | sort)
	[ -n "$texts" ] || texts=$(find /usr/share/common-licenses -type f 2>/dev/null | sort)
	[ -n "$texts" ] || fail "no C headers or licences here to make text of"
	: >"$tmp/text"
	while [ "$(wc -c <"$tmp/text")" -lt "$1" ]; do
		printf '%s\n' "$texts" | tr '\n' '\0' | xargs -0 cat 2>/dev/null |
			head -c $(($1 - $(wc -c <"$tmp/text"))) >>"$tmp/text" || true
		[ -s "$tmp/text" ] || fail "the C headers or licences here are empty"
	done
	head -c "$1" /dev/urandom >"$tmp/random"
	base64 -w 76 /dev/urandom | head -c "$1" >"$tmp/base64" || true
	awk -v size="$1" 'BEGIN {
		srand(7)
		n = split("the of and to in a is that for it as was with be by on not he I this " \
			"are or his from at which but have an they you were her she Quite Queen " \
			"Quebec quiet quick question equal square Iraq Qatar unique require", w, " ")
		for (t = 0; t < size; t += length(line)) {
			line = ""
			for (i = 0; i < 12; i++)
				line = line w[int(rand() * n) + 1] " "
			line = line ".\n"
			printf "%s", line
		}
	}' | head -c "$1" >"$tmp/prose" || true
	yes Qa | tr -d '\n' | head -c "$1" >"$tmp/Qa" || true
	yes QaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQaQa | head -c "$1" >"$tmp/Qa63" || true
	tr '\000-\177' '[Q*]' <"$tmp/random" >"$tmp/halfQ"
	yes Q | tr -d '\n' | head -c "$1" >"$tmp/allQ" || true
	for ((i = 0; i < $1 >> 19; i += 2)); do
		dd if="$tmp/text" bs=512k skip=$i count=1
		dd if="$tmp/halfQ" bs=512k skip=$((i + 1)) count=1
	done 2>/dev/null >"$tmp/switch"
}

# chart FILE: draws FILE with the gnuplot script on standard input, where
# gnuplot is found; the bench installs nothing.
chart() {
	if command -v gnuplot >/dev/null; then
		gnuplot && echo "chart: $1"
	else
		echo "no gnuplot here: $1 not drawn"
	fi
}

# base REV PATH TARGET...: builds the TARGETs of revision REV in
# $tmp/base/build, a release build as above, to time them beside today's in
# the same rounds; PATH's last change is REV's default, the commit before
# it. Sets b to that folder, or leaves it empty, and says so, where there
# is no git repository, as in the source release; a base that cannot be
# built fails the bench.
b=
base() {
	local rev=$1 path=$2 target
	shift 2
	if ! git rev-parse --git-dir >/dev/null 2>&1; then
		echo "base: none, as this is no git repository: the bench times today's build alone"
		return
	fi
	rev=$(git rev-parse --short "${rev:-$(git log -1 --format=%H -- "$path")^}") || fail "no revision ${1:-before $path}"
	echo "base: $rev, $(git log -1 --format=%s "$rev")"
	mkdir "$tmp/base"
	git archive "$rev" | tar -C "$tmp/base" -xf -
	# The base is timed by today's harnesses, which it may lack.
	cp bench/CMakeLists.txt bench/*.cpp "$tmp/base/bench/"
	cmake -S "$tmp/base" -B "$tmp/base/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null ||
		fail "base $rev does not configure"
	for target; do
		cmake --build "$tmp/base/build" --target "$target" >/dev/null 2>&1 || fail "base $rev cannot build $target"
	done
	b=$tmp/base/build
}

# add NAME COMMAND [NAME COMMAND]: a command for the next rounds to time,
# known by NAME; or two, which each round runs one right after the other,
# in either order, so that what they are compared by falls on both alike.
# Each writes to standard output, which goes to $sink (/dev/null unless
# set), and must write what the file $want holds: each is run once first,
# and a command that writes anything else ends the bench. reset forgets
# the commands and their times.
declare -A cmd to
names=() pairs=() warm= sink=/dev/null want=
add() {
	names+=("$1${3:+ $3}")
	check "$1" "$2"
	[ -z "${3-}" ] || check "$3" "$4"
}
check() {
	cmd[$1]=$2 to[$1]=$sink
	eval "$2" >"$tmp/check" || fail "$1 failed (status $?): $2"
	cmp -s "$want" "$tmp/check" || fail "$1 writes other bytes than $want holds: $2"
}
reset() {
	names=() pairs=() cmd=() to=() warm=
	: >"$tmp/times"
}

# based NAME COMMAND BASE-COMMAND: adds NAME and, where there is a base,
# base-NAME beside it, a pair in pairs for decide to tell apart.
based() {
	if [ -n "$b" ]; then
		add "$1" "$2" "base-$1" "$3"
		pairs+=("$1:base-$1")
	else
		add "$1" "$2"
	fi
}

# rounds N: N more rounds of every command, each round in another order,
# so that a busy spell of the machine falls on all of them alike and none
# always follows the same command (one that heats the CPU or fills its
# caches would slow the next); a warm-up round before the first. A line
# "NAME START END" a run goes to $tmp/times. A command that fails, or dies
# by a signal, ends the bench with its name.
#
# A pair of commands that are one process each runs on one CPU, another in
# each round, where taskset can bind this shell: on a 2-core KVM guest one
# CPU at times ran the byte loop 1.5 times as slowly as the other, and the
# middle half of identical code's per-round ratios, 0.98 to 1.28 with the
# pair free, was 0.87 to 1.01 with it bound (portable way, QaQa..., 60
# rounds). A pipeline runs free, as bound it would be one CPU's.
rounds() {
	local i
	[ -n "$warm" ] || round >/dev/null
	warm=1
	for ((i = 0; i < $1; i++)); do
		round >>"$tmp/times"
	done
}
round() {
	local order=() j k a b bound name s
	for ((j = 0; j < ${#names[@]}; j++)); do
		k=$((RANDOM % (j + 1)))
		order[j]=${order[k]-}
		order[k]=${names[j]}
		read -r a b <<<"${order[k]}"
		[ -z "$b" ] || [ $((RANDOM % 2)) = 0 ] || order[k]="$b $a"
	done
	for j in "${order[@]}"; do
		read -r a b <<<"$j"
		bound=
		if [ -n "$b" ] && [ ${#cpus[@]} -gt 1 ] && [[ ${cmd[$a]}${cmd[$b]} != *'|'* ]]; then
			bound=1
			bind "${cpus[RANDOM % ${#cpus[@]}]}"
		fi
		for name in $j; do
			s=$EPOCHREALTIME
			eval "${cmd[$name]}" >"${to[$name]}" || fail "$name failed (status $?): ${cmd[$name]}"
			echo "$name $s $EPOCHREALTIME"
		done
		[ -z "$bound" ] || bind "$allowed"
	done
}
RANDOM=1	# the same orders in every run

# bind CPUS: this shell, and what it starts, runs on CPUS (taskset's list).
# cpus holds the CPUs it may run on, one by one, where taskset can bind it.
bind() {
	taskset -pc "$1" $BASHPID >/dev/null || fail "cannot bind the bench to CPUs $1"
}
cpus=() allowed=
if command -v taskset >/dev/null && allowed=$(taskset -cp $$ 2>/dev/null); then
	allowed=${allowed##*: }
	taskset -pc "$allowed" $$ >/dev/null 2>&1 || allowed=
	for r in ${allowed//,/ }; do
		cpus+=($(seq "${r%-*}" "${r#*-}"))
	done
fi

# timed [NAME]: how many rounds have timed NAME, or the first command.
timed() {
	awk -v n="${1:-${names[0]%% *}}" '$1 == n { r++ } END { print r + 0 }' "$tmp/times"
}

# The awk that reads $tmp/times into v[1..n], sorted: A's time in each
# round over B's, or A's alone where B is "-".
per_round='{ t[$1, ++n[$1]] = $3 - $2 }
function ratios(a, b, v,   i, j, x) {
	for (i = 1; i <= n[a]; i++) {
		x = t[a, i] / (b == "-" ? 1 : t[b, i])
		for (j = i - 1; j > 0 && v[j] > x; j--)
			v[j + 1] = v[j]
		v[j + 1] = x
	}
	return n[a]
}
function median(v, n) { return (v[int((n + 1) / 2)] + v[int(n / 2) + 1]) / 2 }'

# ratio A B: the median over the rounds of A's time over B's in the same
# round, so that a slow spell of the machine, which falls on a round as a
# whole, cancels out; with B "-", A's median time in seconds. Only the
# rounds that ran both count: added ones run the pairs in doubt alone.
ratio() {
	awk -v a="$1" -v b="$2" "$per_round"'
	END {
		if (b != "-" && n[b] < n[a])
			n[a] = n[b]
		print median(v, ratios(a, b, v))
	}' "$tmp/times"
}

# The sign test, whose verdict the bench gives and bench/levels.sh checks.
# Whether A is slower than B, its base, by more than a floor of 5%, below
# which this 2-core machine's noise hides a difference even over 60 rounds:
# the per-round ratios give a distribution-free confidence interval for
# their median (order statistics), whose ends are the k-th ratio from either
# end, with P(Binomial(r, 1/2) < k) at most the level. It is slower where
# the interval lies above 1.05, same where it lies below, unsure where it
# holds 1.05; so the word needs only how many ratios lie below 1.05 and
# above it. The level holds the chance of any false alarm in the whole run
# at 5%, split evenly over its comparisons and over the looks at each
# (Bonferroni): looking after every few rounds and stopping once told
# would otherwise raise it many times over.
sign_test='
function level(comparisons, looks) { return 0.05 / (comparisons * looks) }
function ends(r, alpha,   k, p, q) {
	k = 0
	p = q = 0.5 ^ r
	while (p <= alpha && k + 1 <= r / 2) {
		k++
		q = q * (r - k + 1) / k
		p += q
	}
	return k
}
function word(r, below, above, k) { return k && r - above < k ? "slower" : k && r - below < k ? "same" : "unsure" }'

# verdicts COMPARISONS LOOKS A:B...: a line "A LOW MEDIAN HIGH WORD" for
# each pair: the interval and the median of A's time over B's in each round.
verdicts() {
	awk -v m="$1" -v looks="$2" -v pairs="${*:3}" "$per_round$sign_test"'
	END {
		np = split(pairs, p, " ")
		for (i = 1; i <= np; i++) {
			split(p[i], ab, ":")
			r = ratios(ab[1], ab[2], v)
			below = above = 0
			for (j = 1; j <= r; j++) {
				below += v[j] < 1.05
				above += v[j] > 1.05
			}
			k = ends(r, level(m, looks))
			printf "%s %s %.3f %s %s\n", ab[1], k ? sprintf("%.3f", v[k]) : "0", median(v, r),
				k ? sprintf("%.3f", v[r + 1 - k]) : "inf", word(r, below, above, k)
		}
	}' "$tmp/times"
}

# decide COMPARISONS A:B...: rounds of every command up to the first of
# $looks, then of the pairs still unsure alone up to each next, until each
# A is told from its base B. COMPARISONS is how many pairs the whole run
# decides. Each A must have been added with its B. Leaves a line "A LOW
# MEDIAN HIGH WORD" for each pair in $tmp/verdicts.
decide() {
	local m=$1 n=0 look a w pair all=("${names[@]}")
	local -A said
	shift
	for look in $looks; do
		rounds $((look - n))
		n=$look
		verdicts "$m" "$(echo $looks | wc -w)" "$@" >"$tmp/verdicts"
		while read -r a _ _ _ w; do
			said[$a]=$w
		done <"$tmp/verdicts"
		names=()
		for pair; do
			[ "${said[${pair%%:*}]}" != unsure ] || names+=("${pair%%:*} ${pair#*:}")
		done
		[ ${#names[@]} -gt 0 ] || break
	done
	names=("${all[@]}")
}
