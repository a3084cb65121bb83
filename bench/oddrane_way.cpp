// The filter with one way to drop Qs forced, WAY, whatever the CPU offers:
// for measuring the ways that the CPU running the benchmark would not pick.
#define main oddrane_main
#include "../byte_filter/Oddrane.cpp"
#undef main

int main()
{
	return copy(WAY);
}
