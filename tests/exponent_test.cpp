// The series sum, checked to the bit: six printed decimals cannot tell one
// unit in the last place from another.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

#define main velquist_main
#include "../series_calculator/Velquist.cpp"
#undef main

static uint32_t bits(float f)
{
	uint32_t u;
	std::memcpy(&u, &f, sizeof u);
	return u;
}

int main()
{
	const float nan = std::numeric_limits<float>::quiet_NaN();
	const float inf = std::numeric_limits<float>::infinity();
	const float below1 = std::nextafter(1.0f, 0.0f);		// 0.99999994
	const float tiniest = std::numeric_limits<float>::denorm_min();	// 2^-149
	const struct {
		float x, eps;
		uint32_t want;
	} cases[] = {
		{0.5f, 0.001f, 0x3fd30889},	// five terms, 1.648698
		{0.5f, 0.0625f, 0x3fd2aaab},	// three terms, 1.645833
		{0.5f, 0.5f, 0x3fc00000},	// 1.5: the test 0.5 > 0.5 fails
		{0.1f, 0.0001f, 0x3f8d763d},	// 1.105171
		{0.99f, 1.0f, 0x3f800000},	// eps >= 1: no term added
		{0.5f, inf, 0x3f800000},
		{0.5f, nan, 0x3f800000},	// the first test is false
		{1e-30f, 1e-30f, 0x3f800000},	// the term vanishes in the sum
		{below1, tiniest, 0x402df855},	// the longest series, 38 terms
		{nan, 0.001f, bits(nan)},
		{-0.5f, 0.001f, 0x3f000000},	// a negative term ends the loop
	};
	int failed = 0;

	for (const auto &t : cases) {
		uint32_t got = bits(Exponent(t.x, t.eps));
		if (got != t.want) {
			std::printf("Exponent(%a, %a) = %#010x, want %#010x\n",
				    static_cast<double>(t.x), static_cast<double>(t.eps), got, t.want);
			failed++;
		}
	}
	std::printf("%d passed, %d failed\n", int(std::size(cases)) - failed, failed);
	return failed != 0;
}
