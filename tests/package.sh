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
# where no .git is above it, it builds and passes every test, installs just
# the files that every distribution expects, and released again from there
# it gives the same bytes. A tool that fails is a failure.
set -u -o pipefail
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

version=$(sed -n '1s/^velquist-oddrane (\([^)]*\)).*/\1/p' "$dir/../packaging/changelog")
native=$(dpkg --print-architecture)
cross=$(cmake -P "$dir/../cmake/cross-presets.cmake")
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
	local sections
	for p; do
		sections=$(readelf -S "$p") || fail "readelf -S $p"
		grep -qE '\.symtab|\.comment' <<<"$sections" && fail "$p keeps its symbols or .comment"
	done
}

# files DIR: the files under DIR, a line each, in order.
files() {
	(cd "$1" && find . ! -type d) | sed 's,^\./,,' | sort
}

deb='usr/bin/Oddrane usr/bin/Velquist usr/share/doc/velquist-oddrane/changelog.gz
usr/share/doc/velquist-oddrane/copyright usr/share/lintian/overrides/velquist-oddrane
usr/share/man/man1/Oddrane.1.gz usr/share/man/man1/Velquist.1.gz'
tgz='LICENSE Oddrane Oddrane.1 README.md Velquist Velquist.1'
for f in "$rel"/*.deb; do
	arch=${f##*_}
	arch=${arch%.deb}
	root=$tmp/$arch-deb
	dpkg-deb -x "$f" "$root" || fail "dpkg-deb -x ${f##*/}"
	got=$(files "$root") || fail "listing ${f##*/}"
	[ "$(echo $got)" = "$(echo $deb)" ] || fail "${f##*/} holds $got"
	for field in Package Version Maintainer Description Depends; do
		[ -n "$(dpkg-deb -f "$f" $field)" ] || fail "${f##*/} has no $field"
	done
	[ "$(dpkg-deb -f "$f" Architecture)" = "$arch" ] || fail "${f##*/} is not for $arch"
	grep -E 'cross|:' <<<"$(dpkg-deb -f "$f" Depends)" && fail "${f##*/} depends on the cross compiler's packages"
	tags=$(lintian --pedantic --display-info "$f" 2>/dev/null) || fail "lintian failed on ${f##*/}"
	[ -z "$tags" ] || fail "lintian: $tags"

	stripped "$root"/usr/bin/*
	grep -q '^ Permission is hereby granted' "$root/usr/share/doc/velquist-oddrane/copyright" ||
		fail "the copyright file in ${f##*/} has no licence"
	triple=$(awk -v a="$arch" '$1 == a { print $2 }' <<<"$cross")
	if [ "$arch" = "$native" ]; then
		QUICK= run "$arch" / "$root/usr/bin"
	else
		run "$arch" "/usr/$triple" "$root/usr/bin"
	fi

	t=$rel/velquist-oddrane-$version-$arch.tar.gz
	bin=$tmp/velquist-oddrane-$version-$arch
	tar -C "$tmp" -xmzf "$t" || fail "tar -x ${t##*/}"
	got=$(files "$bin") || fail "listing ${t##*/}"
	[ "$(echo $got)" = "$tgz" ] || fail "${t##*/} holds $got"
	stripped "$bin/Velquist" "$bin/Oddrane"
	for p in Velquist Oddrane; do
		headers=$(readelf -lWd "$bin/$p") || fail "readelf -lWd $bin/$p"
		grep -q INTERP <<<"$headers" && fail "$arch: $p in ${t##*/} needs a program interpreter"
		grep -q NEEDED <<<"$headers" && fail "$arch: $p in ${t##*/} needs a shared library"
	done
	run "$arch" "$tmp/nothing" "$bin"
done
for p in Velquist Oddrane; do
	warnings=$(man --warnings -l "$tmp/$native-deb/usr/share/man/man1/$p.1.gz" 2>&1 >/dev/null) || fail "man $p.1"
	[ -z "$warnings" ] || fail "$p.1 renders with warnings: $warnings"
done

# This machine's static programs, alone in a root that holds nothing else.
if [ "$(id -u)" = 0 ]; then
	mkdir "$tmp/empty"
	cp "$tmp/velquist-oddrane-$version-$native/Velquist" "$tmp/velquist-oddrane-$version-$native/Oddrane" "$tmp/empty"
	QUICK=1 bash "$dir/velquist.sh" chroot "$tmp/empty" /Velquist || fail "Velquist in an empty root"
	QUICK=1 bash "$dir/oddrane.sh" chroot "$tmp/empty" /Oddrane || fail "Oddrane in an empty root"
else
	echo "Not root: the programs are not tried in an empty root"
fi

(cd "$rel" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
cat "$rel/SHA256SUMS"

# The source release, unpacked where no .git is above it: both commands of
# README.md, an install as a distribution stages it, then the release
# again, which must give the same bytes.
src=velquist-oddrane-$version.tar.gz
top=$tmp/${src%.tar.gz}
tar -C "$tmp" -xzf "$rel/$src" || fail "tar -x $src"
[ -z "$(find "$top" \( -name 'build*' -o -name .git \) -print)" ] || fail "$src holds a build or .git"
(cd "$top" && cmake --workflow --preset default && echo '0.5 0.001 0 0' | build/Velquist | grep 1.648698) \
	>"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "the programs from $src"; }
install='usr/bin/Oddrane usr/bin/Velquist usr/share/doc/velquist-oddrane/changelog.gz
usr/share/licenses/velquist-oddrane/LICENSE usr/share/man/man1/Oddrane.1.gz usr/share/man/man1/Velquist.1.gz'
DESTDIR=$tmp/staged cmake --install "$top/build" --prefix /usr >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "cmake --install"; }
got=$(files "$tmp/staged") || fail "listing the install"
[ "$(echo $got)" = "$(echo $install)" ] || fail "an install holds $got"
(cd "$top" && cmake --workflow --preset test) >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "the tests from $src"; }
tail -3 "$tmp/log"
bash "$top/packaging/release.sh" >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "a release from $src"; }
for f in "$rel"/*; do
	cmp -s "$f" "$top/build/release/${f##*/}" || fail "${f##*/} differs when released again from $src"
done
[ $status = 0 ] && echo "every download passed"
exit $status
