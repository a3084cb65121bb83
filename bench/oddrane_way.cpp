// The filter with the way named WAY forced, whatever the CPU offers: for
// measuring the ways that the CPU running the benchmark would not pick.
// With no WAY it keeps no byte: the bare loop that reads each block and
// writes nothing, the floor under every way.
#define main oddrane_main
#include "../byte_filter/Oddrane.cpp"
#undef main

int main()
{
#ifdef WAY
	for (const Way &w : ways)
		if (std::strcmp(w.name, WAY) == 0)
			return copy(w.drop);
	return 2;	// this build has no such way
#else
	return copy([](unsigned char *out, const unsigned char *, const unsigned char *) { return out; });
#endif
}
