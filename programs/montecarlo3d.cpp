// Uniform Monte Carlo estimate of the integral of 3x^2 y + 2z^3 over the unit
// cube (exact value 1): "tmontecarlo3D.dat" holds the sample count and the
// running mean after every sample.
#include "point3.hpp"
#include "random.hpp"
#include "running_mean.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(const Point3& p) { return cubic_polynomial(p); }

}  // namespace

int main()
{
    constexpr const char* program = "montecarlo3d";
    guard_standard_streams();
    TableWriter table(program, "tmontecarlo3D.dat");
    write_running_means(table, 1, 100000, [] {
        Point3 p;
        draw_point(p);
        return f(p);
    });
    table.close();
    finish_standard_output(program);
    return 0;
}
