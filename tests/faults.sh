# A program's end-to-end table again, given its name and the command that
# runs the program with faults.c preloaded: over several seeds, with a share
# of the program's reads, writes and polls interrupted, refused for now or
# cut short, which must change no byte and no status; then with its reads
# or writes failing for good from the first, a middle or the last on, which
# must stop it, with status 1, before it writes anything that it should not.
table=$1
shift
. "$(dirname "$0")/lib.sh"
# The injector is loaded before a sanitizer's runtime, which may object.
export ASAN_OPTIONS=verify_asan_link_order=0

for seed in 1 2 3 4 5; do
	FAULTS="$seed 30" bash "$(dirname "$0")/$table.sh" "${prog[@]}" >"$tmp/log" 2>&1
	status=$?
	grep FAIL "$tmp/log"
	verdict "every row with faults, seed $seed" 0 $status
done

if [ "$table" = velquist ]; then
	awk 'BEGIN { for (i = 0; i < 2000; i++) print "0.5 0.001"; print "0 0" }' >"$tmp/in"
	awk 'BEGIN { for (i = 0; i < 2000; i++) printf "%s", "Enter x and eps, separate by a blank The result value: 1.648698 \n"
		printf "Enter x and eps, separate by a blank " }' >"$tmp/want"
else
	head -c 3145728 /dev/urandom >"$tmp/in"
	tr -d Q <"$tmp/in" >"$tmp/want"
fi
FAULTS_COUNT=$tmp/count "${prog[@]}" <"$tmp/in" >"$tmp/out" 2>"$tmp/err"
status=$?
[ -s "$tmp/count" ] || echo 'the injector was not loaded' >>"$tmp/err"
verdict 'counting the calls' 0 $status "$tmp/want"
read -r reads writes <"$tmp/count"
# call, how many there are, errno: EIO, ENOSPC, EPIPE
for fault in "r $reads 5" "w $writes 28" "w $writes 32"; do
	set -- $fault
	for at in 1 $(($2 / 2 + 1)) "$2"; do
		FAULTS="fail $1 $at $3" "${limit[@]}" 20 "${prog[@]}" <"$tmp/in" >"$tmp/out" 2>"$tmp/err"
		status=$?
		cmp -s -n $(($(wc -c <"$tmp/out"))) "$tmp/out" "$tmp/want" || echo 'wrote what it should not' >>"$tmp/err"
		verdict "$1 $at of $2 on failing with errno $3" 1 $status
	done
done

finish
