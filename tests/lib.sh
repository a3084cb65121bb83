# Shared by the end-to-end tests: sourced with the command that runs the
# program under test as its arguments (an emulator may come first).
# Writes to a reader that has gone fail instead of killing the test, and
# every run's standard error goes to $tmp/err, where nothing may appear.
# They need bash (3.2 or later), perl and the tools of any Unix.

set -u
export LC_ALL=C
trap '' PIPE
prog=("$@")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

# verdict NAME WANT-STATUS GOT-STATUS [WANT-OUTPUT-FILE]: one check of a run
# that wrote its standard output to $tmp/out.
verdict() {
	if [ "$3" = "$2" ] && [ ! -s "$tmp/err" ] && { [ -z "${4-}" ] || cmp -s "$4" "$tmp/out"; }; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		printf 'FAIL %s: status %s (want %s)%s\n' "$1" "$3" "$2" \
			"$([ -s "$tmp/err" ] && echo ', wrote to standard error:')"
		head -n 5 "$tmp/err" | sed 's/^/  /'
		[ -n "${4-}" ] && cmp "$4" "$tmp/out"
	fi
	: >"$tmp/err"
}

# start: runs the program in the background between two fifos, $tmp/to on
# descriptor 3 and $tmp/from on descriptor 4, and sets pid. The timeout
# ends a program that would otherwise hang the test.
start() {
	rm -f "$tmp/to" "$tmp/from"
	mkfifo "$tmp/to" "$tmp/from"
	"${limit[@]}" 20 "${prog[@]}" <"$tmp/to" >"$tmp/from" 2>"$tmp/err" &
	pid=$!
	exec 3>"$tmp/to" 4<"$tmp/from"
}

# The end of each perl helper: it runs its command, or says why it cannot
# and exits 127, as a shell does.
execute='exec { $ARGV[0] } @ARGV; print STDERR "$ARGV[0]: $!\n"; exit 127'

# nonblock FDS COMMAND...: runs COMMAND with standard input (if FDS has 0),
# output (if it has 1) or both set non-blocking, as a parent may hand them over.
nonblock() {
	perl -MFcntl -e '$f = shift;
		for ($f =~ /0/ ? *STDIN : (), $f =~ /1/ ? *STDOUT : ()) {
			fcntl($_, F_SETFL, fcntl($_, F_GETFL, 0) | O_NONBLOCK) or die
		}
		'"$execute" "$@"
}

# "${limit[@]}" SECONDS COMMAND... runs COMMAND, ended by SIGALRM if it
# runs longer; "${sigpipe[@]}" COMMAND... runs it as a shell would, killed by
# SIGPIPE when it writes to a reader that has gone. Each may run the other.
limit=(perl -e 'alarm shift; '"$execute")
sigpipe=(perl -e '$SIG{PIPE} = "DEFAULT"; '"$execute")

# full COMMAND...: runs COMMAND with output that fails as on a full disk:
# /dev/full where the system has it, else a closed descriptor, as it says.
if [ -c /dev/full ]; then
	full() { "$@" >/dev/full; }
else
	echo 'no /dev/full here: the rows for a full disk write to a closed descriptor'
	full() { "$@" >&-; }
fi

finish() {
	printf '%d passed, %d failed\n' "$passed" "$failed"
	[ "$failed" = 0 ]
}
