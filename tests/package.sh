#!/usr/bin/env bash
# The downloads as a user gets them, given the folder that
# packaging/release.sh fills. For every architecture, the .deb holds just
# the stripped programs, their gzipped man pages, the licence and the
# changelog, has its control fields and a Depends on the architecture's own
# packages, and lintian finds nothing in it; the .tar.gz holds one folder of
# the stripped programs, linked statically, beside their man pages, the
# licence and the README. The programs of both pass the first rows of the
# end-to-end tables: under qemu-user on other architectures, the .deb's with
# that architecture's libraries, the .tar.gz's with none at all; this
# machine's also alone in an empty root, and its .deb's the whole tables, as
# a distribution's tests of the installed package run them. SHA256SUMS
# checks. Last, the source release holds no build and no .git; unpacked
# where no .git is above it, it builds and passes every test, and released
# again from there it gives the same bytes.
set -u
export LC_ALL=C
dir=$(cd "$(dirname "$0")" && pwd)
rel=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() {
	printf 'FAIL %s\n' "$*"
	status=1
}

native=$(dpkg --print-architecture)
cross=$(bash "$dir/../cmake/cross-presets.sh")
mkdir "$tmp/nothing"

# run ARCH LIBRARIES PROGRAMS: the first rows of both tables (all of them
# with QUICK set empty), for the programs in the folder PROGRAMS, run under
# qemu-user with LIBRARIES as their root where ARCH is not this machine's.
run() {
	local emulator=() triple cpu
	if [ "$1" != "$native" ]; then
		triple=$(awk -v a="$1" '$1 == a { print $2 }' <<<"$cross")
		cpu=${triple%%-*}
		case $cpu in i?86) cpu=i386 ;; powerpc64le) cpu=ppc64le ;; esac
		emulator=(qemu-$cpu -L "$2")
	fi
	QUICK=${QUICK-1} bash "$dir/velquist.sh" "${emulator[@]}" "$3/Velquist" >"$tmp/log" || { cat "$tmp/log"; fail "$1: Velquist in $3"; }
	QUICK=${QUICK-1} bash "$dir/oddrane.sh" "${emulator[@]}" "$3/Oddrane" >"$tmp/log" || { cat "$tmp/log"; fail "$1: Oddrane in $3"; }
}

# stripped FILE...: no symbols and no compiler's .comment in the programs.
stripped() {
	for p; do
		readelf -S "$p" | grep -qE '\.symtab|\.comment' && fail "$p keeps its symbols or .comment"
	done
}

deb='usr/bin/Oddrane usr/bin/Velquist usr/share/doc/velquist-oddrane/changelog.gz
usr/share/doc/velquist-oddrane/copyright usr/share/lintian/overrides/velquist-oddrane
usr/share/man/man1/Oddrane.1.gz usr/share/man/man1/Velquist.1.gz'
tgz='LICENSE Oddrane Oddrane.1 README.md Velquist Velquist.1'
for f in "$rel"/*.deb; do
	arch=${f##*_}
	arch=${arch%.deb}
	got=$(dpkg-deb -c "$f" | awk '!/\/$/ { sub(/^\.\//, "", $6); print $6 }' | sort)
	[ "$(echo $got)" = "$(echo $deb)" ] || fail "${f##*/} holds $got"
	for field in Package Version Maintainer Description Depends; do
		[ -n "$(dpkg-deb -f "$f" $field)" ] || fail "${f##*/} has no $field"
	done
	[ "$(dpkg-deb -f "$f" Architecture)" = "$arch" ] || fail "${f##*/} is not for $arch"
	dpkg-deb -f "$f" Depends | grep -E 'cross|:' && fail "${f##*/} depends on the cross compiler's packages"
	tags=$(lintian --pedantic --display-info "$f" 2>/dev/null) || fail "lintian failed on ${f##*/}"
	[ -z "$tags" ] || fail "lintian: $tags"

	root=$tmp/$arch-deb
	dpkg-deb -x "$f" "$root"
	stripped "$root"/usr/bin/*
	grep -q '^ Permission is hereby granted' "$root/usr/share/doc/velquist-oddrane/copyright" ||
		fail "the copyright file in ${f##*/} has no licence"
	triple=$(awk -v a="$arch" '$1 == a { print $2 }' <<<"$cross")
	if [ "$arch" = "$native" ]; then
		QUICK= run "$arch" / "$root/usr/bin"
	else
		run "$arch" "/usr/$triple" "$root/usr/bin"
	fi

	t=$rel/velquist-oddrane-1.0-$arch.tar.gz
	got=$(tar tzf "$t" | grep -v '/$' | sed "s,^velquist-oddrane-1.0-$arch/,," | sort)
	[ "$(echo $got)" = "$tgz" ] || fail "${t##*/} holds $got"
	tar -C "$tmp" -xmzf "$t"
	bin=$tmp/velquist-oddrane-1.0-$arch
	stripped "$bin/Velquist" "$bin/Oddrane"
	for p in Velquist Oddrane; do
		readelf -lW "$bin/$p" | grep -q INTERP && fail "$arch: $p in ${t##*/} needs a program interpreter"
		readelf -d "$bin/$p" | grep -q NEEDED && fail "$arch: $p in ${t##*/} needs a shared library"
	done
	run "$arch" "$tmp/nothing" "$bin"
done
for p in Velquist Oddrane; do
	man --warnings -l "$tmp/$native-deb/usr/share/man/man1/$p.1.gz" 2>&1 >/dev/null | grep . && fail "$p.1 renders with warnings"
done

# This machine's static programs, alone in a root that holds nothing else.
if [ "$(id -u)" = 0 ]; then
	mkdir "$tmp/empty"
	cp "$tmp/velquist-oddrane-1.0-$native/Velquist" "$tmp/velquist-oddrane-1.0-$native/Oddrane" "$tmp/empty"
	QUICK=1 bash "$dir/velquist.sh" chroot "$tmp/empty" /Velquist || fail "Velquist in an empty root"
	QUICK=1 bash "$dir/oddrane.sh" chroot "$tmp/empty" /Oddrane || fail "Oddrane in an empty root"
else
	echo "Not root: the programs are not tried in an empty root"
fi

(cd "$rel" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
cat "$rel/SHA256SUMS"

# The source release, unpacked where no .git is above it: both commands of
# README.md, then the release again, which must give the same bytes.
src=velquist-oddrane-1.0.tar.gz
tar tzf "$rel/$src" | grep -E '/(build[^/]*|\.git)/' && fail "$src holds a build or .git"
tar -C "$tmp" -xzf "$rel/$src"
top=$tmp/${src%.tar.gz}
(cd "$top" && cmake --workflow --preset default && echo '0.5 0.001 0 0' | build/Velquist | grep -q 1.648698) \
	>"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "the programs from $src"; }
(cd "$top" && cmake --workflow --preset test) >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "the tests from $src"; }
tail -3 "$tmp/log"
bash "$top/packaging/release.sh" >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "a release from $src"; }
for f in "$rel"/*; do
	cmp -s "$f" "$top/build/release/${f##*/}" || fail "${f##*/} differs when released again from $src"
done
[ $status = 0 ] && echo "every download passed"
exit $status
