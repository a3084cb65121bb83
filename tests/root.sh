#!/usr/bin/env bash
# .ci/root's refusals (ROOT_SCRIPT names another script to try), each of
# which must come before a root is made: in every row the script exits 2,
# and DIR's files, a victim folder bound under DIR and a process that runs
# beside the script are all as they were. Runs as root, all of it in a
# mount and PID namespace of its own with its own proc, so that no mount
# made here and no kill the script sends reaches this machine; mmdebstrap
# is a stub that fails, so nothing is fetched.
set -u -o pipefail
export LC_ALL=C
if [ "${1-}" != --in-namespaces ] || [ $$ != 1 ]; then
	exec unshare --mount --propagation private --pid --fork --mount-proc bash "$0" --in-namespaces
fi
script=$(realpath -e -- "${ROOT_SCRIPT:-$(dirname "$0")/../.ci/root}") || exit 1
tmp=$(mktemp -d) && mount -t tmpfs scratch "$tmp" || exit 1
trap 'umount -R "$tmp"; rmdir "$tmp"' EXIT
mkdir "$tmp/bin"
printf '#!/bin/sh\nexit 1\n' >"$tmp/bin/mmdebstrap"
chmod +x "$tmp/bin/mmdebstrap"
: >"$tmp/script.sh"
export PATH=$tmp/bin:$PATH
passed=0 failed=0

# run HOW DIR: the script, as HOW says, on DIR.
run() {
	local args=("$2" bookworm tar "$tmp/script.sh")
	case $1 in
	plain) bash "$script" "${args[@]}" ;;
	env) ROOT_NAMESPACE=1 bash "$script" "${args[@]}" ;;
	no-proc) unshare --mount --propagation private bash -c 'mount -t tmpfs none /proc && exec bash "$@"' - \
		"$script" "${args[@]}" ;;
	forged) bash "$script" --in-namespaces $$ "${args[@]}" ;;
	# A folder above DIR that another user may change, and DIR a link to
	# a marked folder elsewhere (the victim).
	open-above) chmod 777 "${2%/*}" && bash "$script" "${args[@]}" ;;
	link) : >"${2%/*}/victim/.ci-root" && ln -s victim "${2%/*}/link" &&
		bash "$script" "${2%/*}/link" "${args[@]:1}" ;;
	# The outer start where /proc is not of its PID namespace.
	other-proc) unshare --pid --fork bash "$script" "${args[@]}" ;;
	forged-pid1) unshare --pid --fork bash "$script" --in-namespaces $$ "${args[@]}" ;;
	forged-ns) unshare --mount --propagation private --pid --fork bash "$script" --in-namespaces $$ "${args[@]}" ;;
	# Should / ever be taken, the root file system is read-only to the run.
	ro-root) unshare --mount --propagation private bash -c 'mount -o remount,bind,ro / && exec bash "$@"' - \
		"$script" "${args[@]}" ;;
	esac
}

# Rows: what is tried | how it is run | DIR as given (@ for the row's own)
# | whether DIR holds .ci-root | whether the victim is bound under DIR.
rows=(
	'ROOT_NAMESPACE=1 from the caller, DIR unmarked, a mount under it|env|@|no|yes'
	'DIR marked, a mount under it|plain|@|yes|yes'
	'/proc hidden by a tmpfs, DIR marked, a mount under it|no-proc|@|yes|yes'
	'--in-namespaces from the caller, not PID 1, DIR marked|forged|@|yes|no'
	'--in-namespaces as PID 1 of a new PID namespace only, DIR marked|forged-pid1|@|yes|no'
	'--in-namespaces in new mount and PID namespaces, DIR unmarked, a mount under it|forged-ns|@|no|yes'
	'a folder above DIR writable by others, DIR marked|open-above|@|yes|no'
	'DIR a link to a marked folder|link|@|no|no'
	'/proc of another PID namespace, DIR marked|other-proc|@|yes|no'
	'DIR empty|plain||no|yes'
	'DIR /|ro-root|/|no|yes'
)
n=0
for row in "${rows[@]}"; do
	IFS='|' read -r what how arg mark bind <<<"$row"
	n=$((n + 1)) d=$tmp/$n/dir v=$tmp/$n/victim
	mkdir -p "$d/bound" "$v"
	: >"$d/file"
	: >"$v/file"
	[ "$mark" = no ] || : >"$d/.ci-root"
	[ "$bind" = no ] || mount --bind "$v" "$d/bound"
	before=$(find "$d" | sort)
	sleep 600 &
	sleeper=$!
	status=0
	run "$how" "${arg/#@/$d}" >"$tmp/$n/out" 2>&1 || status=$?
	faults=
	[ "$status" = 2 ] || faults+=", exit status $status"
	[ -e "$v/file" ] || faults+=', the victim file is gone'
	[ "$(find "$d" 2>/dev/null | sort)" = "$before" ] || faults+=', DIR changed'
	kill -0 "$sleeper" 2>/dev/null || faults+=', the sleep was killed'
	kill "$sleeper" 2>/dev/null
	wait "$sleeper" 2>/dev/null
	! mountpoint -q "$d/bound" || umount "$d/bound"
	if [ -z "$faults" ]; then
		passed=$((passed + 1))
		echo "ok - $what"
	else
		failed=$((failed + 1))
		echo "FAIL - $what: ${faults#, }"
		sed 's/^/  /' "$tmp/$n/out"
	fi
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
