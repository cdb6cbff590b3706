// The straightforward program, for the whole-program benchmark.
#include "plain_random.hpp"

static double f(const Point3& p) { return ((3.0 * p.x) * p.x) * p.y + ((2.0 * p.z) * p.z) * p.z; }

int main()
{
    FILE* out = fopen("tmontecarlo3D.dat", "w");
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
