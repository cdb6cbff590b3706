// The straightforward program, for the whole-program benchmark.
#include <cmath>

#include "plain_random.hpp"

static double f(double x) { return sin(3.14159265359 * x); }

int main()
{
    FILE* out = fopen("tmontecarlo.dat", "w");
    double sum = 0.0;
    for (long long i = 2; i < 10000; i++) {
        sum = sum + f(static_cast<double>(Random(0)));
        fprintf(out, "%i\t%f\n", static_cast<int>(i), sum / static_cast<double>(i));
    }
    fclose(out);
    return 0;
}
