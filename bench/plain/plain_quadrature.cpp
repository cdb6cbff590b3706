// The straightforward program, for the whole-program benchmark.
#include <cmath>
#include <cstdio>

static double f(double x) { return sin(3.14159265359 * x); }

int main()
{
    const double a = 0.0;
    const double b = 1.0;
    for (long long n = 2; n < 10000; n = n * 2) {
        double rectangle = 0.0;
        for (long long i = 0; i < n - 1; i++) {
            rectangle = rectangle + f(a + ((b - a) * static_cast<double>(i)) / static_cast<double>(n));
        }
        double trapezoid = 0.0;
        for (long long i = 0; i < n - 1; i++) {
            const double x = a + ((b - a) * static_cast<double>(i)) / static_cast<double>(n);
            const double h = (b - a) / static_cast<double>(n);
            trapezoid = trapezoid + (f(x) + f(x + h)) / 2.0;
        }
        double simpson = 0.0;
        for (long long i = 0; i < n - 2; i++) {
            const double x = a + ((b - a) * static_cast<double>(i)) / static_cast<double>(n);
            const double h = (b - a) / static_cast<double>(n);
            simpson = simpson + (f(x) + 4.0 * f(x + h) + f((x + h) + h)) / 6.0;
        }
        printf("%i\t%f\t%f\t%f\n", static_cast<int>(n), rectangle * (b - a) / static_cast<double>(n),
               trapezoid * (b - a) / static_cast<double>(n), simpson * (b - a) / static_cast<double>(n));
    }
    return 0;
}
