// Oddrane: copy standard input to standard output, leaving out every
// capital Q (byte 0x51). Every other byte passes unchanged and in order.
//
// Input is read in blocks into one buffer, the Qs are dropped in place, and
// each block is written as soon as it is done: whatever has arrived is passed
// on before the next read waits, and memory use does not grow with the input.
// A read or write error ends the program with status 1.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

static unsigned char c;	// the byte last read: the last byte of each block, once it is read

// Blocks of 512 KiB: from a file to /dev/null, 128 KiB blocks took about
// 1.1 times as long, for the system calls, and blocks of 1 or 2 MiB 1.1 to
// 1.25 times, as the buffer no longer stays in the CPU's cache.
static unsigned char buf[512 << 10];

// A way to drop Qs: it copies the bytes of [in, end) that are not Q to out,
// which may be in itself or anywhere before it, and returns the end of what
// it wrote.
using Drop = unsigned char *(unsigned char *out, const unsigned char *in, const unsigned char *end);

[[gnu::noinline]]
static unsigned char *drop(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	for (; in < end; in++)
		if (*in != 0x51)
			*out++ = *in;
	return out;
}

// The portable way, for CPUs with no vector way: it looks at 8 bytes at once
// in a 64-bit word. A word with no Q is copied whole, one of only Qs
// skipped, and one with one Q closed over it in the register; from a word
// with more, the byte loop takes a run of 64 bytes, doubled while the Qs
// stay that dense, as it is as fast as anything here where Qs come often and
// in a pattern that the CPU predicts.
//
// Forced on this x86 CPU, from a file to /dev/null (bench/oddrane.sh), it
// takes 0.45 to 0.6 times as long as the byte loop on random bytes, base64
// and prose, 0.7 on QaQa... and 0.25 on only Qs. Elsewhere, counted as
// instructions run under qemu-user for each byte of the same inputs, it
// takes 4.6 to 5 where the byte loop takes 7 on 32-bit ARM without NEON,
// 1.9 to 3.1 for 6 to 7 on ppc64el and s390x, 3.5 to 5.1 for 6 to 7 on MIPS
// and RISC-V, 5.5 to 6.1 for 8 on i386; on QaQa... the same, on only Qs
// fewer. Tried instead: a word with Qs stored a byte at a time, branch-free
// (1.3 times the byte loop on QaQa..., held by one store a byte); its kept
// bytes shifted into place in the register, a Q at a time or by the bits of
// their count of Qs before them (as slow, at some 40 operations a word);
// the byte loop for runs of a fixed length (1.1 times it on QaQa...). The
// byte loop is a function of its own because, inlined, its speed on QaQa...
// swung between 0.7 and 1.0 times its own with where it fell in the code.

// put8 stores the word w at out, which need not be aligned, a byte at a
// time in memory order: the compiler makes that one store where the CPU has
// unaligned stores, where a memcpy became a call to memcpy on ARM before v6.
static void put8(unsigned char *out, uint64_t w, bool little)
{
	for (unsigned i = 0; i < 8; i++)
		out[i] = static_cast<unsigned char>(w >> (little ? 8 * i : 56 - 8 * i));
}

static unsigned char *drop_words(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const uint64_t ones = 0x0101010101010101, low7 = 0x7f * ones, q = 0x51 * ones;
	const uint16_t one = 1;
	const bool little = *reinterpret_cast<const unsigned char *>(&one) == 1;
	size_t run = 64;

	// The bytes up to a multiple of 8 in memory go one at a time, so that
	// every word is loaded aligned, as CPUs without unaligned loads (ARM
	// before v6, RISC-V as g++ tunes for it) would otherwise load it a byte
	// at a time; every step after that keeps in aligned.
	size_t lead = std::min(-reinterpret_cast<uintptr_t>(in) % 8, static_cast<uintptr_t>(end - in));
	out = drop(out, in, in + lead);
	in += lead;
	while (end - in >= 8) {
		uint64_t w;	// the bytes as the CPU loads them: the first lowest where it is little-endian
		std::memcpy(&w, __builtin_assume_aligned(in, 8), 8);
		uint64_t t = w ^ q, qs = ~(((t & low7) + low7) | t | low7);	// 0x80 in each Q

		if (qs == 0) {
			put8(out, w, little);
			out += 8;
			in += 8;
			run = 64;
		} else if (t == 0) {
			in += 8;
		} else if ((qs & (qs - 1)) == 0) {
			// The bytes before the one Q stay, those after it move
			// up over it.
			uint64_t before = little ? (qs >> 7) - 1 : ~((qs << 1) - 1);
			w = (w & before) | ((little ? w >> 8 : w << 8) & ~before);
			put8(out, w, little);
			out += 7;
			in += 8;
		} else {
			size_t n = std::min(run, static_cast<size_t>(end - in));
			out = drop(out, in, in + n);
			in += n;
			run = std::min(run * 2, sizeof buf);
		}
	}
	return drop(out, in, end);
}

// The vector ways compare 16 to 64 bytes with Q at once and shuffle the
// others to the front of the vector. Filtering 256 MiB from a file to
// /dev/null (bench/oddrane.sh), the byte loop above takes 4 to 6 times as
// long as cat, AVX-512 1.05 to 1.2 times, AVX2 and SSSE3 1.45 to 2 times.
//
// Each vector way stores whole vectors: the next store starts right after
// the bytes kept, so the bytes stored beyond those are overwritten or lie
// past the end of the output. As out never passes in, no store reaches past
// the vector just loaded.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define X86_WAYS 1
#endif
// NEON on AArch64, and on 32-bit ARM with the hard-float ABI (armhf), whose
// CPUs mostly have it though its baseline does not promise it.
#if defined(__aarch64__) || (defined(__arm__) && defined(__ARM_PCS_VFP) && defined(__GNUC__))
#define NEON_WAY 1
#endif

#if defined(X86_WAYS) || defined(NEON_WAY)
#include <array>

// pack[m] shuffles the bytes of an 8-byte group whose bits are set in m to
// the front of the group; the rest of it is zero.
static constexpr std::array<uint64_t, 256> pack = [] {
	std::array<uint64_t, 256> p{};
	for (unsigned m = 0; m < p.size(); m++)
		for (unsigned i = 0, k = 0; i < 8; i++)
			if (m >> i & 1)
				p[m] |= uint64_t{i} << 8 * k++;
	return p;
}();
#endif

#ifdef X86_WAYS
#include <immintrin.h>

// The 16 bytes at &high[m][8 - k] shuffle the upper 8 bytes of a 16-byte
// vector whose bits are set in m to just after the k bytes kept from its
// lower half; the rest of them is zero. Or'ed with pack[] for the lower half,
// they make one shuffle for all 16 bytes from 8 KiB of tables, where a table
// indexed by all 16 bits would take 1 MiB.
static constexpr std::array<std::array<uint8_t, 24>, 256> high = [] {
	std::array<std::array<uint8_t, 24>, 256> h{};
	for (unsigned m = 0; m < h.size(); m++)
		for (unsigned i = 0, k = 8; i < 8; i++)
			if (m >> i & 1)
				h[m][k++] = static_cast<uint8_t>(8 + i);
	return h;
}();

// shuffle16 returns the shuffle that packs the bytes of a 16-byte vector
// whose bits are set in the low 16 bits of keep to its front.
__attribute__((target("sse2,popcnt")))
static inline __m128i shuffle16(unsigned keep)
{
	unsigned lo = keep & 0xff, hi = keep >> 8 & 0xff;
	unsigned k = static_cast<unsigned>(__builtin_popcount(lo));

	return _mm_or_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(&pack[lo])),
			    _mm_loadu_si128(reinterpret_cast<const __m128i *>(&high[hi][8 - k])));
}

__attribute__((target("ssse3,popcnt")))
static unsigned char *drop_ssse3(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __m128i q = _mm_set1_epi8(0x51);

	for (; end - in >= 16; in += 16) {
		__m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
		unsigned keep = 0xffff & ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, q)));

		_mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_shuffle_epi8(v, shuffle16(keep)));
		out += __builtin_popcount(keep);
	}
	return drop(out, in, end);
}

// AVX2 shuffles within each 16-byte half of its 32-byte vectors, so it gains
// over SSSE3 by comparing 32 bytes at once and shuffling both halves with one
// instruction: 15% on a block in the cache, though hardly measurable beside
// the copying that read(2) does. Tried instead: BMI2's pext on 8-byte groups
// ran at two thirds of the SSSE3 way's speed (and pext is slow on AMD CPUs
// before Zen 3); four 8-byte shuffles and stores, at its speed; one 64K-entry
// table of 16-byte shuffles, 15% faster from a file, for 1 MiB of memory.
__attribute__((target("avx2,popcnt")))
static unsigned char *drop_avx2(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __m256i q = _mm256_set1_epi8(0x51);

	for (; end - in >= 32; in += 32) {
		__m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in));
		unsigned keep = ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, q)));
		__m256i s = _mm256_shuffle_epi8(v, _mm256_set_m128i(shuffle16(keep >> 16), shuffle16(keep)));
		unsigned n = static_cast<unsigned>(__builtin_popcount(keep & 0xffff));

		_mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(s));
		_mm_storeu_si128(reinterpret_cast<__m128i *>(out + n), _mm256_extracti128_si256(s, 1));
		out += n + static_cast<unsigned>(__builtin_popcount(keep >> 16));
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

// Whether this CPU can run each x86 way.
static bool can_ssse3()
{
	return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
}

static bool can_avx2()
{
	return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}

static bool can_avx512()
{
	return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
	       __builtin_cpu_supports("popcnt");
}
#endif

#ifdef NEON_WAY
#include <arm_neon.h>

// NEON has no movemask: the bits of each 8-byte half are summed from a
// vector of their weights, and each half is packed with one 8-byte table
// lookup, which AArch64 and 32-bit ARM both have, and stored on its own.
// With g++ 12 the loop is 29 instructions for 16 bytes on AArch64, as many
// as the 16-byte lookup it had before, and 27 on 32-bit ARM, where the byte
// loop takes 8 a byte, 128 for 16 (objdump -d; under qemu-user, 1.8 and
// 1.7 instructions run a byte on every input).
#ifdef __aarch64__
static bool can_neon()
{
	return true;
}
#else
#include <sys/auxv.h>
static bool can_neon()
{
	return getauxval(AT_HWCAP) & HWCAP_ARM_NEON;
}
__attribute__((target("fpu=neon")))
#endif
static unsigned char *drop_neon(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const uint8x16_t q = vdupq_n_u8(0x51);
	const uint8x8_t weights = {1, 2, 4, 8, 16, 32, 64, 128};

	for (; end - in >= 16; in += 16) {
		uint8x16_t v = vld1q_u8(in), isq = vceqq_u8(v, q);
		uint8x8_t m = vpadd_u8(vbic_u8(weights, vget_low_u8(isq)), vbic_u8(weights, vget_high_u8(isq)));
		m = vpadd_u8(m, m);
		m = vpadd_u8(m, m);	// the low half's bits in byte 0, the high half's in 1
		unsigned keep = vget_lane_u16(vreinterpret_u16_u8(m), 0);
		unsigned n = vget_lane_u16(vreinterpret_u16_u8(vcnt_u8(m)), 0);

		vst1_u8(out, vtbl1_u8(vget_low_u8(v), vcreate_u8(pack[keep & 0xff])));
		out += n & 0xff;
		vst1_u8(out, vtbl1_u8(vget_high_u8(v), vcreate_u8(pack[keep >> 8])));
		out += n >> 8;
	}
	return drop(out, in, end);
}
#endif

// fastest returns the fastest way to drop Qs that this CPU can run.
static Drop *fastest()
{
#ifdef X86_WAYS
	if (can_avx512())
		return drop_avx512;
	if (can_avx2())
		return drop_avx2;
	if (can_ssse3())
		return drop_ssse3;
#elif defined(NEON_WAY)
	if (can_neon())
		return drop_neon;
#endif
	return drop_words;
}

// again tells whether a read or write that returned r on fd should be tried
// again: it was interrupted, or fd is non-blocking (as a parent may hand it
// over) and was not ready for events, and now is.
static bool again(ssize_t r, int fd, short events)
{
	if (r >= 0)
		return false;
	if (errno == EINTR)
		return true;
	if (errno != EAGAIN && errno != EWOULDBLOCK)
		return false;
	struct pollfd p = {fd, events, 0};
	while (poll(&p, 1, -1) < 0)
		if (errno != EINTR)
			return false;
	return true;
}

// put writes all n bytes at p to standard output.
static bool put(const unsigned char *p, size_t n)
{
	while (n > 0) {
		ssize_t w = write(1, p, n);
		if (again(w, 1, POLLOUT))
			continue;
		if (w <= 0)
			return false;
		p += w;
		n -= static_cast<size_t>(w);
	}
	return true;
}

// widen lets a pipe on fd hold a whole block, so that each read and write
// moves as much as the other side allows: cat F | Oddrane | cat took about
// 0.65 times as long as with the default 64 KiB. A pipe that cannot be
// widened is used as it is; fd need not be a pipe at all.
static void widen(int fd)
{
#ifdef F_SETPIPE_SZ
	int size = fcntl(fd, F_GETPIPE_SZ);
	if (size >= 0 && size < static_cast<int>(sizeof buf))
		fcntl(fd, F_SETPIPE_SZ, static_cast<int>(sizeof buf));
#else
	(void)fd;
#endif
}

// copy filters standard input to standard output, a block at a time; it
// returns the exit status.
static int copy(Drop *filter)
{
	widen(0);
	widen(1);
	for (;;) {
		ssize_t n = read(0, buf, sizeof buf);
		if (again(n, 0, POLLIN))
			continue;
		if (n <= 0)
			return n < 0;	// end of input, or a read error
		c = buf[n - 1];
		if (!put(buf, static_cast<size_t>(filter(buf, buf, buf + n) - buf)))
			return 1;
	}
}

int main()
{
	return copy(fastest());
}
