# The filter, end to end: every byte but Q passes, in order, from files and
# pipes, in streams larger than its buffer, live, and with failing I/O.
. "$(dirname "$0")/lib.sh"

# run NAME FILE: filters FILE, read from the file and through a pipe, and
# compares with what tr -d Q makes of it.
run() {
	tr -d Q <"$2" >"$tmp/want"
	"${prog[@]}" <"$2" >"$tmp/out" 2>"$tmp/err"
	verdict "$1 from a file" 0 $? "$tmp/want"
	cat "$2" | "${prog[@]}" >"$tmp/out" 2>"$tmp/err"
	verdict "$1 from a pipe" 0 $? "$tmp/want"
}

# t INPUT OUTPUT: both printf %b text.
t() {
	printf '%b' "$1" >"$tmp/in"
	printf '%b' "$2" >"$tmp/want"
	"${prog[@]}" <"$tmp/in" >"$tmp/out" 2>"$tmp/err"
	verdict "$1" 0 $? "$tmp/want"
}

t ''			''
t 'QQQQ'		''
t 'aQbqc'		'abqc'
t 'Q\nQ\n\nQ'		'\n\n\n'
t 'no line end Q'	'no line end '
t '\0Q\377\r\n\0'	'\0\377\r\n\0'

examples "$(dirname "$0")/../README.md" Oddrane	# as they stand there
examples "$(dirname "$0")/../byte_filter/Oddrane.1" Oddrane
perl -e 'print map { chr } 0 .. 255' >"$tmp/all"
run 'all 256 byte values' "$tmp/all"
[ -z "${QUICK-}" ] || { finish; exit; }	# the first rows alone

# Random bytes, of sizes about vector widths and the 128 KiB buffer, with
# from no Qs up to nearly all Qs.
for size in 1 15 16 17 63 64 65 4097 131071 131072 131073 1000003; do
	head -c "$size" /dev/urandom >"$tmp/random"
	for qs in 'Q' '\121' '\000-\077' '\000-\177' '\000-\357'; do
		tr "$qs" '[Q*]' <"$tmp/random" >"$tmp/in"
		run "$size random bytes, $qs made Q" "$tmp/in"
	done
done

# Qs on both sides of every multiple of 4 KiB, and so of every block edge.
perl -e 'print "Q", " " x 4094, "Q" for 1 .. 100' >"$tmp/edges"
run 'Qs at block edges' "$tmp/edges"

head -c 52428800 /dev/urandom >"$tmp/large"
run 'a stream far larger than the buffer' "$tmp/large"

# What arrives is passed on at once, while the input stays open.
start
printf 'abQc\n' >&3
IFS= read -r -t 5 line <&4
[ "$line" = abc ] || echo "live stream: got '$line'" >>"$tmp/err"
exec 3>&-
wait "$pid"
verdict 'a live stream' 0 $?
exec 4<&-

# A parent may hand over non-blocking descriptors: the filter waits for
# input while the writer pauses, and for room while the reader does.
{ printf aQ; sleep 0.5; cat "$tmp/large"; } |
	nonblock 01 "${prog[@]}" 2>"$tmp/err" | { sleep 0.5; cat; } >"$tmp/out"
verdict 'non-blocking input and output' 0 "${PIPESTATUS[1]}" <(printf a; tr -d Q <"$tmp/large")

# A read or write error is a failure; empty input on a full disk is not.
"${prog[@]}" <"$tmp" >"$tmp/out" 2>"$tmp/err"
verdict 'a directory as input' 1 $?
full "${prog[@]}" <"$tmp/all" 2>"$tmp/err"
verdict 'output on a full disk' 1 $?
full "${prog[@]}" </dev/null 2>"$tmp/err"
verdict 'nothing to write on a full disk' 0 $?
"${prog[@]}" <"$tmp/all" >&- 2>"$tmp/err"
verdict 'output closed' 1 $?
head -c 1048576 /dev/zero 2>/dev/null | "${prog[@]}" 2>"$tmp/err" | head -c 1 >/dev/null
verdict 'the reader gone, with SIGPIPE ignored' 1 "${PIPESTATUS[1]}"
head -c 1048576 /dev/zero 2>/dev/null | "${sigpipe[@]}" "${prog[@]}" 2>"$tmp/err" | head -c 1 >/dev/null
verdict 'the reader gone' 141 "${PIPESTATUS[1]}"

finish
