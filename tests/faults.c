/*
 * A fault injector for the end-to-end tests, loaded into the program under
 * test with LD_PRELOAD. It stands between the program and the C library's
 * read, write and poll on descriptors 0 and 1, as FAULTS says:
 *
 *   FAULTS="SEED PERCENT"     that share of the calls, chosen by SEED alone,
 *                             fails with EINTR or EAGAIN, or, for a read or
 *                             write, moves fewer bytes than asked, but at
 *                             least one: what signals, non-blocking
 *                             descriptors and pipes do in life;
 *   FAULTS="fail r|w N ERRNO" the Nth read (r) or write (w) and every one
 *                             after it fail with ERRNO.
 *
 * With FAULTS_COUNT=FILE it writes the number of reads and writes there as
 * the program exits.
 */
#define _GNU_SOURCE
/* It defines read and write itself: the C library's checked inline
 * versions of them, which a builder's flags may ask for, must stay out. */
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static unsigned long long seed;
static unsigned percent;
static char fail_call;	/* 'r' or 'w' */
static long fail_at, calls[2];	/* reads, writes */
static int fail_errno;

__attribute__((constructor)) static void setup(void)
{
	const char *f = getenv("FAULTS");

	if (f && sscanf(f, "fail %c %ld %d", &fail_call, &fail_at, &fail_errno) != 3)
		sscanf(f, "%llu %u", &seed, &percent);
}

__attribute__((destructor)) static void count(void)
{
	const char *name = getenv("FAULTS_COUNT");
	FILE *f = name ? fopen(name, "w") : NULL;

	if (f) {
		fprintf(f, "%ld %ld\n", calls[0], calls[1]);
		fclose(f);
	}
}

/* next returns the next number of a xorshift64* sequence. */
static unsigned long long next(void)
{
	seed ^= seed >> 12;
	seed ^= seed << 25;
	seed ^= seed >> 27;
	return (seed * 2685821657736338717ULL) >> 16;
}

/*
 * fault tells what becomes of a call ('r', 'w' or 'p') on fd: the errno it
 * fails with, 0 if it goes through, or -1 if it is cut short.
 */
static int fault(int fd, char call)
{
	if (fd != 0 && fd != 1)
		return 0;
	if (call != 'p' && ++calls[call == 'w'] >= fail_at && call == fail_call)
		return fail_errno;
	if (percent == 0 || next() % 100 >= percent)
		return 0;
	switch (next() % 3) {
	case 0:
		return EINTR;
	case 1:
		return call == 'p' ? EINTR : EAGAIN;
	default:
		return call == 'p' ? 0 : -1;
	}
}

/* shorter returns how many of n bytes a call cut short moves. */
static size_t shorter(size_t n)
{
	return n > 1 ? 1 + (size_t)(next() % (n - 1)) : n;
}

ssize_t read(int fd, void *buf, size_t n)
{
	static ssize_t (*real)(int, void *, size_t);
	int e = fault(fd, 'r');

	if (!real)
		*(void **)&real = dlsym(RTLD_NEXT, "read");
	if (e > 0) {
		errno = e;
		return -1;
	}
	return real(fd, buf, e < 0 ? shorter(n) : n);
}

ssize_t write(int fd, const void *buf, size_t n)
{
	static ssize_t (*real)(int, const void *, size_t);
	int e = fault(fd, 'w');

	if (!real)
		*(void **)&real = dlsym(RTLD_NEXT, "write");
	if (e > 0) {
		errno = e;
		return -1;
	}
	return real(fd, buf, e < 0 ? shorter(n) : n);
}

/*
 * A program built with the C library's checked functions (_FORTIFY_SOURCE)
 * calls these in place of read and poll, with the size of the buffer that
 * it reads into, or of its array; they fail as the C library's own do.
 */
ssize_t __read_chk(int fd, void *buf, size_t n, size_t size)
{
	if (n > size)
		abort();
	return read(fd, buf, n);
}

int __poll_chk(struct pollfd *fds, nfds_t n, int timeout, size_t size)
{
	if (n > size / sizeof *fds)
		abort();
	return poll(fds, n, timeout);
}

/* The C library declares the array write-only, which it is not. */
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
int poll(struct pollfd *fds, nfds_t n, int timeout)
{
	static int (*real)(struct pollfd *, nfds_t, int);
	int e = n == 1 ? fault(fds[0].fd, 'p') : 0;

	if (!real)
		*(void **)&real = dlsym(RTLD_NEXT, "poll");
	if (e > 0) {
		errno = e;
		return -1;
	}
	return real(fds, n, timeout);
}
