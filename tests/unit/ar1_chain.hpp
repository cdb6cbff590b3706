#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "suite/uniform_engine.hpp"

// Test chains with known answers: the AR(1) process
//   x_t = phi x_{t-1} + sqrt(1 - phi^2) e_t,  x_0 = e_0,
// with standard normal e_t, is stationary with unit variance and
// rho(t) = phi^|t|, so
//   tau_int = (1 + phi) / (2 (1 - phi)),
//   Var(xbar) = (1/N) [(1 + phi) / (1 - phi) - 2 phi (1 - phi^N) / (N (1 - phi)^2)].
// The normal deviates come from the suite's engine by Box-Muller on 48-bit
// uniforms in (0, 1].
namespace ar1 {

inline double uniform48(suite::UniformEngine& engine)
{
    const double high = engine();
    const double low = engine();
    return (high * 0x1p24 + low + 1.0) * 0x1p-48;
}

inline std::vector<double> chain(double phi, std::size_t n, std::int64_t seed)
{
    suite::UniformEngine engine(seed);
    std::vector<double> x(n);
    const double innovation = std::sqrt(1.0 - phi * phi);
    double spare = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
        double e = spare;
        if (t % 2 == 0) {
            const double r = std::sqrt(-2.0 * std::log(uniform48(engine)));
            const double angle = 2.0 * std::numbers::pi * uniform48(engine);
            e = r * std::cos(angle);
            spare = r * std::sin(angle);
        }
        x[t] = t == 0 ? e : phi * x[t - 1] + innovation * e;
    }
    return x;
}

inline double tau_int(double phi) { return (1.0 + phi) / (2.0 * (1.0 - phi)); }

inline double error_of_mean(double phi, std::size_t n)
{
    const double nd = static_cast<double>(n);
    const double q = 1.0 - phi;
    return std::sqrt(((1.0 + phi) / q - 2.0 * phi * (1.0 - std::pow(phi, nd)) / (nd * q * q)) / nd);
}

}  // namespace ar1
