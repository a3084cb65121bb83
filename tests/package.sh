#!/usr/bin/env bash
# The packages as a user gets them, given the .deb and the .tar.gz: both
# hold just the stripped programs, their gzipped man pages, which render
# without warnings, and the licence and changelog; lintian finds nothing in
# the .deb, which has its control fields; the same source built again in
# another folder gives the same bytes; and the programs unpacked from the
# .deb pass the end-to-end tests.
set -u
export LC_ALL=C
dir=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() {
	printf 'FAIL %s\n' "$*"
	status=1
}

want='usr/bin/Oddrane usr/bin/Velquist usr/share/doc/velquist-oddrane/changelog.gz
usr/share/doc/velquist-oddrane/copyright usr/share/lintian/overrides/velquist-oddrane
usr/share/man/man1/Oddrane.1.gz usr/share/man/man1/Velquist.1.gz'
want=$(echo $want)
got=$(dpkg-deb -c "$1" | awk '!/\/$/ { sub(/^\.\//, "", $6); print $6 }' | sort)
[ "$(echo $got)" = "$want" ] || fail "the .deb holds $got"
got=$(tar tzf "$2" | grep -v '/$' | sed 's,^[^/]*/,,' | sort)
[ "$(echo $got)" = "$want" ] || fail "the .tar.gz holds $got"
for field in Package Version Maintainer Description Depends; do
	[ -n "$(dpkg-deb -f "$1" $field)" ] || fail "the .deb has no $field"
done
tags=$(lintian --pedantic --display-info "$1" 2>/dev/null) || fail "lintian failed"
[ -z "$tags" ] || fail "lintian: $tags"

dpkg-deb -x "$1" "$tmp/root"
for p in Velquist Oddrane; do
	readelf -S "$tmp/root/usr/bin/$p" | grep -qE '\.symtab|\.comment' && fail "$p keeps its symbols or .comment"
	man --warnings -l "$tmp/root/usr/share/man/man1/$p.1.gz" 2>&1 >/dev/null | grep . && fail "$p.1 renders with warnings"
done
grep -q '^ Permission is hereby granted' "$tmp/root/usr/share/doc/velquist-oddrane/copyright" ||
	fail "the copyright file has no licence"

# The same source, copied without its builds, packaged again.
mkdir "$tmp/src"
tar -C "$dir/.." --exclude='./build*' -cf - . | tar -C "$tmp/src" -xf -
(cd "$tmp/src" && cmake --workflow --preset package) >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "a second build"; }
for f in "$1" "$2"; do
	cmp -s "$f" "$tmp/src/build/${f##*/}" || fail "${f##*/} differs when built again"
done
sha256sum "$1" "$2" "$tmp/src/build/${1##*/}" "$tmp/src/build/${2##*/}"

bash "$dir/velquist.sh" "$tmp/root/usr/bin/Velquist" || status=1
bash "$dir/oddrane.sh" "$tmp/root/usr/bin/Oddrane" || status=1
exit $status
