#!/usr/bin/env bash
# The packages as a user gets them, given the .deb and the .tar.gz: both
# hold just the stripped programs in usr/bin and their gzipped man pages,
# which render without warnings; the .deb has its control fields; and the
# programs unpacked from it pass the end-to-end tests.
set -u
export LC_ALL=C
dir=$(dirname "$0")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() {
	printf 'FAIL %s\n' "$*"
	status=1
}

want='usr/bin/Oddrane usr/bin/Velquist usr/share/man/man1/Oddrane.1.gz usr/share/man/man1/Velquist.1.gz '
got=$(dpkg-deb -c "$1" | awk '!/\/$/ { sub(/^\.\//, "", $6); print $6 }' | sort | tr '\n' ' ')
[ "$got" = "$want" ] || fail "the .deb holds $got"
got=$(tar tzf "$2" | grep -v '/$' | sed 's,^[^/]*/,,' | sort | tr '\n' ' ')
[ "$got" = "$want" ] || fail "the .tar.gz holds $got"
for field in Package Version Maintainer Description Depends; do
	[ -n "$(dpkg-deb -f "$1" $field)" ] || fail "the .deb has no $field"
done

dpkg-deb -x "$1" "$tmp"
for p in Velquist Oddrane; do
	readelf -S "$tmp/usr/bin/$p" | grep -q '\.symtab' && fail "$p is not stripped"
	man --warnings -l "$tmp/usr/share/man/man1/$p.1.gz" 2>&1 >/dev/null | grep . && fail "$p.1 renders with warnings"
done
bash "$dir/velquist.sh" "$tmp/usr/bin/Velquist" || status=1
bash "$dir/oddrane.sh" "$tmp/usr/bin/Oddrane" || status=1
exit $status
