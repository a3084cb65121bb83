#!/usr/bin/env bash
# Every download, into build/release/: the source release,
# velquist-oddrane-<version>.tar.gz, as a distribution packages it; and for
# this machine's Debian architecture and each that a cross preset names, a
# .deb, linked dynamically as Debian asks of its packages, and a .tar.gz
# whose programs are linked statically, so that they run on any Linux of
# that CPU; last, SHA256SUMS of them all. Each is built in its own folder in
# build/release-work/, with its log beside it. It installs nothing: it
# needs cmake, make, g++, dpkg-dev, file, GNU tar and, in a git checkout,
# git, and for each other architecture Debian's g++-<triple>, and says what
# is missing.
#
# The downloads are made from the source release alone, whatever the
# maker's shell holds: the files that git tracks (or, with no .git, as in
# an unpacked release, the tree as it stands without its builds), built
# with the default compilers and no flags, in the C locale, with modes as
# each kind of file should have them whatever the umask. Every file in
# them dates from SOURCE_DATE_EPOCH where it is set, else from the latest
# entry of packaging/changelog.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${RELEASE_ENV-}" != clean ]; then
	exec env -i RELEASE_ENV=clean PATH="$PATH" HOME="${HOME-/}" \
		${SOURCE_DATE_EPOCH+SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH"} bash packaging/release.sh "$@"
fi
export LC_ALL=C
umask 022
out=build/release
work=build/release-work
arches="$(dpkg --print-architecture 2>/dev/null || echo none) native
$(cmake -P cmake/cross-presets.cmake)"

missing=()
tools="cmake make g++ dpkg-shlibdeps file sha256sum tar gzip"
[ -e .git ] && tools+=" git"
for tool in $tools; do
	command -v $tool >/dev/null || missing+=("$tool")
done
while read -r arch triple; do
	[ "$triple" = native ] || command -v "$triple-g++" >/dev/null || missing+=("$triple-g++")
done <<<"$arches"
if [ ${#missing[@]} -gt 0 ]; then
	echo "release.sh: missing ${missing[*]}: apt-get install cmake make g++ dpkg-dev file git g++-<triple>..." >&2
	exit 1
fi

rm -rf "$out" "$work"
mkdir -p "$out" "$work/source"
if [ -e .git ]; then
	git ls-files -z | tar --null -T - -cf -
else
	tar --exclude='./build*' -cf - .
fi | tar -C "$work/source" -xf -

while read -r arch triple; do
	cross=()
	[ "$triple" = native ] || cross=(-DCMAKE_TOOLCHAIN_FILE="$PWD/$work/source/cmake/cross.cmake" -DCROSS_TRIPLE="$triple")
	for static in OFF ON; do
		dir=$work/$arch-static-$static
		{ cmake -S "$work/source" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSTATIC=$static \
			${cross[@]+"${cross[@]}"} && cmake --build "$dir" -j 2 && (cd "$dir" && cpack); } >"$dir.log" 2>&1 ||
			{ cat "$dir.log"; echo "release.sh: $arch failed" >&2; exit 1; }
		mv "$dir"/velquist-oddrane[-_]*.* "$out"/
	done
	echo "$arch: $(cd "$out" && echo velquist-oddrane*[-_]"$arch".*)"
done <<<"$arches"

# The source release, in the order of the names, dated as the packages
# are, by the configuration that CMake wrote for them.
config=$(ls "$work"/*-static-OFF/CPackConfig.cmake | head -1)
setting() { sed -n "s/^set($1 \"\(.*\)\")\$/\1/p" "$config"; }
name=velquist-oddrane-$(setting CPACK_PACKAGE_VERSION)
tar -C "$work/source" --sort=name --mtime="@${SOURCE_DATE_EPOCH:-$(setting CPACK_SOURCE_DATE_EPOCH)}" \
	--owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX --transform="s,^\.,$name," -cf - . |
	gzip -9n >"$out/$name.tar.gz"
(cd "$out" && sha256sum velquist-oddrane* >SHA256SUMS)
echo "source: $name.tar.gz; SHA256SUMS"
