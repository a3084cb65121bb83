// Every way the filter has to drop Qs, checked against an independent
// reference on the same data, in place, in a buffer of exactly the input's
// size between two pages that may not be touched: placed at its start, as
// the filter's buffer is aligned, and at its end, so that a way that reads
// or writes a byte too far dies, under qemu-user too. Built with FUZZING,
// this is a libFuzzer target; otherwise it runs the crafted cases below.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/mman.h>
#include <vector>

#define main oddrane_main
#include "../byte_filter/Oddrane.cpp"
#undef main

// The ways in the table, and the portable way as 64-bit RISC-V and MIPS
// take it, on every CPU.
static const std::vector<Way> checked = [] {
	std::vector<Way> v(std::begin(ways), std::end(ways));
	v.push_back({"skim", skimmed, always});
	return v;
}();

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t n)
{
	static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
	const size_t span = (n + page - 1) / page * page, size = span + 2 * page;
	std::vector<unsigned char> want;
	std::remove_copy(data, data + n, std::back_inserter(want), 0x51);

	void *map = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (map == MAP_FAILED || (span > 0 && mprotect(static_cast<unsigned char *>(map) + page, span, PROT_READ | PROT_WRITE) != 0)) {
		std::perror("drop_test: guard pages");
		std::abort();
	}
	auto *guarded = static_cast<unsigned char *>(map) + page;
	for (unsigned char *p : {guarded, guarded + span - n})
		for (const Way &w : checked) {
			if (!w.can())
				continue;
			std::copy(data, data + n, p);
			size_t got = static_cast<size_t>(w.drop(p, p, p + n) - p);
			if (got != want.size() || !std::equal(want.begin(), want.end(), p)) {
				std::fprintf(stderr, "%s: wrong output for %zu bytes\n", w.name, n);
				std::abort();
			}
		}
	munmap(map, size);
	return 0;
}

#ifndef FUZZING
static void check(const std::vector<unsigned char> &v)
{
	LLVMFuzzerTestOneInput(v.data(), v.size());
}

// With a way's name, it also checks that the filter picks that way, as it
// must on the emulated CPU that the test names.
int main(int argc, char **argv)
{
	// Every length across a few vector widths, with one Q, or all Qs but
	// one other byte, at every offset.
	for (size_t n = 0; n <= 200; n++) {
		check(std::vector<unsigned char>(n, 'a'));
		check(std::vector<unsigned char>(n, 'Q'));
		for (size_t i = 0; i < n; i++) {
			std::vector<unsigned char> one(n, 'a'), other(n, 'Q');
			one[i] = 'Q';
			other[i] = 'a';
			check(one);
			check(other);
		}
	}

	// All byte values, and random bytes with Qs from none, or one in 2,500
	// as in text, to all, in one chunk or several.
	std::vector<unsigned char> all(256);
	for (size_t i = 0; i < all.size(); i++)
		all[i] = static_cast<unsigned char>(i);
	check(all);
	std::mt19937 rng(1);
	for (unsigned in10000 : {0u, 4u, 100u, 1000u, 5000u, 9000u, 10000u})
		for (size_t n : {1000u, 4099u, 65536u + 13}) {
			std::vector<unsigned char> v(n);
			for (auto &b : v) {
				auto other = rng() % 255;	// any byte but Q
				b = static_cast<unsigned char>(rng() % 10000 < in10000 ? 0x51 : other + (other >= 0x51));
			}
			check(v);
		}

	// Text, Qs one in 2,500, and Qs at random one byte in two, by turns:
	// within a chunk, at a chunk's end and across several.
	for (size_t turn : {1000u, 16384u, 20000u}) {
		std::vector<unsigned char> v(8 * turn + 5);
		for (size_t i = 0; i < v.size(); i++)
			v[i] = rng() % (i / turn % 2 ? 2 : 2500) == 0 ? 0x51 : 'a';
		check(v);
	}

	// Qs in every period from 2 to 64, whose phase slips every 500 bytes:
	// words alike in their Qs for a while, then not.
	for (size_t period = 2; period <= 64; period++) {
		std::vector<unsigned char> v(4099);
		for (size_t i = 0; i < v.size(); i++)
			v[i] = (i + i / 500) % period == 0 ? 0x51 : 'a';
		check(v);
	}

	const char *picked = "none";
	for (const Way &w : ways) {
		std::printf("%s: %s\n", w.name, w.can() ? "checked" : "not on this CPU, skipped");
		if (w.drop == fastest())
			picked = w.name;
	}
	std::printf("picked: %s\n", picked);
	return argc > 1 && std::strcmp(argv[1], picked) != 0;
}
#endif
