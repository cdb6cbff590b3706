// A Metropolis chain grown by one point per row, with a 100-fold bootstrap
// interval of its mean: "tmerror2.dat" holds the chain length N, the mean of
// the observable over the chain, and the 17th and 85th smallest of the 100
// resample means.
#include <algorithm>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "bootstrap.hpp"
#include "point3.hpp"
#include "program_options.hpp"
#include "random.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

// The experiment's constants. N is first the capacity of the chain, then the
// chain length of the current row. D is the dimension of the points, kept
// for the record; nothing reads it. --rows and --updates-per-sample set the
// capacity (for a table longer than 8192 rows) and Nstep.
std::int64_t D = 3;
std::int64_t N = 8192;
std::int64_t M = 100;
std::int64_t Nstep = 1000;

namespace {

double f(const Point3& p) { return moment_observable(p); }

}  // namespace

int main(int argc, char** argv)
{
    const Experiment& experiment = find_experiment("metropolis_bootstrap");
    guard_standard_streams();
    const ProgramOptions options = parse_program_options(
        experiment, "A Metropolis chain grown by one point per row, with a 100-fold bootstrap interval of its mean.",
        argc, argv);
    const std::int64_t rows_end = options.rows + 1;
    N = std::max(N, options.rows);
    Nstep = options.updates_per_sample;

    // Only the observable at each chain point is kept.
    std::vector<double> values(static_cast<std::size_t>(N));
    std::vector<BootstrapInterval> intervals(static_cast<std::size_t>(rows_end - 1));
    TableWriter table = open_table(experiment, options);

    // The chain first, jumping over the rows' resample draws; then the rows,
    // on all cores, each from its own place in the stream (a row's draws and
    // the next point's sweep of 4 Nstep draws between them); the stream is
    // left after the last row's draws, as drawing them in turn would.
    Point3 point;
    start_random_stream(options.seed);
    draw_point(point);
    const UniformGenerator rows_start = random_stream();
    grow_bootstrap_chain(point, Nstep, M, std::span(values).first(intervals.size()), random_stream(), f);
    bootstrap_intervals(values, rows_start, 1, M, 4 * Nstep, intervals, std::thread::hardware_concurrency());
    StreamJump(static_cast<std::uint64_t>((rows_end - 1) * M)).apply(random_stream());

    // The chain mean re-sums the values from 0 in every row; a running sum
    // makes the same additions in the same order.
    double sum = 0.0;
    for (N = 1; N < rows_end; N = N + 1) {
        sum = sum + values[static_cast<std::size_t>(N - 1)];
        const BootstrapInterval& interval = intervals[static_cast<std::size_t>(N - 1)];
        table.row(static_cast<int>(N), sum / static_cast<double>(N), interval.lower, interval.upper);
    }
    table.close();
    finish_standard_output(experiment.name.c_str());
    return 0;
}
