// A Metropolis chain grown by one point per row, with a 100-fold bootstrap
// interval of its mean: "tmerror2.dat" holds the chain length N, the mean of
// the observable over the chain, and the 17th and 85th smallest of the 100
// resample means.
#include <cstdint>
#include <span>
#include <vector>

#include "bootstrap.hpp"
#include "metropolis.hpp"
#include "point3.hpp"
#include "random.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

// The experiment's constants. N is first the capacity of the chain, then the
// chain length of the current row. D is the dimension
// of the points, kept for the record; nothing reads it.
std::int64_t D = 3;
std::int64_t N = 8192;
std::int64_t M = 100;
std::int64_t Nstep = 1000;

namespace {

double f(const Point3& p) { return moment_observable(p); }

}  // namespace

int main()
{
    constexpr const char* program = "metropolis_bootstrap";
    constexpr std::int64_t rows_end = 8000;
    guard_standard_streams();

    // Only the observable at each chain point is kept, and the newest point.
    std::vector<double> values(static_cast<std::size_t>(N));
    std::vector<double> means(static_cast<std::size_t>(M));
    TableWriter table(program, "tmerror2.dat");

    Point3 point;
    draw_point(point);
    values[0] = f(point);
    FastSweeper sampler;
    std::int64_t L = 1;
    // The chain mean re-sums the values from 0 in every row; a running sum
    // makes the same additions in the same order.
    double sum = 0.0;
    for (N = 1; N < rows_end; N = N + 1) {
        while (L < N) {
            sampler.sweep(point, Nstep, random_stream());
            values[static_cast<std::size_t>(L)] = f(point);
            L = L + 1;
        }
        sum = sum + values[static_cast<std::size_t>(N - 1)];
        table.write("%i\t%f\t", static_cast<int>(N), sum / static_cast<double>(N));
        const BootstrapInterval interval = bootstrap_interval_drawn(
            std::span(values).first(static_cast<std::size_t>(N)), means, random_stream());
        table.write("%f\t%f\n", interval.lower, interval.upper);
    }
    table.close();
    finish_standard_output(program);
    return 0;
}
