# A program's end-to-end table again, given its name, the injector
# (faults.c built), the variable that preloads it (LD_PRELOAD, or
# QEMU_SET_ENV for the emulated process alone) and the command that runs the
# program: over several seeds, with a share of the program's reads, writes
# and polls interrupted, refused for now or cut short, which must change no
# byte and no status, and every such fault must have happened; then with its
# reads or writes failing for good from the first, a middle or the last on,
# or its polls from the first, which must stop it, with status 1, before it
# writes anything that it should not. First of all, the injector must stand in for every call
# that reads, writes or polls which the program imports. With QUICK set,
# that check alone: see tests/CMakeLists.txt for the builds that set it.
#
# faults.sh --imports PROGRAM prints the calls that read, write or poll, and
# those that set up the descriptors and streams they act on, which PROGRAM
# imports, a name a line, sorted: CI compares a program built by g++ with
# the same built by clang++ for the same architecture.

# symbols UND|DEF FILE: the dynamic symbols that FILE imports or defines.
symbols() (
	set -o pipefail
	if command -v readelf >/dev/null; then
		readelf --dyn-syms -W "$2" | awk -v want="$1" '$1 ~ /:$/ && NF >= 8 && ($7 == "UND") == (want == "UND") {
			sub(/@.*/, "", $8); print $8 }'
	else
		nm -D "$([ "$1" = UND ] && echo --undefined-only || echo --defined-only)" "$2" | awk '{ sub(/@.*/, "", $NF); print $NF }'
	fi
)
# The calls that read, write or poll, by name, with their 64-bit and
# checked (_FORTIFY_SOURCE) forms.
io='^(__)?(p?read|p?write|p?readv2?|p?writev2?|p?poll|p?select|recv(from|msg)?|send(to|msg)?|v?splice|sendfile|copy_file_range|epoll_p?wait)(64)?(_chk)?$'
if [ "${1-}" = --imports ]; then
	imports=$(symbols UND "$2") && [ -n "$imports" ] || { echo "cannot list the dynamic symbols of $2" >&2; exit 1; }
	grep -E "$io|^(__)?(fcntl|ioctl|fopencookie|fdopen|fileno|setvbuf|open(at)?|close|dup[23]?|pipe2?|fstat)(64)?(_chk)?$" \
		<<<"$imports" | sort -u
	exit 0
fi

table=$1 injector=$2 preload=$3
shift 3
. "$(dirname "$0")/lib.sh"
# LD_PRELOAD splits on blanks: the injector is preloaded from a copy in a
# folder of mktemp's, wherever the build is.
program=${prog[$((${#prog[@]} - 1))]}
cp "$injector" "$tmp/faults.so"
case $preload in
QEMU_SET_ENV) prog=(env "QEMU_SET_ENV=LD_PRELOAD=$tmp/faults.so" "${prog[@]}") ;;
*) prog=(env "$preload=$tmp/faults.so" "${prog[@]}") ;;
esac
# The injector is loaded before a sanitizer's runtime, which may object.
export ASAN_OPTIONS=verify_asan_link_order=0

: >"$tmp/defined"
symbols UND "$program" >"$tmp/imports" && symbols DEF "$injector" >"$tmp/defined" && [ -s "$tmp/imports" ] &&
	[ -s "$tmp/defined" ] ||
	echo "cannot list the dynamic symbols of $program or $injector" >>"$tmp/err"
grep -E "$io" "$tmp/imports" | grep -vxF -f "$tmp/defined" | sed 's/^/the injector does not define /' >>"$tmp/err"
verdict 'every read, write and poll imported is injected' 0 0

[ -z "${QUICK-}" ] || { finish; exit; }	# that check alone

# The seeded runs, under seeds 1 to 5. The injector draws its faults from
# the seed afresh in each process it is loaded into, so a row meets the
# same faults under a seed whatever ran before it. The table's first rows
# (those that QUICK runs) make a few calls each, and which of those fail,
# and how, is the seed's alone: they run under all five seeds. The rows
# past them (a full disk, batches of 20,000 pairs, streams of up to 50 MiB,
# non-blocking descriptors, a driver on pipes) make hundreds to thousands
# of calls each, and one whole run injects every kind dozens of times over
# (natively, seed 1: the calculator's seven kinds 6 to 106 times each, the
# filter's 35 to 120). They run under each seed in WHOLE_SEEDS, all five
# unless told: the cross presets, where every run is emulated, set seed 1
# alone (see tests/CMakeLists.txt), and the native builds, with the
# sanitizers too, run the whole table under all five. Every kind must have
# been injected over all the runs, and where some seeds ran the first rows
# alone, over the whole table's runs alone as well, so that the rows past
# the first cannot lose a kind unseen.
#
# The runs go on side by side, each in a process and a folder of its own:
# the calculator's table spends much of its time asleep, waiting for a pipe
# to fill or drain.
whole=" ${WHOLE_SEEDS-1 2 3 4 5} " parts=() pids=()
for seed in 1 2 3 4 5; do
	case $whole in
	*" $seed "*) parts[seed]=whole quick= ;;
	*) parts[seed]=first quick=1 ;;
	esac
	: >"$tmp/count-${parts[seed]}-$seed"
	FAULTS="$seed 30" FAULTS_COUNT=$tmp/count-${parts[seed]}-$seed QUICK=$quick \
		bash "$(dirname "$0")/$table.sh" "${prog[@]}" >"$tmp/log-$seed" 2>&1 &
	pids[seed]=$!
done
for seed in 1 2 3 4 5; do
	wait "${pids[seed]}"
	status=$?
	grep FAIL "$tmp/log-$seed"
	verdict "$([ "${parts[seed]}" = whole ] && echo 'every row' || echo 'the first rows') with faults, seed $seed" 0 $status
done
# kinds FILE...: says which kind of fault the counts in FILEs never show.
kinds() {
	awk '{ n[$1 " " $2] += $3 }
	END {
		split("r EINTR,r EAGAIN,r short,w EINTR,w EAGAIN,w short,p EINTR", want, ",")
		for (i = 1; i in want; i++)
			if (!n[want[i]])
				printf "no %s was injected\n", want[i]
	}' "$@" >>"$tmp/err" 2>&1
}
case ${parts[*]} in
*first*)
	kinds "$tmp"/count-whole-*
	verdict 'every fault injected in the runs of every row' 0 0 ;;
esac
kinds "$tmp"/count-*
verdict 'every fault injected on reads (r), writes (w) and polls (p)' 0 0

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
calls() { awk -v c="$1" '$1 == c && $2 == "calls" { print $3 }' "$tmp/count" 2>/dev/null; }
reads=$(calls r) writes=$(calls w)
if [ -z "$reads" ] || [ -z "$writes" ]; then
	echo 'the injector counted no reads or writes' >>"$tmp/err"
	verdict 'counting the calls' 0 $status
	finish
	exit
fi
verdict 'counting the calls' 0 $status "$tmp/want"

# failing NAME FAULTS [COUNT...]: a run with FAULTS that must stop with
# status 1, having written a beginning of what it should, where each COUNT,
# a call and a fault ("w short"), happened.
failing() {
	local count
	rm -f "$tmp/count"
	FAULTS=$2 FAULTS_COUNT=$tmp/count "${limit[@]}" 20 "${prog[@]}" <"$tmp/in" >"$tmp/out" 2>"$tmp/err"
	status=$?
	cmp -s -n $(($(wc -c <"$tmp/out"))) "$tmp/out" "$tmp/want" || echo 'wrote what it should not' >>"$tmp/err"
	for count in "${@:3}"; do
		awk -v c="$count" '$1 " " $2 == c && $3 > 0 { f = 1 } END { exit !f }' "$tmp/count" 2>/dev/null ||
			echo "no $count happened" >>"$tmp/err"
	done
	verdict "$1" 1 $status
}
# call, how many there are, errno: EIO, ENOSPC, EPIPE
for fault in "r $reads 5" "w $writes 28" "w $writes 32"; do
	set -- $fault
	for at in 1 $(($2 / 2 + 1)) "$2"; do
		failing "$1 $at of $2 on failing with errno $3" "fail $1 $at $3"
	done
done
# Polls, failing with ENOMEM from the first, where seeded faults make
# reads and writes wait. Under each of these seeds a write is cut short
# and then a poll fails, which ends the run: had the program written on
# after that, its output would have a gap.
for seed in 4 8 19; do
	failing "p 1 on failing with errno 12, seed $seed" "fail p 1 12 $seed 30" 'w short' 'p failed'
done

finish
