// Velquist: e^x by its series, summed in single precision.
//
// Each pass prompts, reads x and eps, and prints the sum 1 + x + x^2/2! + ...
// up to and including the first term that is not greater than eps.
// A zero for either number stops with status 0; a number out of range, a NaN,
// input that is not two numbers, or output that cannot be written stops with
// status 1.

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
#error "Velquist needs float expressions evaluated in float (FLT_EVAL_METHOD 0)"
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

// The prompt must show before the program waits for input, on a terminal,
// pipe or socket alike, yet flushing it before every read made a batch of
// pairs from a file 1.7 times slower. So standard output is flushed exactly
// when a read of standard input would wait: the pairs are read through a
// stream whose every refill first asks poll(2) whether input is there.
#ifdef HAVE_FOPENCOOKIE
static ssize_t refill(void *, char *buf, size_t size)
{
	struct pollfd p = {0, POLLIN, 0};
	ssize_t n;

	if (poll(&p, 1, 0) != 1 && fflush(stdout) == EOF)
		return -1;
	while ((n = read(0, buf, size)) < 0 && errno == EINTR)
		;
	return n;
}

static FILE *input()
{
	return fopencookie(nullptr, "r", cookie_io_functions_t{refill, nullptr, nullptr, nullptr});
}
#else
static FILE *input()
{
	return nullptr;
}
#endif

int main()
{
	FILE *in = input();
	float x, eps;
	struct stat st;

	// Without that stream, every prompt is flushed unless standard input
	// is a regular file, where a read never waits.
	bool flush = !in && (fstat(0, &st) != 0 || !S_ISREG(st.st_mode));
	if (!in)
		in = stdin;
	for (;;) {
		printf("Enter x and eps, separate by a blank ");
		if ((flush && fflush(stdout) == EOF) || ferror(stdout))
			return 1;
		if (fscanf(in, "%f%f", &x, &eps) != 2)
			return 1;
		if (!(x >= 0 && x < 1 && eps >= 0))	// false for a NaN too
			return 1;
		if (x == 0 || eps == 0) {
			// A careful stop: output that fails only as it is
			// flushed or closed is a failure too.
			bool failed = ferror(stdout);
			return fclose(stdout) == EOF || failed;
		}
		printf("The result value: %f \n", static_cast<double>(Exponent(x, eps)));
	}
}
