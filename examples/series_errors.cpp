// The jackknife error and the bootstrap interval of the mean of a series
// read from a file (one number per line, or any white space between them).
#include <cstdio>
#include <exception>
#include <fstream>
#include <vector>

#include "suite/estimators.hpp"
#include "suite/uniform_engine.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: series_errors FILE\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::vector<double> values;
    for (double v = 0.0; in >> v;) {
        values.push_back(v);
    }
    if (!in.eof() || values.empty()) {
        std::fprintf(stderr, "series_errors: %s holds no series of numbers\n", argv[1]);
        return 1;
    }
    try {
        double sum = 0.0;
        for (const double v : values) {
            sum += v;
        }
        std::printf("%zu values, mean %.6f\n", values.size(), sum / static_cast<double>(values.size()));
        std::printf("jackknife error (10 blocks) %.6f\n", suite::jackknife_error(values, 10));
        // 1000 resamples; the 160th and 841st smallest means bound a
        // central interval of about 68 %.
        suite::UniformEngine engine(1);
        const suite::BootstrapInterval interval = suite::bootstrap_interval(values, {1000, 159, 840}, engine);
        std::printf("bootstrap interval %.6f %.6f\n", interval.lower, interval.upper);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "series_errors: %s\n", error.what());
        return 1;
    }
    return 0;
}
