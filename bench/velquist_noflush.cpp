// The calculator's loop as it would be without any flushing of the prompt:
// the yardstick for the time a batch of pairs takes.
#define main velquist_main
#include "../series_calculator/Velquist.cpp"
#undef main

int main()
{
	float x, eps;

	for (;;) {
		printf("Enter x and eps, separate by a blank ");
		if (scanf("%f%f", &x, &eps) != 2 || !(x >= 0 && x < 1 && eps >= 0))
			return 1;
		if (x == 0 || eps == 0)
			return 0;
		printf("The result value: %f \n", static_cast<double>(Exponent(x, eps)));
	}
}
