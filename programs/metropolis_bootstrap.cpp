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

// The experiment's constants. N is first the capacity of the chain and of the
// index table, then the chain length of the current row. D is the dimension
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

    const auto capacity = static_cast<std::size_t>(N);
    std::vector<Point3> chain(capacity);
    std::vector<double> values(capacity);  // f at each chain point, computed once
    std::vector<double> means(static_cast<std::size_t>(M));
    std::vector<std::int64_t> index(capacity * static_cast<std::size_t>(M));
    TableWriter table(program, "tmerror2.dat");

    draw_point(chain[0]);
    values[0] = f(chain[0]);
    std::int64_t L = 1;
    for (N = 1; N < rows_end; N = N + 1) {
        while (L < N) {
            const auto l = static_cast<std::size_t>(L);
            chain[l] = chain[l - 1];
            sweep(chain[l], Nstep);
            values[l] = f(chain[l]);
            L = L + 1;
        }
        const auto length = static_cast<std::size_t>(N);
        double sum = 0.0;
        for (std::size_t k = 0; k < length; ++k) {
            sum = sum + values[k];
        }
        table.write("%i\t%f\t", static_cast<int>(N), sum / static_cast<double>(N));

        const auto resamples = std::span(index).first(length * static_cast<std::size_t>(M));
        draw_resample_indices(resamples, N, M, ProcessStream{});
        const BootstrapInterval interval = bootstrap_interval(std::span(values).first(length), resamples, means);
        table.write("%f\t%f\n", interval.lower, interval.upper);
    }
    table.close();
    finish_standard_output(program);
    return 0;
}
