#!/usr/bin/env bash
# Every download, into build/release/: for this machine's Debian
# architecture and for each that a cross preset names, a .deb, linked
# dynamically as Debian asks of its packages, and a .tar.gz whose programs
# are linked statically, so that they run on any Linux of that CPU. Each is
# built in its own folder in build/release/work/, with its log beside it.
# It installs nothing: it needs cmake, make, g++, dpkg-dev and file, and for
# each other architecture Debian's g++-<triple>, and says what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/release
arches="$(dpkg --print-architecture 2>/dev/null || echo none) native
$(bash cmake/cross-presets.sh)"

missing=()
for tool in cmake make g++ dpkg-shlibdeps file; do
	command -v $tool >/dev/null || missing+=("$tool")
done
while read -r arch triple; do
	[ "$triple" = native ] || command -v "$triple-g++" >/dev/null || missing+=("$triple-g++")
done <<<"$arches"
if [ ${#missing[@]} -gt 0 ]; then
	echo "release.sh: missing ${missing[*]}: apt-get install cmake make g++ dpkg-dev file g++-<triple>..." >&2
	exit 1
fi

rm -rf "$out"
mkdir -p "$out/work"
while read -r arch triple; do
	cross=()
	[ "$triple" = native ] || cross=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/cross.cmake" -DCROSS_TRIPLE="$triple")
	for static in OFF ON; do
		dir=$out/work/$arch-static-$static
		{ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSTATIC=$static "${cross[@]}" &&
			cmake --build "$dir" -j 2 && (cd "$dir" && cpack); } >"$dir.log" 2>&1 ||
			{ cat "$dir.log"; echo "release.sh: $arch failed" >&2; exit 1; }
		mv "$dir"/velquist-oddrane[-_]*.* "$out"/
	done
	echo "$arch: $(cd "$out" && echo velquist-oddrane*[-_]"$arch".*)"
done <<<"$arches"
