// Uniform Monte Carlo estimate of the integral of sin(pi x) over [0, 1]
// (exact value 2/pi): "tmontecarlo.dat" holds the counter and the running
// mean after every sample. The counter starts at 2 and is the divisor.
#include "random.hpp"
#include "running_mean.hpp"
#include "table_writer.hpp"
#include "test_functions.hpp"

namespace {

double f(double x) { return sine_pi(x); }

}  // namespace

int main()
{
    constexpr const char* program = "montecarlo1d";
    guard_standard_streams();
    TableWriter table(program, "tmontecarlo.dat");
    write_running_means(table, 2, 10000, [] { return f(static_cast<double>(Random(0))); });
    table.close();
    finish_standard_output(program);
    return 0;
}
