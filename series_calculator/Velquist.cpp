// Velquist: e^x by its series, summed in single precision.
//
// Each pass prompts, reads x and eps, and prints the sum 1 + x + x^2/2! + ...
// up to and including the first term that is not greater than eps.
// A pair in range with a zero in it stops with status 0; a number out of
// range, a NaN, input that is not two numbers, the end of input, or output
// that cannot be written stops with status 1.

#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <limits>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

// The last bits of every sum depend on each step being one binary32 operation,
// rounded to nearest, in the order written: nothing evaluated wider, nothing
// reassociated, no multiply fused with an add (the build passes
// -ffp-contract=off).
#if defined(__FAST_MATH__) || (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "Velquist needs exact IEEE arithmetic: build it without -ffast-math"
#endif
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "Velquist needs float expressions evaluated in float (FLT_EVAL_METHOD 0): on 32-bit x86 pass -msse2 -mfpmath=sse"
#endif
static_assert(std::numeric_limits<float>::is_iec559, "float must be IEEE 754 binary32");

// Exponent sums the series for e^x, deriving each term from the one before
// as term * (x / n), until a term is no longer greater than eps; that last
// term is already in the sum. For 0 <= x < 1 the terms shrink to zero at the
// latest, so the loop ends, after at most 38 terms.
float Exponent(float x, float eps)
{
	float sum = 1, term = 1;

	for (int n = 1; term > eps; n++) {
		term *= x / static_cast<float>(n);
		sum += term;
	}
	return sum;
}

// Standard output, or a stream on the same descriptor that waits where a
// write would block; lost tells that a write to it has failed. The C
// libraries disagree on how a stream's own write function reports an error
// (glibc takes a short count, musl only a negative one, on which glibc may
// crash), so main asks lost itself rather than trust ferror alone.
static FILE *out;
static bool lost;

// The prompt must show before the program waits for input, on a terminal,
// pipe or socket alike, yet flushing it before every read made a batch of
// pairs from a file 1.7 times slower. So output is flushed exactly when a
// read of standard input would wait: the pairs are read through a stream
// whose every refill first asks poll(2) whether input is there.
//
// A parent may also hand over non-blocking descriptors, as event loops do:
// the streams then wait in poll(2) until they can read or write, where the
// C library's own would fail and lose the user's work.
#ifdef HAVE_FOPENCOOKIE
// again tells whether a read or write that returned r on fd should be tried
// again: it was interrupted, or fd is non-blocking and was not ready for
// events, and now is.
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

static ssize_t refill(void *, char *buf, size_t size)
{
	struct pollfd p = {0, POLLIN, 0};
	ssize_t n;

	if (poll(&p, 1, 0) != 1 && fflush(out) == EOF)
		return -1;
	while (again(n = read(0, buf, size), 0, POLLIN))
		;
	return n;
}

// drain writes the size bytes at buf to standard output and returns how many
// it wrote: fewer only on an error, which sets lost. After an error it writes
// nothing more, not even at exit, so that no byte follows a gap where others
// were lost.
static ssize_t drain(void *, const char *buf, size_t size)
{
	size_t done = 0;
	ssize_t n;

	while (!lost && done < size)
		if ((n = write(1, buf + done, size - done)) > 0)
			done += static_cast<size_t>(n);
		else
			lost = !again(n, 1, POLLOUT);
	return static_cast<ssize_t>(done);
}

static int shut(void *)
{
	return close(1);
}

// input and output give those streams, or, where they cannot be had, the
// standard ones.
static FILE *input()
{
	FILE *f = fopencookie(nullptr, "r", cookie_io_functions_t{refill, nullptr, nullptr, nullptr});
	return f ? f : stdin;
}

static FILE *output()
{
	FILE *f = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, drain, nullptr, shut});
	return f ? f : stdout;
}
#else
static FILE *input()
{
	return stdin;
}

static FILE *output()
{
	return stdout;
}
#endif

int main()
{
	FILE *in = input();
	float x, eps;
	struct stat st;

	// Without the polling stream, every prompt is flushed unless standard
	// input is a regular file, where a read never waits.
	bool flush = in == stdin && (fstat(0, &st) != 0 || !S_ISREG(st.st_mode));

	out = output();
	for (;;) {
		fprintf(out, "Enter x and eps, separate by a blank ");
		if ((flush && fflush(out) == EOF) || ferror(out) || lost)
			return 1;
		if (fscanf(in, "%f%f", &x, &eps) != 2)
			return 1;
		if (!(x >= 0 && x < 1 && eps >= 0))	// false for a NaN too
			return 1;
		if (x == 0 || eps == 0) {
			// A careful stop: output that fails only as it is
			// flushed or closed is a failure too.
			bool failed = ferror(out);
			return fclose(out) == EOF || failed || lost;
		}
		fprintf(out, "The result value: %f \n", static_cast<double>(Exponent(x, eps)));
	}
}
