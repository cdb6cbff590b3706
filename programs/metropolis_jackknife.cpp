// The Metropolis estimate of the metropolis program with a ten-block
// jackknife error over all values taken so far: "tmjack.dat" holds the
// sample count, the running mean and the error. Row 1's error is
// not-a-number (its last block is empty).
#include <cstdint>
#include <span>
#include <vector>

#include "jackknife.hpp"
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
    const Experiment& experiment = find_experiment("metropolis_jackknife");
    guard_standard_streams();
    const ProgramOptions options = parse_program_options(
        experiment, "The Metropolis estimate of <128 x^3 y^2 z> with a ten-block jackknife error.", argc, argv);
    // The capacity of the sample list and the bound of the counter; the
    // list's positions are 32-bit, which the largest row count respects.
    const auto n = static_cast<std::int32_t>(options.rows + 1);
    const std::int64_t Nstep = options.updates_per_sample;

    std::vector<double> values(static_cast<std::size_t>(n));
    // prefix[k]: the running sum of the first k values, from 0.
    std::vector<double> prefix(static_cast<std::size_t>(n) + 1);
    Point3 current;
    start_random_stream(options.seed);
    draw_point(current);
    TableWriter table = open_table(experiment, options);
    FastSweeper sampler;
    JackknifeRows jackknife;
    double sum = 0.0;
    for (std::int64_t i = 1; i < n; ++i) {
        sampler.sweep(current, Nstep, random_stream());
        const double v = f(current);
        values[static_cast<std::size_t>(i - 1)] = v;
        sum = sum + v;
        prefix[static_cast<std::size_t>(i)] = sum;
        const double mean = sum / static_cast<double>(i);
        const auto count = static_cast<std::size_t>(i);
        const double error =
            jackknife.error(std::span(values).first(count), std::span(prefix).first(count + 1), mean);
        table.row(static_cast<int>(i), mean, error);
    }
    table.close();
    finish_standard_output(experiment.name.c_str());
    return 0;
}
