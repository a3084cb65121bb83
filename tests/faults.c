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
 *   FAULTS="fail r|w|p N ERRNO [SEED PERCENT]"
 *                             the Nth read (r), write (w) or poll (p) and
 *                             every one after it fail with ERRNO; the others
 *                             as SEED and PERCENT say, if given.
 *
 * With FAULTS_COUNT=FILE it adds lines to FILE as the program exits, each a
 * call, a name and a number: "r calls 12" for how many reads it made, then
 * "r EINTR 3" and so on for how many it made fail with each fault that the
 * call can have (polls are neither refused nor cut short, only interrupted),
 * and "r failed 1" for how many failed for good.
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
#include <string.h>
#include <unistd.h>

static unsigned long long seed;
static unsigned percent;
static char fail_call;	/* 'r', 'w' or 'p' */
static long fail_at;
static int fail_errno;
static const char kinds[] = "rwp";
static long calls[3], failed[3], faults[3][3];	/* by call; by call and fault: EINTR, EAGAIN, cut short */

__attribute__((constructor)) static void setup(void)
{
	const char *f = getenv("FAULTS");

	if (f && sscanf(f, "fail %c %ld %d %llu %u", &fail_call, &fail_at, &fail_errno, &seed, &percent) < 3)
		sscanf(f, "%llu %u", &seed, &percent);
}

__attribute__((destructor)) static void count(void)
{
	static const char *const names[3] = {"EINTR", "EAGAIN", "short"};
	const char *name = getenv("FAULTS_COUNT");
	FILE *f = name ? fopen(name, "a") : NULL;
	int c, k;

	if (!f)
		return;
	for (c = 0; c < 3; c++) {
		fprintf(f, "%c calls %ld\n", kinds[c], calls[c]);
		for (k = 0; k < (kinds[c] == 'p' ? 1 : 3); k++)
			fprintf(f, "%c %s %ld\n", kinds[c], names[k], faults[c][k]);
		fprintf(f, "%c failed %ld\n", kinds[c], failed[c]);
	}
	fclose(f);
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
	int c = (int)(strchr(kinds, call) - kinds), e;

	if (fd != 0 && fd != 1)
		return 0;
	if (++calls[c] >= fail_at && call == fail_call) {
		failed[c]++;
		return fail_errno;
	}
	if (percent == 0 || next() % 100 >= percent)
		return 0;
	switch (next() % 3) {
	case 0:
		e = EINTR;
		break;
	case 1:
		e = call == 'p' ? EINTR : EAGAIN;
		break;
	default:
		e = call == 'p' ? 0 : -1;
	}
	if (e != 0)
		faults[c][e == EINTR ? 0 : e == EAGAIN ? 1 : 2]++;
	return e;
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
