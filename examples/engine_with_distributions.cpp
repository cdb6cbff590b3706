// The engine with the distributions of <random>: it is a
// uniform_random_bit_generator of 24 bits a call.
#include <cstdio>
#include <random>

#include "suite/uniform_engine.hpp"

int main()
{
    suite::UniformEngine engine;  // seed 0
    // The first values of the default stream, in units of 2^-24: the
    // published check values 5790094 1344571 2990437.
    for (int i = 0; i < 3; ++i) {
        std::printf("%u\n", static_cast<unsigned>(engine()));
    }

    std::normal_distribution<double> normal(0.0, 1.0);
    double sum = 0.0;
    double squares = 0.0;
    constexpr int n = 100000;
    for (int i = 0; i < n; ++i) {
        const double x = normal(engine);
        sum += x;
        squares += x * x;
    }
    std::printf("normal: mean %.3f, variance %.3f\n", sum / n, squares / n - (sum / n) * (sum / n));
    return 0;
}
