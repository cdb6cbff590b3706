// The straightforward program, for the whole-program benchmark.
#include <cmath>

#include "plain_random.hpp"

static double f(const Point3& p)
{
    const double e = exp(-((p.x * p.x + p.y * p.y) + p.z * p.z));
    return e * 128.0 * p.x * p.x * p.x * p.y * p.y * p.z / 0.416538;
}

int main()
{
    FILE* out = fopen("tmontecarlo3D2.dat", "w");
    double sum = 0.0;
    Point3 p;
    for (long long i = 1; i < 100000; i++) {
        draw_point(p);
        sum = sum + f(p);
        fprintf(out, "%i\t%f\n", static_cast<int>(i), sum / static_cast<double>(i));
    }
    fclose(out);
    return 0;
}
