// The rectangle, trapezoid and Simpson-weighted rules for the integral of
// sin(pi x) over [0, 1] at n = 2, 4, ..., 8192 intervals, one row per n on
// standard output: n, then the three estimates.
#include <cstdint>

#include "quadrature.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(double x) { return sine_pi(x); }

}  // namespace

int main()
{
    constexpr const char* program = "quadrature";
    constexpr double a = 0.0;
    constexpr double b = 1.0;
    guard_standard_streams();
    TableWriter table = TableWriter::standard_output(program);
    for (std::int64_t n = 2; n < 10000; n = n * 2) {
        table.write("%i\t%f\t%f\t%f\n", static_cast<int>(n), rectangle_rule(f, a, b, n), trapezoid_rule(f, a, b, n),
                    simpson_weighted_rule(f, a, b, n));
    }
    table.close();
    return 0;
}
