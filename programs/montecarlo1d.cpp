// Uniform Monte Carlo estimate of the integral of sin(pi x) over [0, 1]
// (exact value 2/pi): "tmontecarlo.dat" holds the counter and the running
// mean after every sample. The counter starts at 2 and is the divisor.
#include "program_options.hpp"
#include "random.hpp"
#include "running_mean.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(double x) { return sine_pi(x); }

}  // namespace

int main(int argc, char** argv)
{
    const Experiment& experiment = find_experiment("montecarlo1d");
    guard_standard_streams();
    const ProgramOptions options = parse_program_options(
        experiment, "Uniform Monte Carlo estimate of the integral of sin(pi x) over [0, 1].", argc, argv);
    TableWriter table = open_table(experiment, options);
    start_random_stream(options.seed);
    write_running_means(table, 2, options.rows + 2, [] { return f(static_cast<double>(Random(0))); });
    table.close();
    finish_standard_output(experiment.name.c_str());
    return 0;
}
