// Every binary32 x in [0, 1), or every STRIDE-th of them, through Exponent
// for tolerances from 0.5 down to the smallest float. Each sum is checked bit
// for bit against a model that makes every step in binary64 and rounds it to
// binary32, which is one correct rounding as 53 >= 2 * 24 + 2 bits; and its
// error against e^x (binary64 exp) is measured: in units in the last place,
// absolutely, and in the sixth decimal as printed.
//
// Usage: sweep [STRIDE [THREADS]]. It prints a line for each tolerance,
// shows its progress on a terminal and exits 1 on any mismatch. It runs on
// every core unless told otherwise; with one thread it starts none of its
// own, as qemu-i386 7.2 hangs in the first pthread_create.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#define main velquist_main
#include "../series_calculator/Velquist.cpp"
#undef main

static const float tolerances[] = {
	0.5f, 1e-1f, 1e-2f, 1e-3f, 1e-4f, 1e-5f, 1e-6f, 1e-7f, 1e-8f, 1e-9f, 1e-10f,
	1e-12f, 1e-15f, 1e-20f, 1e-25f, 1e-30f, 1e-35f, 1e-40f, std::numeric_limits<float>::denorm_min(),
};
constexpr size_t E = std::size(tolerances);

struct Worst {
	uint64_t mismatches;
	double ulps, abs, sixth;	// the largest errors
	float x;			// where the error in ulps is largest
};
using Table = std::array<Worst, E>;

// to32 rounds a binary64 result to binary32. It goes through a volatile, as
// the compiler would otherwise carry out (float)((double)a * (double)b) as
// one float operation, by the very theorem that the model rests on, and the
// model would share the arithmetic it checks.
static float to32(double d)
{
	volatile double v = d;
	return static_cast<float>(v);
}

// to64 widens a binary32 value to binary64 out of the compiler's sight, so
// that a product of two widened floats stays a product of two doubles: clang
// makes it s390x's multiply of two binary32 operands to a binary64 result
// (MDEBR), which qemu-s390x 7.2 carries out on a first operand read as
// binary64, so that the model's terms came out 2^-7 times too small there.
static double to64(float f)
{
	volatile double v = f;
	return v;
}

// model gives the sum that Exponent must return for x and each tolerance:
// the terms and sums are made once, and each tolerance takes the sum up to
// the first term that is not greater than it.
static void model(float x, float *want)
{
	float term = 1, sum = 1;

	for (size_t e = 0, n = 1;; n++) {
		for (; e < E && !(term > tolerances[e]); e++)
			want[e] = sum;
		if (e == E)
			return;
		float q = to32(static_cast<double>(x) / static_cast<double>(n));
		term = to32(static_cast<double>(term) * to64(q));
		sum = to32(static_cast<double>(sum) + static_cast<double>(term));
	}
}

static void merge(Worst &w, const Worst &v)
{
	w.mismatches += v.mismatches;
	if (v.ulps > w.ulps) {
		w.ulps = v.ulps;
		w.x = v.x;
	}
	w.abs = std::max(w.abs, v.abs);
	w.sixth = std::max(w.sixth, v.sixth);
}

static uint32_t bits(float f)
{
	uint32_t u;
	std::memcpy(&u, &f, sizeof u);
	return u;
}

// sweep takes the x whose bit patterns are the multiples of stride in
// [from, to) into t.
static void sweep(uint32_t from, uint32_t to, uint32_t stride, Table &t)
{
	float want[E];

	for (uint32_t b = (from + stride - 1) / stride * stride; b < to; b += stride) {
		float x;
		std::memcpy(&x, &b, sizeof x);
		model(x, want);
		double e = std::exp(static_cast<double>(x)), ulp = std::ldexp(1.0, std::ilogb(e) - 23);
		double printed = std::nearbyint(e * 1e6);
		for (size_t i = 0; i < E; i++) {
			float got = Exponent(x, tolerances[i]);
			double abs = std::fabs(static_cast<double>(got) - e);
			double sixth = std::fabs(std::nearbyint(static_cast<double>(got) * 1e6) - printed);
			merge(t[i], {bits(got) != bits(want[i]), abs / ulp, abs, sixth, x});
		}
	}
}

int main(int argc, char **argv)
{
	const uint32_t end = 0x3f800000, chunk = 1 << 20;	// 1.0f; x below it in chunks
	const uint32_t chunks = end / chunk;
	uint32_t stride = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1;
	unsigned cores = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : std::thread::hardware_concurrency();
	std::vector<Table> tables(std::max(1u, cores));
	std::vector<std::thread> threads;
	std::atomic<uint32_t> next{0}, done{0};
	bool terminal = isatty(2);

	if (stride == 0)
		return 2;
	auto work = [&](Table &t) {
		for (uint32_t c; (c = next++) < chunks;) {
			sweep(c * chunk, c * chunk + chunk, stride, t);
			if (terminal)
				std::fprintf(stderr, "\r%3u%%", ++done * 100 / chunks);
		}
	};
	for (size_t i = 1; i < tables.size(); i++)
		threads.emplace_back(work, std::ref(tables[i]));
	work(tables[0]);
	for (auto &t : threads)
		t.join();
	if (terminal)
		std::fputs("\r", stderr);

	uint64_t mismatches = 0;
	std::printf("x: %u of the %u binary32 values in [0, 1), a stride of %u\n", (end + stride - 1) / stride, end,
		    stride);
	std::printf("%-10s %10s %9s %11s %6s %11s\n", "eps", "mismatches", "ulps", "absolute", "sixth",
		    "x at ulps");
	for (size_t i = 0; i < E; i++) {
		Worst w{};
		for (const Table &t : tables)
			merge(w, t[i]);
		mismatches += w.mismatches;
		std::printf("%-10.3g %10llu %9.3f %11.4g %6.0f %11.9g\n", static_cast<double>(tolerances[i]),
			    static_cast<unsigned long long>(w.mismatches), w.ulps, w.abs, w.sixth,
			    static_cast<double>(w.x));
	}
	return mismatches != 0;
}
