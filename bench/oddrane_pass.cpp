// The filter's own pass, without the kernel's copies around it: each way
// that this CPU can run drops the Qs of the first 512 KiB of standard input,
// a block that stays in the cache, into a buffer before it, again and
// again: the ways named, or all of them. It prints each way's name and its best time over the runs, in
// nanoseconds for 64 bytes: getrusage ticks too coarsely for a pass this
// short, and wall time against cat is mostly the copies that every way
// shares.
#define main oddrane_main
#include "../byte_filter/Oddrane.cpp"
#undef main

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
	static unsigned char block[2 * sizeof buf];	// the output, then the input
	unsigned char *in = block + sizeof buf;
	size_t n = 0;

	for (ssize_t r; n < sizeof buf && (r = read(0, in + n, sizeof buf - n)) > 0;)
		n += static_cast<size_t>(r);
	if (n < 64)
		return 2;
	for (const Way &w : ways) {
		if (!w.can() || (argc > 1 && std::none_of(argv + 1, argv + argc, [&](const char *a) { return std::strcmp(a, w.name) == 0; })))
			continue;
		double best = 1e30;
		for (int run = 0; run < 100; run++) {
			auto t = std::chrono::steady_clock::now();
			for (int i = 0; i < 8; i++)
				w.drop(block, in, in + n);
			std::chrono::duration<double, std::nano> d = std::chrono::steady_clock::now() - t;
			best = std::min(best, d.count() / 8 / static_cast<double>(n) * 64);
		}
		std::printf("%s %.3f\n", w.name, best);
	}
	return 0;
}
