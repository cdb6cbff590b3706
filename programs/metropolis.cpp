// Metropolis estimate of <128 x^3 y^2 z> under the weight
// exp(-(x^2 + y^2 + z^2)) on the unit cube: one value of the observable after
// every sweep of 1000 updates. "tmetropolis5.dat" holds the sample count, the
// running mean and the chain's y coordinate, which traces the chain.
#include <cstdint>

#include "metropolis.hpp"
#include "point3.hpp"
#include "random.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(const Point3& p) { return moment_observable(p); }

}  // namespace

int main()
{
    constexpr const char* program = "metropolis";
    constexpr std::int64_t Nstep = 1000;
    constexpr std::int64_t samples_end = 100000;
    guard_standard_streams();

    // The initial point is drawn before the file is opened; it also seeds
    // the stream that the sweeps then draw from in bulk.
    Point3 current;
    draw_point(current);
    TableWriter table(program, "tmetropolis5.dat");
    FastSweeper sampler;
    double sum = 0.0;
    for (std::int64_t i = 1; i < samples_end; ++i) {
        sampler.sweep(current, Nstep, random_stream());
        sum = sum + f(current);
        table.write("%i\t%f\t%f\n", static_cast<int>(i), sum / static_cast<double>(i), current.y);
    }
    table.close();
    finish_standard_output(program);
    return 0;
}
