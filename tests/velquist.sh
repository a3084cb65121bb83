# The calculator's dialogue, end to end: bytes in, bytes out and exit status.
. "$(dirname "$0")/lib.sh"
P='Enter x and eps, separate by a blank '

# t INPUT STATUS OUTPUT...: INPUT is printf %b text; each OUTPUT word is P for
# a prompt or the number on a result line. Input comes once from a file and
# once from a pipe, where the prompts are flushed. With FULL set, output
# fails as on a full disk and is not compared.
t() {
	local input=$1 status=$2 word to=out want=$tmp/want
	[ -n "${FULL-}" ] && to=full want=
	shift 2
	for word; do
		if [ "$word" = P ]; then printf '%s' "$P"; else printf 'The result value: %s \n' "$word"; fi
	done >"$tmp/want"
	printf '%b' "$input" >"$tmp/in"
	$to "${prog[@]}" <"$tmp/in" 2>"$tmp/err"
	verdict "$input from a file" "$status" $? ${want:+"$want"}
	cat "$tmp/in" 2>/dev/null | $to "${prog[@]}" 2>"$tmp/err"
	verdict "$input from a pipe" "$status" $? ${want:+"$want"}
}
out() { "$@" >"$tmp/out"; }

t '0.5 0.001\n0 0\n'		0 P 1.648698 P
t '0.5 0.001 0.1 0.0001\n'	1 P 1.648698 P 1.105171 P	# end of input
t '0.5\n0.001\n0 0\n'		0 P 1.648698 P			# a pair over two lines
t '0.5 0.5\n0.5 0.0625\n0 0'	0 P 1.500000 P 1.645833 P
t '0.5 2\n0.5 inf\n0 0\n'	0 P 1.000000 P 1.000000 P	# eps past every term
t '0.99999994 1e-45\n0 0\n'	0 P 2.718282 P			# the longest series
t '0.5 0\n'			0 P
t '0 0.5\n'			0 P
t '-0 0.5\n'			0 P
t '0.5 -0\n'			0 P
t '0 -1\n'			1 P		# a range test comes before a stop test
t '-0.1 0.5\n'			1 P
t '1 0.01\n'			1 P
t '0.5 -1e-30\n'		1 P
t 'inf 0.5\n'			1 P
t '-inf 0.5\n'			1 P
t '0.5 -inf\n'			1 P
t 'nan 0.5\n'			1 P		# a NaN is no number in range
t '0.5 nan\n'			1 P
t 'nan 0\n'			1 P
t '0 nan\n'			1 P
t ''				1 P
t 'abc'				1 P
t '0.5'				1 P
t '0.5 x'			1 P
# The examples in README and the man page, as they stand there.
PROMPT=$P examples "$(dirname "$0")/../README.md" Velquist
PROMPT=$P examples "$(dirname "$0")/../series_calculator/Velquist.1" Velquist
[ -z "${QUICK-}" ] || { finish; exit; }	# the first rows alone

# Output that cannot be written fails, also at a normal stop.
FULL=1 t '0 0\n'			1
FULL=1 t '0.5 0.001\n0 0\n'		1
FULL=1 t '0.5 0.001\n'		1

# Output that fails in the middle of a batch stops it once a buffer cannot
# be written, long before the input ends (what it left unread tells), and
# also where the input never ends; a reader that leaves ends it by SIGPIPE,
# or where that is ignored, with status 1.
awk 'BEGIN { for (i = 0; i < 20000; i++) print "0.5 0.001"; print "0 0" }' >"$tmp/batch"
{
	full "${prog[@]}" 2>"$tmp/err"
	status=$?
	[ "$(wc -c)" -gt 100000 ] || echo 'read on after its output failed' >>"$tmp/err"
} <"$tmp/batch"
verdict 'a batch to a full disk' 1 $status
# yes says so on $tmp/err if it cannot run.
"${sigpipe[@]}" yes '0.5 0.001' 2>>"$tmp/err" | full "${limit[@]}" 20 "${prog[@]}" 2>>"$tmp/err"
verdict 'endless input to a full disk' 1 "${PIPESTATUS[1]}"
"${sigpipe[@]}" yes '0.5 0.001' 2>>"$tmp/err" | "${limit[@]}" 20 "${prog[@]}" 2>>"$tmp/err" | head -c 100000 >/dev/null
verdict 'endless input, the reader gone, with SIGPIPE ignored' 1 "${PIPESTATUS[1]}"
"${sigpipe[@]}" yes '0.5 0.001' 2>>"$tmp/err" | "${limit[@]}" 20 "${sigpipe[@]}" "${prog[@]}" 2>>"$tmp/err" |
	head -c 100000 >/dev/null
verdict 'endless input, the reader gone' 141 "${PIPESTATUS[1]}"

# A parent may hand over non-blocking descriptors: no pair is lost while the
# writer pauses, nor any result while the reader comes late, with input,
# output or both non-blocking, over a batch far larger than a pipe holds.
# NONBLOCK, if set, names which of these to try: the calculator built on
# the standard streams waits for none of them.
awk -v p="$P" 'BEGIN { for (i = 0; i < 20000; i++) printf "%sThe result value: 1.648698 \n", p; printf "%s", p }' >"$tmp/want"
for fds in ${NONBLOCK-0 1 01}; do
	{ sleep 0.5; cat "$tmp/batch"; } | nonblock $fds "${prog[@]}" 2>"$tmp/err" | { sleep 1; cat; } >"$tmp/out"
	verdict "a batch with descriptors $fds non-blocking" 0 "${PIPESTATUS[1]}" "$tmp/want"
done

# A driver on pipes sees every prompt before it answers, whether it sends a
# pair at a time, a pair in two parts or two pairs at once; then it ends the
# input. step SEND WANT: it sends SEND and must read WANT (printf %b texts)
# within 5 s.
step() {
	local want got
	printf '%b' "$1" >&3
	want=$(printf '%b.' "$2")
	want=${want%.}
	got=
	[ -z "$want" ] || IFS= read -r -d '' -n ${#want} -t 5 got <&4
	[ "$got" = "$want" ] || printf 'sent "%s": want "%s", got "%s"\n' "$1" "$2" "$got" >>"$tmp/err"
}
R='The result value:'
start
step ''				"$P"
step '0.5 0.001\n'		"$R 1.648698 \n$P"
step '0.1 '			''
sleep 0.3
step '0.0001\n'			"$R 1.105171 \n$P"
step '0.5 0.5\n0.5 0.0625\n'	"$R 1.500000 \n$P$R 1.645833 \n$P"
exec 3>&-
wait "$pid"
verdict 'a driver waiting for prompts' 1 $?
exec 4<&-

finish
