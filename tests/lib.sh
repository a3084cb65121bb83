# Shared by the end-to-end tests: sourced with the command that runs the
# program under test as its arguments (an emulator may come first).
# Writes to a reader that has gone fail instead of killing the test, and
# every run's standard error goes to $tmp/err, where nothing may appear.
# They need bash (3.2 or later), perl and the tools of any Unix.

set -u
export LC_ALL=C
trap '' PIPE
prog=("$@")
last=$((${#prog[@]} - 1))
# The examples run in $tmp: a program named with a folder is found from
# there by its full path, one named bare on PATH.
case ${prog[last]} in
*/*) prog[last]=$(cd "$(dirname "${prog[last]}")" && pwd)/$(basename "${prog[last]}") ;;
esac
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

# examples DOC NAME: runs the examples that DOC (README.md, or a man page)
# shows of the program NAME, as they stand there, in $tmp. Each "$ " line is
# a command: one that names NAME runs the program as this table does, a
# printf into a file makes its input, and any other is passed over. The
# lines below a command are its output, but where the command has no input
# of its own, what follows $PROMPT (if set) on a line is what the user
# typed; a line that ends in " $" ends without a line end, where the
# shell's prompt follows. "$ echo $?" gives the status, 0 unless told.
examples() {
	local cmd= line want= typed before=$((passed + failed))
	: >"$tmp/typed"
	: >"$tmp/shown"
	while IFS= read -r line; do
		case $cmd in
		*[\<\|]*) typed= ;;
		*) typed=${PROMPT:+${line#"$PROMPT"}} ;;
		esac
		case $line in
		'$ echo $?') want=next ;;
		'$ '*)
			case $cmd in
			*"$2"*)
				(cd "$tmp" && eval "$(echo "$cmd" | sed "s|[^ ]*$2|\"\\\${prog[@]}\"|")") \
					<"$tmp/typed" >"$tmp/out" 2>"$tmp/err"
				verdict "${1##*/}: $cmd" "${want:-0}" $? "$tmp/shown" ;;
			printf*\>*) (cd "$tmp" && eval "$cmd") ;;
			esac
			cmd=${line#??} want=
			: >"$tmp/typed"
			: >"$tmp/shown" ;;
		*)
			if [ "$want" = next ]; then
				want=$line
			elif [ "${line% \$}" != "$line" ]; then
				printf '%s ' "${line% \$}" >>"$tmp/shown"
			elif [ -z "$typed" ] || [ "$typed" = "$line" ]; then
				printf '%s\n' "$line" >>"$tmp/shown"
			else
				printf '%s' "$PROMPT" >>"$tmp/shown"
				printf '%s\n' "$typed" >>"$tmp/typed"
			fi ;;
		esac
	done < <(
		case $1 in
		*.md) awk '/^```/ { f = !f; next } f' "$1" ;;
		*) awk '/^\.fi/ { f = 0 } f && !/^\.R[SE]/; /^\.nf/ { f = 1 }' "$1" |
			sed 's/\\f[BIPR]//g; s/\\e/\\/g; s/\\-/-/g; s/\\ / /g' ;;
		esac
		echo '$ '
	)
	# A document whose examples no longer read as such must not pass.
	[ $((passed + failed)) -gt "$before" ] || { echo "no example found in $1" >>"$tmp/err"; verdict "examples in ${1##*/}" 0 0; }
}

finish() {
	printf '%d passed, %d failed\n' "$passed" "$failed"
	[ "$failed" = 0 ]
}
