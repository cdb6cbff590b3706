// Metropolis estimate of <128 x^3 y^2 z> under the weight
// exp(-(x^2 + y^2 + z^2)) on the unit cube: one value of the observable after
// every sweep of 1000 updates (or --updates-per-sample). "tmetropolis5.dat"
// holds the sample count, the running mean and the chain's y coordinate,
// which traces the chain.
#include <cstdint>

#include "metropolis.hpp"
#include "point3.hpp"
#include "program_options.hpp"
#include "random.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(const Point3& p) { return moment_observable(p); }

}  // namespace

int main(int argc, char** argv)
{
    const Experiment& experiment = find_experiment("metropolis");
    guard_standard_streams();
    const ProgramOptions options = parse_program_options(
        experiment, "Metropolis estimate of <128 x^3 y^2 z> under the weight exp(-(x^2 + y^2 + z^2)) on the unit cube.",
        argc, argv);
    const std::int64_t Nstep = options.updates_per_sample;
    const std::int64_t samples_end = options.rows + 1;

    // The initial point is drawn before the file is opened; the sweeps then
    // draw from the same stream in bulk.
    Point3 current;
    start_random_stream(options.seed);
    draw_point(current);
    TableWriter table = open_table(experiment, options);
    FastSweeper sampler;
    double sum = 0.0;
    for (std::int64_t i = 1; i < samples_end; ++i) {
        sampler.sweep(current, Nstep, random_stream());
        sum = sum + f(current);
        table.row(static_cast<int>(i), sum / static_cast<double>(i), current.y);
    }
    table.close();
    finish_standard_output(experiment.name.c_str());
    return 0;
}
