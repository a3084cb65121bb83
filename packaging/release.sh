#!/usr/bin/env bash
# Every download, into build/release/: the source release,
# velquist-oddrane-<version>.tar.gz, as a distribution packages it; and for
# this machine's Debian architecture and each that a cross preset names, a
# .deb, linked dynamically as Debian asks of its packages, and a .tar.gz
# whose programs are linked statically, so that they run on any Linux of
# that CPU; last, SHA256SUMS of them all. Each is built in its own folder in
# build/release-work/, with its log beside it. It installs nothing: it
# needs cmake, make, g++, dpkg-dev, file and GNU tar, and for each other
# architecture Debian's g++-<triple>, and says what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/release
work=build/release-work
arches="$(dpkg --print-architecture 2>/dev/null || echo none) native
$(bash cmake/cross-presets.sh)"

missing=()
for tool in cmake make g++ dpkg-shlibdeps file sha256sum; do
	command -v $tool >/dev/null || missing+=("$tool")
done
while read -r arch triple; do
	[ "$triple" = native ] || command -v "$triple-g++" >/dev/null || missing+=("$triple-g++")
done <<<"$arches"
if [ ${#missing[@]} -gt 0 ]; then
	echo "release.sh: missing ${missing[*]}: apt-get install cmake make g++ dpkg-dev file g++-<triple>..." >&2
	exit 1
fi

rm -rf "$out" "$work"
mkdir -p "$out" "$work"
while read -r arch triple; do
	cross=()
	[ "$triple" = native ] || cross=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/cross.cmake" -DCROSS_TRIPLE="$triple")
	for static in OFF ON; do
		dir=$work/$arch-static-$static
		{ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSTATIC=$static "${cross[@]}" &&
			cmake --build "$dir" -j 2 && (cd "$dir" && cpack); } >"$dir.log" 2>&1 ||
			{ cat "$dir.log"; echo "release.sh: $arch failed" >&2; exit 1; }
		mv "$dir"/velquist-oddrane[-_]*.* "$out"/
	done
	echo "$arch: $(cd "$out" && echo velquist-oddrane*[-_]"$arch".*)"
done <<<"$arches"

# The source release: the tree as it stands, without its builds and .git,
# in the order of the names, every file dated as in the packages, by the
# configuration that CMake wrote for them.
config=$(ls "$work"/*-static-OFF/CPackConfig.cmake | head -1)
setting() { sed -n "s/^set($1 \"\(.*\)\")\$/\1/p" "$config"; }
name=velquist-oddrane-$(setting CPACK_PACKAGE_VERSION)
tar --exclude='./build*' --exclude=./.git --sort=name --mtime="@$(setting CPACK_SOURCE_DATE_EPOCH)" --owner=0 \
	--group=0 --numeric-owner --mode=go-w --transform="s,^\.,$name," -cf - . | gzip -9n >"$out/$name.tar.gz"
(cd "$out" && sha256sum velquist-oddrane* >SHA256SUMS)
echo "source: $name.tar.gz; SHA256SUMS"
