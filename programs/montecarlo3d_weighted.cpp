// Uniform Monte Carlo estimate of the weighted observable
// exp(-(x^2 + y^2 + z^2)) 128 x^3 y^2 z / 0.416538 over the unit cube, the
// expectation the Metropolis programs sample: "tmontecarlo3D2.dat" holds the
// sample count and the running mean after every sample.
#include "point3.hpp"
#include "program_options.hpp"
#include "random.hpp"
#include "running_mean.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(const Point3& p) { return weighted_moment(p); }

}  // namespace

int main(int argc, char** argv)
{
    const Experiment& experiment = find_experiment("montecarlo3d_weighted");
    guard_standard_streams();
    const ProgramOptions options =
        parse_program_options(experiment,
                              "Uniform Monte Carlo estimate of the integral of "
                              "exp(-(x^2 + y^2 + z^2)) 128 x^3 y^2 z / 0.416538 over the unit cube.",
                              argc, argv);
    TableWriter table = open_table(experiment, options);
    start_random_stream(options.seed);
    write_running_means(table, 1, options.rows + 1, [] {
        Point3 p;
        draw_point(p);
        return f(p);
    });
    table.close();
    finish_standard_output(experiment.name.c_str());
    return 0;
}
