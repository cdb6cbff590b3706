// The rectangle, trapezoid and Simpson-weighted rules for the integral of
// sin(pi x) over [0, 1] at n = 2, 4, ..., 8192 intervals, one row per n on
// standard output: n, then the three estimates. Row k is for 2^k intervals.
#include <cstdint>

#include "program_options.hpp"
#include "quadrature.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(double x) { return sine_pi(x); }

}  // namespace

int main(int argc, char** argv)
{
    const Experiment& experiment = find_experiment("quadrature");
    constexpr double a = 0.0;
    constexpr double b = 1.0;
    guard_standard_streams();
    const ProgramOptions options = parse_program_options(
        experiment,
        "The rectangle, trapezoid and Simpson-weighted rules for the integral of sin(pi x) over [0, 1]; "
        "row k is for 2^k intervals.",
        argc, argv);
    const std::int64_t last = std::int64_t{1} << options.rows;
    TableWriter table = open_table(experiment, options);
    for (std::int64_t n = 2; n <= last; n = n * 2) {
        const ThreeRules estimates = three_rules(f, a, b, n);
        table.row(static_cast<int>(n), estimates.rectangle, estimates.trapezoid, estimates.simpson_weighted);
    }
    table.close();
    return 0;
}
