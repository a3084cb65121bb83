#!/usr/bin/env bash
# bench/insns.sh [PRESET...]: how many instructions the filter runs for
# each byte, on the CPUs that cannot be timed here, counted under qemu-user
# as the proxy: each run traced with one instruction to a block
# (-singlestep, -one-insn-per-tb from qemu 8.1), the blocks run counted, and
# the count for 1 MiB taken from that for 2 MiB, per byte: the steady state,
# over blocks whose every chunk follows another. For each preset (by default
# riscv64, ppc64el, s390x, arm64 and mips64el), the filter as it picks its
# way on emulated CPUs with the vector unit (POWER8, POWER9 and POWER10 for
# ppc64el, by the name of the CPU), and its portable way forced,
# on seven inputs. Needs the presets' cross compilers and qemu.
presets=${*:-riscv64 ppc64el s390x arm64 mips64el}
set --	# lib.sh builds nothing of this machine's
. "$(dirname "$0")/lib.sh"
# The CPUs, as qemu's -cpu takes them, on which the filter is counted as
# it picks its way; qemu's own CPU where none is named here.
declare -A emulated=([riscv64]="rv64,v=true,vlen=128,vext_spec=v1.0" [ppc64el]="power8 power9 power10")
kinds="random base64 prose text halfQ switch allQ"

for size in 1048576 2097152; do
	make_inputs $size
	for f in $kinds; do
		mv "$tmp/$f" "$tmp/$f.$size"
	done
done
printf '%-9s %-9s' preset way
printf ' %8s' $kinds
echo
for preset in $presets; do
	cmake --preset "$preset" >/dev/null
	cmake --build --preset "$preset" --target Oddrane oddrane_portable >/dev/null
	triple=$(cmake -P cmake/cross-presets.cmake | awk -v p="$preset" '$1 == p { print $2 }')
	qemu="qemu-$(echo "${triple%%-*}" | sed 's/^i.86$/i386/; s/^powerpc64le$/ppc64le/') -L /usr/$triple"
	one=-singlestep
	${qemu%% *} --help | grep -q one-insn-per-tb && one=-one-insn-per-tb
	runs=()
	for cpu in ${emulated[$preset]:-qemu}; do
		runs+=("$cpu:Oddrane")
	done
	for run in "${runs[@]}" qemu:bench/oddrane_portable; do
		cpu=${run%%:*} way=${run#*:}
		printf '%-9s %-9s' "$preset" "$([ "$way" = Oddrane ] && echo "${cpu%%,*}" || echo portable)"
		for f in $kinds; do
			for size in 1048576 2097152; do
				$qemu $([ "$cpu" = qemu ] || echo "-cpu $cpu") $one -d nochain,exec -D /dev/stderr "build-$preset/$way" \
					<"$tmp/$f.$size" 2>&1 >/dev/null | grep -c Trace >"$tmp/count.$size" ||
					fail "$preset $way failed on $f"
			done
			awk -v a="$(cat "$tmp/count.1048576")" -v b="$(cat "$tmp/count.2097152")" 'BEGIN { printf " %8.2f", (b - a) / 1048576 }'
		done
		echo
	done
done
echo "instructions a byte under $(${qemu%% *} --version | head -n 1)"
