// The filter with one way to drop Qs forced, WAY, whatever the CPU offers:
// for measuring the ways that the CPU running the benchmark would not pick.
// WAY=discard keeps no byte: the bare loop that reads each block and writes
// nothing, the floor under every way.
#define main oddrane_main
#include "../byte_filter/Oddrane.cpp"
#undef main

[[maybe_unused]] static unsigned char *discard(unsigned char *out, const unsigned char *, const unsigned char *)
{
	return out;
}

int main()
{
	return copy(WAY);
}
