// A Metropolis chain of the caller's own weight: a narrow bump at the centre
// of the cube, exp(-50 |p - c|^2), whose mean of x is 1/2 by symmetry.
#include <cmath>
#include <cstdio>

#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"

int main()
{
    const auto weight = [](const suite::Point3& p) {
        const double dx = p.x - 0.5;
        const double dy = p.y - 0.5;
        const double dz = p.z - 0.5;
        return std::exp(-50.0 * (dx * dx + dy * dy + dz * dz));
    };
    suite::UniformEngine engine(42);
    suite::Point3 point{0.5, 0.5, 0.5};
    long accepted = 0;
    double sum_x = 0.0;
    constexpr long updates = 200000;
    for (long i = 0; i < updates; ++i) {
        accepted += suite::metropolis_step(point, weight, engine) ? 1 : 0;
        sum_x += point.x;
    }
    std::printf("acceptance %.3f, mean x %.3f\n", static_cast<double>(accepted) / updates, sum_x / updates);
    return 0;
}
