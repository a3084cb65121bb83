// Oddrane: copy standard input to standard output, leaving out every
// capital Q (byte 0x51). Every other byte passes unchanged and in order.
//
// Input is read in blocks into one buffer, the Qs are dropped in place, and
// each block is written as soon as it is done: whatever has arrived is passed
// on before the next read waits, and memory use does not grow with the input.
// A read or write error ends the program with status 1. How the Qs are
// dropped is up to the CPU: the ways to do it follow the main loop, and the
// table at the end of the file lists them, fastest first.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <tuple>
#include <unistd.h>

// The byte last read: the last byte of each block, once it is read. Nothing
// reads it; it stays as the program's one piece of state that a debugger can
// show, the byte where the input stands.
static unsigned char c;

// Blocks of 512 KiB: from a file to /dev/null, 128 KiB blocks took about
// 1.1 times as long, for the system calls, and larger ones as long or
// longer, as the buffer no longer stays in the CPU's cache. It starts a
// cache line, so that no vector load spans two, and the portable way loads
// whole aligned words from its start.
alignas(64) static unsigned char buf[512 << 10];

// A way to drop Qs: it copies the bytes of [in, end) that are not Q to out,
// which may be in itself or anywhere before it, and returns the end of what
// it wrote.
using Drop = unsigned char *(unsigned char *out, const unsigned char *in, const unsigned char *end);
static Drop *fastest();

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

// The ways that this build has, besides the byte loop and the portable way,
// which every build has. A vector way is built where the compiler can build
// it; those marked AT_RUN_TIME are built for CPUs beyond the baseline and
// chosen as the program starts by what the system says of the CPU.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define X86_WAYS 1
#endif
// NEON where the baseline has it, as on AArch64. 32-bit ARM with the
// hard-float ABI (armhf) mostly has it, though its baseline does not
// promise it: there g++ builds the way for a CPU with NEON; clang allows
// NEON only where the baseline has it. Linux tells the CPU's features by
// getauxval, FreeBSD by elf_aux_info.
#if defined(__aarch64__) || defined(__ARM_NEON)
#define NEON_WAY 1
#elif defined(__arm__) && defined(__ARM_PCS_VFP) && defined(__GNUC__) && !defined(__clang__) && \
	(defined(HAVE_GETAUXVAL) || defined(HAVE_ELF_AUX_INFO))
#define NEON_WAY 1
#define NEON_AT_RUN_TIME 1
#endif
// RVV, RISC-V's vector extension, AT_RUN_TIME, where the assembler takes it
// within a function (the build checks).
#if defined(__riscv) && defined(HAVE_GETAUXVAL) && (defined(HAVE_RVV_ASM) || defined(HAVE_RVV_ASM_BARE))
#define RVV_WAY 1
#endif
// VSX on little-endian POWER8 and later, which Debian's ppc64el requires;
// a big-endian POWER takes the portable way.
#if defined(__VSX__) && defined(_ARCH_PWR8) && defined(__LITTLE_ENDIAN__)
#define VSX_WAY 1
// The same built for POWER9, and POWER10's, AT_RUN_TIME.
#ifdef HAVE_GETAUXVAL
#define POWER9_WAY 1
#define POWER10_WAY 1
#endif
#endif
// The vector facility of IBM z13 and later, AT_RUN_TIME: the baseline of
// Debian's s390x is older.
#if defined(__s390x__) && defined(__GNUC__) && defined(HAVE_GETAUXVAL)
#define Z13_WAY 1
#endif
#if defined(NEON_AT_RUN_TIME) || defined(RVV_WAY) || defined(POWER10_WAY) || defined(Z13_WAY)
#include <sys/auxv.h>
#endif
#ifdef NEON_WAY
#include <arm_neon.h>
#endif

// The byte order, as the compiler knows it: words and shuffles are made of
// bytes in memory order, which is the order of their values where the CPU
// is little-endian.
static constexpr bool little = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// always is the test of a way that every CPU of this build can run.
static bool always()
{
	return true;
}

// The byte loop: the way of last resort, and the reference that the others
// are measured by. A function of its own, so that each way's tail of fewer
// bytes than it takes at once runs it in a call.
[[gnu::noinline]]
static unsigned char *drop_bytes(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	for (; in < end; in++)
		if (*in != 0x51)
			*out++ = *in;
	return out;
}

// The portable way, for CPUs with no vector way: it looks at 8 bytes at
// once in a 64-bit word and finds its Qs with an exact test for each byte.
// A word with no Q is stored whole, one of only Qs skipped, and one with
// one Q closed over it in the register. From a word with more, words go two
// bytes at a time with no branch on where the Qs are (drop_dense): where
// Qs come at random, a branch on each byte, or on each word's kind, is
// mispredicted time and again: there it takes a tenth of the byte loop's
// time. It takes the bytes up to the first word aligned to 8 one at a
// time, so that every word is loaded whole where CPUs without unaligned
// loads (ARM before v6, RISC-V as g++ tunes for it) would load it a byte at
// a time; every step keeps it aligned.
static const uint64_t ones = 0x0101010101010101;

// load8 loads the word at p, which is aligned.
static uint64_t load8(const unsigned char *p)
{
	uint64_t w;
	std::memcpy(&w, __builtin_assume_aligned(p, 8), 8);
	return w;
}

// put8 stores the word w at out, which need not be aligned, a byte at a
// time in memory order: the compiler makes that one store where the CPU has
// unaligned stores, where a memcpy became a call to memcpy on ARM before v6.
static void put8(unsigned char *out, uint64_t w)
{
	for (unsigned i = 0; i < 8; i++)
		out[i] = static_cast<unsigned char>(w >> (little ? 8 * i : 56 - 8 * i));
}

// put2 copies the 2 bytes at p to out, neither of them aligned, with one
// store where the CPU has unaligned stores and a byte at a time where it
// has none: a memcpy of them, or a copy of the whole struct, became a call
// to memcpy on ARM before v6. An attribute that a compiler drops from where
// it stands would make this an aligned store, which traps on MIPS.
struct __attribute__((packed, may_alias)) Unaligned16 {
	uint16_t v;
};
static_assert(alignof(Unaligned16) == 1 && sizeof(Unaligned16) == 2, "Unaligned16 must be unaligned");

static void put2(unsigned char *out, const unsigned char *p)
{
	reinterpret_cast<Unaligned16 *>(out)->v = reinterpret_cast<const Unaligned16 *>(p)->v;
}

// qs_of marks each Q in the word w with 0x80, exactly.
static uint64_t qs_of(uint64_t w)
{
	const uint64_t low7 = 0x7f * ones, t = w ^ 0x51 * ones;
	return ~(((t & low7) + low7) | t | low7);
}

// For each set m of Qs in a word, bit i for byte i in memory, how to drop
// them two bytes at a time: takes_next marks, as a mask over the word in
// memory order, the first byte of each two that is Q and so takes the
// second's value; at gives where each two go among the bytes kept; kept
// says how many are.
struct alignas(8) TwoByTwo {
	unsigned char takes_next[8];
	unsigned char at[4];
	unsigned char kept;
};
static constexpr std::array<TwoByTwo, 256> two_by_two = [] {
	std::array<TwoByTwo, 256> t{};
	for (unsigned m = 0; m < t.size(); m++) {
		unsigned k = 0;
		for (unsigned j = 0; j < 4; j++) {
			bool first = m >> 2 * j & 1, second = m >> (2 * j + 1) & 1;
			t[m].takes_next[2 * j] = first ? 0xff : 0;
			t[m].at[j] = static_cast<unsigned char>(k);
			k += !first + !second;
		}
		t[m].kept = static_cast<unsigned char>(k);
	}
	return t;
}();

// drop_dense drops the Qs from the words at in, which is aligned, 8 words
// at a time for as long as each 8 have a word with two Qs or more, but not
// past stop; it returns the ends of its output and of the words it took. A
// word goes two bytes at a time, with no branch on where its Qs are: a first
// byte that is Q takes the second's value, and the two are stored at their
// place among the bytes kept, where what they hold past those is
// overwritten by the next two, or lies past the bytes kept. A function of
// its own, it leaves the registers of the loop that calls it alone:
// inlined, it cost i386 and POWER instructions on every word of random bytes.
[[gnu::noinline]]
static std::pair<unsigned char *, const unsigned char *> drop_dense(unsigned char *out, const unsigned char *in,
								    const unsigned char *stop)
{
	// Multiplied by the Qs' top bits shifted down to the bottom, gather
	// puts them in the top byte, in memory order.
	const uint64_t gather = little ? 0x0102040810204080 : 0x8040201008040201;

	for (bool dense = true; dense && in < stop;) {
		uint64_t any = 0, all = ~uint64_t{0};	// Qs in any word of the 8, and in all

		dense = false;
		for (const unsigned char *run = in + std::min<ptrdiff_t>(64, stop - in); in < run; in += 8) {
			uint64_t w = load8(in), qs = qs_of(w), takes_next;
			const TwoByTwo &t = two_by_two[static_cast<size_t>((qs >> 7) * gather >> 56)];
			unsigned char bytes[8];	// the word with each first Q taken over, in memory order

			dense |= (qs & (qs - 1)) != 0;
			std::memcpy(&takes_next, t.takes_next, 8);
			w = (w & ~takes_next) | ((little ? w >> 8 : w << 8) & takes_next);
			std::memcpy(bytes, &w, 8);
			put2(out, bytes);
			put2(out + t.at[1], bytes + 2);
			put2(out + t.at[2], bytes + 4);
			put2(out + t.at[3], bytes + 6);
			out += t.kept;
			any |= qs;
			all &= qs;
		}

		// Qs that come alike word after word, as in QaQa..., are the
		// byte loop's best case: its branches are predicted, and it
		// runs fewer instructions than two by two where stores must be
		// aligned (RISC-V, MIPS) or registers are few (i386). It takes
		// runs of 64 bytes, doubled while the next word's Qs are alike.
		for (ptrdiff_t n = 64; any == all && dense && in < stop && qs_of(load8(in)) == all;
		     n = std::min<ptrdiff_t>(2 * n, sizeof buf)) {
			const unsigned char *to = in + std::min(n, stop - in);
			out = drop_bytes(out, in, to);
			in = to;
		}
	}
	return {out, in};
}

__attribute__((noinline))
static unsigned char *drop_portable(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const unsigned char *word = in + std::min<size_t>(static_cast<size_t>(end - in), -reinterpret_cast<uintptr_t>(in) & 7);

	out = drop_bytes(out, in, word);
	in = word;
	for (const unsigned char *stop = in + (end - in) / 8 * 8; in < stop;) {
		uint64_t w = load8(in), qs = qs_of(w);

		if (qs == 0) {
			put8(out, w);
			out += 8;
			in += 8;
		} else if (qs == 0x80 * ones) {
			in += 8;
		} else if ((qs & (qs - 1)) == 0) {
			// The bytes before the one Q stay, those after it move
			// up over it.
			uint64_t before = little ? (qs >> 7) - 1 : ~((qs << 1) - 1);
			put8(out, (w & before) | ((little ? w >> 8 : w << 8) & ~before));
			out += 7;
			in += 8;
		} else {
			std::tie(out, in) = drop_dense(out, in, stop);
		}
	}
	return drop_bytes(out, in, end);
}

// Text holds few capital Qs (no Q in 98% of the 64-byte runs of C
// headers), so where Qs are few the ways pass the runs that hold none as
// they are. The vector ways are built twice, with skips and without: with
// skips, 64 bytes that hold no Q are tested with one branch and stored back
// whole. z13 and the portable way move the runs between Qs by the C
// library's memchr and memmove instead (runs, below), or on 64-bit RISC-V
// and MIPS in one pass (skim). Where Qs are dense, each skip is a branch
// mispredicted and each run a call or two, which cost more than they save.
// by_density takes the input in chunks and gives each to rarely after a
// chunk that held fewer than few Qs, else to densely: a wrong guess costs
// one chunk, so an input that switches between text and Qs pays it once a
// switch. For the skips few is 128 Qs in 16 KiB, which random bytes (a Q
// in 256) fall under: they ran faster with skips on every CPU measured.
//
// Which of the two takes a chunk is a matter of speed alone, which the
// bench checks: both drop the same bytes. The fuzz build takes chunks of 1
// KiB (CHUNK), so that its short inputs reach both and cross between them.
#ifndef CHUNK
#define CHUNK (16 << 10)
#endif
template <Drop *rarely, Drop *densely, ptrdiff_t few>
static unsigned char *by_density(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const ptrdiff_t chunk = CHUNK;

	for (bool rare = true; in < end;) {
		const unsigned char *stop = in + std::min(chunk, end - in);
		unsigned char *from = out;

		out = (rare ? rarely : densely)(out, in, stop);
		rare = (stop - in) - (out - from) < few;
		in = stop;
	}
	return out;
}

// runs is how the ways without skips take a chunk where Qs are few: it
// moves each run up to the next Q over the gap that the Qs before it left
// by memchr and memmove, so each byte is looked at once and moved once;
// after few Qs the way takes the rest of the chunk. s390x's C library
// finds a Q with the vector facility, so z13 runs 0.13 instructions a byte
// on C headers (under qemu-user) this way.
template <Drop *way, ptrdiff_t few>
static unsigned char *runs(unsigned char *out, const unsigned char *in, const unsigned char *stop)
{
	for (ptrdiff_t qs = 0; in < stop && qs < few; qs++) {
		auto *q = static_cast<const unsigned char *>(std::memchr(in, 0x51, static_cast<size_t>(stop - in)));
		if (!q)
			q = stop;
		if (out != in)
			std::memmove(out, in, static_cast<size_t>(q - in));
		out += q - in;
		in = q + (q < stop);
	}
	return in < stop ? way(out, in, stop) : out;
}

// sparse is a way without skips, taken by density, by runs where Qs are few.
template <Drop *way, ptrdiff_t few = 64>
static constexpr Drop *sparse = by_density<runs<way, few>, way, few>;

// skim is the portable way's where Qs are few on 64-bit RISC-V and MIPS,
// where the C library's memchr and memmove are plain C and the compiler
// stores an unaligned word a byte at a time: on C headers under qemu-user
// it runs 0.6 times the instructions that runs does there. It takes the
// bytes up to the next aligned word one at a time, then the words up to the
// next with a Q, each stored whole at the aligned word that out falls in,
// after the bytes before it there (carry), which are output, as the buffer
// starts a word. After few words with a Q (128: some 16 KiB of C headers
// hold more than 64), or 4 in a row as where Qs are dense, drop_portable
// takes the rest. Its test of 64 bytes at once is exact for bytes below
// 0x80, as text's are, in 3 instructions a word where qs_of takes 5; where
// it fails, the words go one by one.
#if (defined(__riscv) || defined(__mips__)) && __SIZEOF_POINTER__ == 8
static constexpr bool skims = true;
#else
static constexpr bool skims = false;
#endif

// stow stores the s bits of carry, then w, at o, which is aligned, and
// keeps the bits of w that did not fit in carry: in two shifts, as C++
// shifts by 63 at most.
static void stow(unsigned char *o, uint64_t w, uint64_t &carry, size_t s)
{
	uint64_t v = carry | (little ? w << s : w >> s);
	std::memcpy(__builtin_assume_aligned(o, 8), &v, 8);
	carry = little ? w >> 1 >> (63 - s) : w << 1 << (63 - s);
}

template <ptrdiff_t few>
static unsigned char *skim(unsigned char *out, const unsigned char *in, const unsigned char *stop)
{
	for (ptrdiff_t qs = 0, idle = 0; stop - in >= 16 && qs < few && idle < 4; qs++) {
		const unsigned char *word = in + 8 - (reinterpret_cast<uintptr_t>(in) & 7);
		out = drop_bytes(out, in, word);
		in = word;
		const size_t s = 8 * (reinterpret_cast<uintptr_t>(out) & 7);	// the bits of out's word before out
		unsigned char *o = out - s / 8;
		uint64_t carry = s ? load8(o) & (little ? ~uint64_t{0} >> (64 - s) : ~uint64_t{0} << (64 - s)) : 0;

		for (const unsigned char *last = in + (stop - in) / 64 * 64; in < last; in += 64, o += 64) {
			uint64_t w[8], maybe = 0;
			for (int i = 0; i < 8; i++)
				maybe |= ((w[i] = load8(in + 8 * i)) ^ 0x51 * ones) - ones;
			if (maybe & 0x80 * ones)
				break;
			for (int i = 0; i < 8; i++)
				stow(o + 8 * i, w[i], carry, s);
		}
		for (uint64_t w; stop - in >= 8 && !qs_of(w = load8(in)); in += 8, o += 8)
			stow(o, w, carry, s);
		if (s)
			stow(o, 0, carry, s);
		idle = in == word ? idle + 1 : 0;
		out = o + s / 8;
	}
	return drop_portable(out, in, stop);
}

// skimmed is the portable way as those CPUs take it, by density.
static constexpr Drop *skimmed = by_density<skim<128>, drop_portable, 128>;

// The vector ways compare 16 to 64 bytes with Q at once and shuffle or
// compress the others to the front of the vector. All but AVX-512 and RVV,
// whose compress costs as little as a skip, run by density in the table.
// docs/CONTRIBUTING.md has each way's times and counts.
//
// Each vector way stores whole vectors: the next store starts right after
// the bytes kept, so the bytes stored beyond those are overwritten or lie
// past the end of the output. As out never passes in, no store reaches past
// the vector just loaded.

// pack[m] shuffles the bytes of an 8-byte group whose bits are set in m to
// the front of the group, as a word that the CPU stores in memory order;
// the rest of it is zero. For x86, NEON, VSX and z13.
[[maybe_unused]] static constexpr std::array<uint64_t, 256> pack = [] {
	std::array<uint64_t, 256> p{};
	for (unsigned m = 0; m < p.size(); m++)
		for (unsigned i = 0, k = 0; i < 8; i++)
			if (m >> i & 1)
				p[m] |= uint64_t{i} << (little ? 8 * k++ : 56 - 8 * k++);
	return p;
}();

// The 16 bytes at &high[m][8 - k] shuffle the upper 8 bytes of a 16-byte
// vector whose bits are set in m to just after the k bytes kept from its
// lower half; the rest of them is zero. Or'ed with pack[] for the lower half,
// they make one shuffle for all 16 bytes from 8 KiB of tables, where a table
// indexed by all 16 bits would take 1 MiB. For x86 and VSX.
[[maybe_unused]] static constexpr std::array<std::array<uint8_t, 24>, 256> high = [] {
	std::array<std::array<uint8_t, 24>, 256> h{};
	for (unsigned m = 0; m < h.size(); m++)
		for (unsigned i = 0, k = 8; i < 8; i++)
			if (m >> i & 1)
				h[m][k++] = static_cast<uint8_t>(8 + i);
	return h;
}();

#ifdef X86_WAYS
#include <immintrin.h>

// shuffle16 returns the shuffle that packs the bytes of a 16-byte vector
// whose bits are set in the low 16 bits of keep to its front.
__attribute__((target("ssse3,popcnt"), always_inline))
static inline __m128i shuffle16(unsigned keep)
{
	unsigned lo = keep & 0xff, hi = keep >> 8 & 0xff;
	unsigned k = static_cast<unsigned>(__builtin_popcount(lo));

	return _mm_or_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(&pack[lo])),
			    _mm_loadu_si128(reinterpret_cast<const __m128i *>(&high[hi][8 - k])));
}

// pack64 packs the 64 bytes at in that are not Q to out, 16 at a time, and
// returns the end of what it wrote; with skips, 64 with no Q are stored
// back whole. SSSE3 and AVX2 both shuffle with it: AVX2's 32-byte shuffle
// works within each 16-byte half, and bringing the halves' shuffles
// together and their bytes apart again took 40% longer on an Intel Xeon
// (Sapphire Rapids). Inlined into each way, it is encoded for that way's
// CPU: with VEX for AVX2, three operands and no copies of registers.
template <bool skips>
__attribute__((target("ssse3,popcnt"), always_inline))
static inline unsigned char *pack64(unsigned char *out, const unsigned char *in)
{
	const __m128i q = _mm_set1_epi8(0x51);
	__m128i v[4], isq[4];

	for (int i = 0; i < 4; i++)
		isq[i] = _mm_cmpeq_epi8(v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * i)), q);
	if (skips && !_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(isq[0], isq[1]), _mm_or_si128(isq[2], isq[3])))) {
		for (int i = 0; i < 4; i++)
			_mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * i), v[i]);
		return out + 64;
	}
	for (int i = 0; i < 4; i++) {
		unsigned keep = 0xffff & ~static_cast<unsigned>(_mm_movemask_epi8(isq[i]));
		_mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_shuffle_epi8(v[i], shuffle16(keep)));
		out += __builtin_popcount(keep);
	}
	return out;
}

template <bool skips>
__attribute__((target("ssse3,popcnt"), noinline))
static unsigned char *drop_ssse3(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	for (; end - in >= 64; in += 64)
		out = pack64<skips>(out, in);
	return drop_bytes(out, in, end);
}

// AVX2 tests 64 bytes for a skip with two 256-bit compares.
template <bool skips>
__attribute__((target("avx2,popcnt"), noinline))
static unsigned char *drop_avx2(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __m256i q = _mm256_set1_epi8(0x51);

	for (; end - in >= 64; in += 64) {
		__m256i v[2], isq[2];
		for (int i = 0; i < 2 && skips; i++)
			isq[i] = _mm256_cmpeq_epi8(v[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + 32 * i)), q);
		if (skips && _mm256_testz_si256(_mm256_or_si256(isq[0], isq[1]), _mm256_or_si256(isq[0], isq[1]))) {
			_mm256_storeu_si256(reinterpret_cast<__m256i *>(out), v[0]);
			_mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 32), v[1]);
			out += 64;
		} else {
			out = pack64<false>(out, in);
		}
	}
	return drop_bytes(out, in, end);
}

// AVX-512 VBMI2 compresses the bytes kept in one instruction, merged into
// the vector just loaded: AMD's Zen 4 and 5 make a compress into zeros wait
// for the last value of its register, and so each pass for the one before.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt")))
static unsigned char *drop_avx512(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __m512i q = _mm512_set1_epi8(0x51);

	for (; end - in >= 64; in += 64) {
		__m512i v = _mm512_loadu_si512(in);
		__mmask64 keep = _mm512_cmpneq_epi8_mask(v, q);

		_mm512_storeu_si512(out, _mm512_mask_compress_epi8(v, keep, v));
		out += __builtin_popcountll(keep);
	}
	return drop_bytes(out, in, end);
}
#endif

#ifdef NEON_WAY
// NEON has no movemask: the bits of each 8-byte half are summed from a
// vector of their weights, and each half is packed with one 8-byte table
// lookup, which AArch64 and 32-bit ARM both have, and stored on its own.
#ifndef NEON_AT_RUN_TIME
static constexpr auto can_neon = always;
#else
static bool can_neon()
{
#ifdef HAVE_GETAUXVAL
	return getauxval(AT_HWCAP) & HWCAP_ARM_NEON;
#else
	unsigned long hwcap = 0;
	return elf_aux_info(AT_HWCAP, &hwcap, sizeof hwcap) == 0 && (hwcap & HWCAP_NEON);
#endif
}
#define NEON_TARGET target("fpu=neon")
#endif
#ifndef NEON_TARGET
#define NEON_TARGET
#endif
template <bool skips>
__attribute__((NEON_TARGET, noinline))
static unsigned char *drop_neon(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const uint8x16_t q = vdupq_n_u8(0x51);
	const uint8x8_t weights = {1, 2, 4, 8, 16, 32, 64, 128};

	for (; end - in >= 64; in += 64) {
		uint8x16_t v[4], isq[4];
		for (int i = 0; i < 4; i++)
			isq[i] = vceqq_u8(v[i] = vld1q_u8(in + 16 * i), q);
		if (skips) {
			uint64x2_t any = vreinterpretq_u64_u8(vorrq_u8(vorrq_u8(isq[0], isq[1]), vorrq_u8(isq[2], isq[3])));
			if ((vgetq_lane_u64(any, 0) | vgetq_lane_u64(any, 1)) == 0) {
				for (int i = 0; i < 4; i++)
					vst1q_u8(out + 16 * i, v[i]);
				out += 64;
				continue;
			}
		}
		for (int i = 0; i < 4; i++) {
			uint8x8_t m = vpadd_u8(vbic_u8(weights, vget_low_u8(isq[i])), vbic_u8(weights, vget_high_u8(isq[i])));
			m = vpadd_u8(m, m);
			m = vpadd_u8(m, m);	// the low half's bits in byte 0, the high half's in 1
			unsigned keep = vget_lane_u16(vreinterpret_u16_u8(m), 0);
			unsigned n = vget_lane_u16(vreinterpret_u16_u8(vcnt_u8(m)), 0);

			vst1_u8(out, vtbl1_u8(vget_low_u8(v[i]), vcreate_u8(pack[keep & 0xff])));
			out += n & 0xff;
			vst1_u8(out, vtbl1_u8(vget_high_u8(v[i]), vcreate_u8(pack[keep >> 8])));
			out += n >> 8;
		}
	}
	return drop_bytes(out, in, end);
}
#endif

#ifdef RVV_WAY
// vcompress.vm is the whole work, 32 bytes at a time at VLEN 128 in
// register groups of two (LMUL 2: vcompress costs more with larger groups
// on real cores), with no tail left for the byte loop. It is in assembly,
// as compilers before GCC 14 and clang 19
// have no RVV intrinsics, under .option arch, as the build's baseline has
// no V; a compiler that knows no vector registers uses none, and only one
// that knows them is told which the way clobbers.
static unsigned char *drop_rvv(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	for (size_t n = static_cast<size_t>(end - in), vl, kept; n > 0; n -= vl, in += vl, out += kept)
		__asm__ volatile(".option push\n\t.option arch, +v\n\t"
				 "vsetvli %[vl], %[n], e8, m2, ta, ma\n\t"
				 "vle8.v v8, (%[in])\n\t"
				 "vmsne.vx v0, v8, %[q]\n\t"
				 "vcompress.vm v12, v8, v0\n\t"
				 "vcpop.m %[kept], v0\n\t"
				 "vse8.v v12, (%[out])\n\t"
				 ".option pop"
				 : [vl] "=&r"(vl), [kept] "=&r"(kept)
				 : [n] "r"(n), [in] "r"(in), [out] "r"(out), [q] "r"(0x51)
#ifdef HAVE_RVV_ASM
				 : "memory", "v0", "v8", "v9", "v12", "v13");
#else
				 : "memory");
#endif
	return out;
}
#endif

#ifdef VSX_WAY
#include <altivec.h>

// VSX finds the bytes kept as SSSE3 does and gathers their bits with
// vbpermq, and shuffles them to the front with one vperm from the same
// tables, as nothing before POWER10 compresses by a mask. On POWER8
// little-endian every unaligned load and store comes with a swap of its
// halves, and vperm with its indices complemented; POWER9 loads, stores
// and permutes in element order. So the body is built twice, for the
// baseline and for POWER9, where it runs 1.34 instructions a byte on dense
// input under qemu-user against POWER8's 1.70. The skips load and store
// with no swap, in assembly, as the compiler has no such load for bytes on
// POWER8 little-endian: the halves come in swapped and go back as they
// came, and the test for a Q does not care.
template <bool skips>
__attribute__((always_inline))
static inline unsigned char *vsx(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __vector unsigned char q = vec_splats(static_cast<unsigned char>(0x51)), none = vec_splats(static_cast<unsigned char>(0));
	// vbpermq takes bit 8 * (15 - i) of the vector, the top of byte i, to
	// bit i of the Qs' mask.
	const __vector unsigned char tops = {120, 112, 104, 96, 88, 80, 72, 64, 56, 48, 40, 32, 24, 16, 8, 0};

	for (; end - in >= 64; in += 64) {
		if (skips) {
			__vector unsigned char v[4], isq = none;
			for (int i = 0; i < 4; i++) {
				__asm__("lxvd2x %x0, %1, %2" : "=wa"(v[i]) : "b"(in), "r"(16l * i) : "memory");
				isq = vec_or(isq, reinterpret_cast<__vector unsigned char>(vec_cmpeq(v[i], q)));
			}
			if (vec_all_eq(isq, none)) {
				for (int i = 0; i < 4; i++)
					__asm__("stxvd2x %x0, %1, %2" : : "wa"(v[i]), "b"(out), "r"(16l * i) : "memory");
				out += 64;
				continue;
			}
		}
		for (int i = 0; i < 4; i++) {
			__vector unsigned char v = vec_xl(16 * i, in);
			auto m = reinterpret_cast<__vector unsigned long long>(
				vec_vbpermq(reinterpret_cast<__vector unsigned char>(vec_cmpne(v, q)), tops));
			unsigned long keep = m[1], lo = keep & 0xff;
			__vector unsigned long long packed = {pack[lo], 0};
			__vector unsigned char s = vec_or(reinterpret_cast<__vector unsigned char>(packed),
							  vec_xl(0, &high[keep >> 8][8 - static_cast<unsigned long>(__builtin_popcountl(lo))]));

			vec_xst(vec_perm(v, v, s), 0, out);
			out += __builtin_popcountl(keep);
		}
	}
	return drop_bytes(out, in, end);
}
template <bool skips>
__attribute__((noinline))
static unsigned char *drop_vsx(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	return vsx<skips>(out, in, end);
}

#ifdef POWER9_WAY
#ifndef PPC_FEATURE2_ARCH_3_00
#define PPC_FEATURE2_ARCH_3_00 0x00800000	// as C libraries before 2.23 lack it
#endif
// g++ names a POWER as a CPU, clang as an architecture.
#ifdef __clang__
#define POWER(n) target("arch=pwr" #n)
#else
#define POWER(n) target("cpu=power" #n)
#endif
template <bool skips>
__attribute__((POWER(9), noinline))
static unsigned char *drop_power9(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	return vsx<skips>(out, in, end);
}
#endif
#endif

#ifdef POWER10_WAY
#ifndef PPC_FEATURE2_ARCH_3_1
#define PPC_FEATURE2_ARCH_3_1 0x00040000	// as C libraries before 2.32 lack it
#endif

// POWER10 compresses as AVX-512 does: xxgenpcvbm makes the permute that
// moves the bytes kept to the front from their mask (immediate 3: in
// little-endian order, for a permute that reads it so, as vec_perm does on
// ppc64el), and vcntmbb counts them, in the top byte of its register. Both
// are in assembly: clang 14 has vec_cntm only where the baseline is
// POWER10, and g++ 12's vec_genpcvm swaps the mask's halves first on
// little-endian. qemu-user gives the permutes that GCC's own test expects
// of vec_genpcvm on POWER10 hardware.
template <bool skips>
__attribute__((POWER(10), noinline))
static unsigned char *drop_power10(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	const __vector unsigned char q = vec_splats(static_cast<unsigned char>(0x51));

	for (; end - in >= 64; in += 64) {
		__vector unsigned char v[4], keep[4];
		for (int i = 0; i < 4; i++)
			keep[i] = reinterpret_cast<__vector unsigned char>(vec_cmpne(v[i] = vec_xl(16 * i, in), q));
		if (skips && vec_all_ne(vec_and(vec_and(keep[0], keep[1]), vec_and(keep[2], keep[3])), vec_splats(static_cast<unsigned char>(0)))) {
			for (int i = 0; i < 4; i++)
				vec_xst(v[i], 16 * i, out);
			out += 64;
			continue;
		}
		for (int i = 0; i < 4; i++) {
			__vector unsigned char to_front;
			unsigned long kept;

			__asm__("xxgenpcvbm %x0, %1, 3" : "=wa"(to_front) : "v"(keep[i]));
			__asm__("vcntmbb %0, %1, 1" : "=r"(kept) : "v"(keep[i]));
			vec_xst(vec_perm(v[i], v[i], to_front), 0, out);
			out += kept >> 56;
		}
	}
	return drop_bytes(out, in, end);
}
#endif

#ifdef Z13_WAY
#ifndef HWCAP_S390_VXRS
#define HWCAP_S390_VXRS HWCAP_S390_VX	// as C libraries before 2.25 call it
#endif

// z13 has no movemask or bit gather: the weights of the bytes kept in each
// 8-byte half are summed by vsumb and vsumgf, and each half is packed with
// one vperm and stored on its own, as the NEON way does. Its own count of
// bits, as popcount of a byte is several instructions there.
static constexpr std::array<unsigned char, 256> bits = [] {
	std::array<unsigned char, 256> b{};
	for (unsigned m = 0; m < b.size(); m++)
		b[m] = static_cast<unsigned char>(__builtin_popcount(m));
	return b;
}();

__attribute__((target("arch=z13"), noinline))
static unsigned char *drop_z13(unsigned char *out, const unsigned char *in, const unsigned char *end)
{
	typedef unsigned char Bytes __attribute__((vector_size(16)));
	typedef unsigned Words __attribute__((vector_size(16)));
	typedef unsigned long long Halves __attribute__((vector_size(16)));
	const Bytes weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128}, zero = {}, eight = zero + 8;
	// Their data, and memcpy as the compiler's own: std::array's members,
	// and the C library's checked memcpy, are not inlined into a function
	// built for another CPU.
	const uint64_t *packs = pack.data();
	const unsigned char *kept = bits.data();

	for (; end - in >= 16; in += 16) {
		Bytes v;
		__builtin_memcpy(&v, in, 16);
		Halves keep = __builtin_s390_vsumgf(__builtin_s390_vsumb((Bytes)(v != 0x51) & weights, zero), (Words)zero);
		Halves lo = {packs[keep[0]], 0}, hi = {packs[keep[1]], 0};
		Bytes a = __builtin_s390_vperm(v, v, (Bytes)lo), b = __builtin_s390_vperm(v, v, (Bytes)hi + eight);

		__builtin_memcpy(out, &a, 8);
		out += kept[keep[0]];
		__builtin_memcpy(out, &b, 8);
		out += kept[keep[1]];
	}
	return drop_bytes(out, in, end);
}
#endif

// The ways that this build has, fastest first, each by the name that the
// tests, the bench and the docs know it by, with the test of whether this
// CPU can run it. A new way is a section above and a row here.
static const struct Way {
	const char *name;
	Drop *drop;
	bool (*can)();
} ways[] = {
#ifdef X86_WAYS
	{"avx512", drop_avx512,
	 [] { return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt"); }},
	{"avx2", by_density<drop_avx2<true>, drop_avx2<false>, 128>, [] { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt"); }},
	{"ssse3", by_density<drop_ssse3<true>, drop_ssse3<false>, 128>, [] { return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt"); }},
#endif
#ifdef NEON_WAY
	{"neon", by_density<drop_neon<true>, drop_neon<false>, 128>, can_neon},
#endif
#ifdef RVV_WAY
	{"rvv", drop_rvv, [] { return (getauxval(AT_HWCAP) & 1ul << ('V' - 'A')) != 0; }},
#endif
#ifdef POWER10_WAY
	{"power10", by_density<drop_power10<true>, drop_power10<false>, 128>, [] { return (getauxval(AT_HWCAP2) & PPC_FEATURE2_ARCH_3_1) != 0; }},
#endif
#ifdef POWER9_WAY
	{"power9", by_density<drop_power9<true>, drop_power9<false>, 128>, [] { return (getauxval(AT_HWCAP2) & PPC_FEATURE2_ARCH_3_00) != 0; }},
#endif
#ifdef VSX_WAY
	{"vsx", by_density<drop_vsx<true>, drop_vsx<false>, 128>, always},
#endif
#ifdef Z13_WAY
	{"z13", sparse<drop_z13>, [] { return (getauxval(AT_HWCAP) & HWCAP_S390_VXRS) != 0; }},
#endif
	{"portable", skims ? skimmed : sparse<drop_portable>, always},
	{"bytes", drop_bytes, always},
};

// fastest returns the first way in the table that this CPU can run.
static Drop *fastest()
{
	for (const Way &w : ways)
		if (w.can())
			return w.drop;
	return drop_bytes;
}
