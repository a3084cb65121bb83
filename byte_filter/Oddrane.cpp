// Oddrane: copy standard input to standard output, leaving out every
// capital Q (byte 0x51). Every other byte passes unchanged and in order.
//
// Input is read in blocks into one buffer, the Qs are dropped in place, and
// each block is written as soon as it is done: whatever has arrived is passed
// on before the next read waits, and memory use does not grow with the input.
// A read or write error ends the program with status 1.

#include <cerrno>
#include <cstddef>
#include <unistd.h>

static unsigned char c;	// the byte last read
static unsigned char buf[128 * 1024];

// A way to drop Qs: it copies the bytes of [in, end) that are not Q to out,
// which may be in itself or anywhere before it, and returns the end of what
// it wrote.
using Drop = unsigned char *(unsigned char *out, const unsigned char *in, const unsigned char *end);

static unsigned char *drop(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	while (in < end) {
		c = *in++;
		if (c != 0x51)
			*out++ = c;
	}
	return out;
}

// On x86-64 the accelerated ways compare a whole vector of bytes with Q at
// once and pack the others to its front. Filtering 256 MiB from a file to
// /dev/null (bench/oddrane.sh), they take about 1.2 (AVX-512) and 1.7 (SSSE3)
// times as long as cat, where the loop above takes about 5 times as long.
#if defined(__x86_64__) && defined(__GNUC__)
#define X86_WAYS 1
#include <array>
#include <cstdint>
#include <immintrin.h>

// pack[m] shuffles the bytes of an 8-byte group whose bits are set in m
// to the front of the group.
static constexpr std::array<int64_t, 256> pack = [] {
	std::array<int64_t, 256> p{};
	for (size_t m = 0; m < p.size(); m++)
		for (int i = 0, k = 0; i < 8; i++)
			if (m >> i & 1)
				p[m] |= int64_t{i} << 8 * k++;
	return p;
}();

// Both accelerated ways store whole vectors: the next store starts right
// after the bytes kept, so the bytes stored beyond those are overwritten or lie
// past the end of the output. As out never passes in, no store reaches past
// the vector just loaded.
__attribute__((target("ssse3,popcnt")))
static unsigned char *drop_ssse3(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __m128i q = _mm_set1_epi8(0x51);

	for (; end - in >= 16; in += 16) {
		__m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
		unsigned keep = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, q)));
		unsigned lo = keep & 0xff, hi = keep >> 8 & 0xff;

		_mm_storel_epi64(reinterpret_cast<__m128i *>(out),
				 _mm_shuffle_epi8(v, _mm_cvtsi64_si128(pack[lo])));
		out += __builtin_popcount(lo);
		_mm_storel_epi64(reinterpret_cast<__m128i *>(out),
				 _mm_shuffle_epi8(_mm_srli_si128(v, 8), _mm_cvtsi64_si128(pack[hi])));
		out += __builtin_popcount(hi);
	}
	return drop(out, in, end);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt")))
static unsigned char *drop_avx512(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __m512i q = _mm512_set1_epi8(0x51);

	for (; end - in >= 64; in += 64) {
		__m512i v = _mm512_loadu_si512(in);
		__mmask64 keep = _mm512_cmpneq_epi8_mask(v, q);

		_mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, v));
		out += __builtin_popcountll(keep);
	}
	return drop(out, in, end);
}

// Whether this CPU can run each accelerated way.
static bool can_ssse3()
{
	return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
}

static bool can_avx512()
{
	return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
	       __builtin_cpu_supports("popcnt");
}
#endif

// fastest returns the fastest way to drop Qs that this CPU can run.
static Drop *fastest()
{
#ifdef X86_WAYS
	if (can_avx512())
		return drop_avx512;
	if (can_ssse3())
		return drop_ssse3;
#endif
	return drop;
}

// put writes all n bytes at p to standard output, going on after short
// writes and interrupted calls.
static bool put(const unsigned char *p, size_t n)
{
	while (n > 0) {
		ssize_t w = write(1, p, n);
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0)
			return false;
		p += w;
		n -= static_cast<size_t>(w);
	}
	return true;
}

// copy filters standard input to standard output, a block at a time; it
// returns the exit status.
static int copy(Drop *filter)
{
	for (;;) {
		ssize_t n = read(0, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return n < 0;	// end of input, or a read error
		if (!put(buf, static_cast<size_t>(filter(buf, buf, buf + n) - buf)))
			return 1;
	}
}

int main()
{
	return copy(fastest());
}
