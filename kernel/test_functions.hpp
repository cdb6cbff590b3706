#pragma once

#include <cmath>

#include "point3.hpp"

// The integrands, the observable and the sampling weight of the experiments,
// each beside the exact value its experiment converges to. Every value is
// evaluated one IEEE double operation at a time, in the order written (the
// build forbids fused multiply-add), so that with the C library's exp and sin
// every build prints the same digits.

// pi as the experiments have always written it: eleven decimals.
inline constexpr double pi_11 = 3.14159265359;

// Normalisation of the weight: (integral of exp(-t^2) over [0, 1])^3,
// rounded to six decimals.
inline constexpr double weight_normalisation = 0.416538;

// sin(pi x), integrated over [0, 1].
inline double sine_pi(double x) { return std::sin(pi_11 * x); }

// integral_0^1 sin(pi x) dx = [-cos(pi x)/pi]_0^1 = 2/pi.
inline double sine_pi_integral() { return 2.0 / std::acos(-1.0); }

// 3x^2 y + 2z^3, integrated over the unit cube.
inline double cubic_polynomial(const Point3& p)
{
    return ((3.0 * p.x) * p.x) * p.y + ((2.0 * p.z) * p.z) * p.z;
}

// integral of 3x^2 y = 1 * 1/2 = 1/2, integral of 2z^3 = 2/4 = 1/2: in all 1.
inline constexpr double cubic_polynomial_integral = 1.0;

// The sampling weight exp(-(x^2 + y^2 + z^2)) / 0.416538 of the Metropolis
// chains: positive everywhere in the cube, at least exp(-3)/0.416538.
inline double P(const Point3& p)
{
    return std::exp(-((p.x * p.x + p.y * p.y) + p.z * p.z)) / weight_normalisation;
}

// The observable 128 x^3 y^2 z, multiplied left to right from 128.
inline double moment_observable(const Point3& p)
{
    return 128.0 * p.x * p.x * p.x * p.y * p.y * p.z;
}

// The weight times the observable as one expression in its own order, for
// uniform sampling of the same expectation the Metropolis chains estimate.
inline double weighted_moment(const Point3& p)
{
    const double e = std::exp(-((p.x * p.x + p.y * p.y) + p.z * p.z));
    return e * 128.0 * p.x * p.x * p.x * p.y * p.y * p.z / weight_normalisation;
}

// The one-dimensional integrals that make up the expectation. The weight
// factorises, exp(-(x^2+y^2+z^2)) = e^{-x^2} e^{-y^2} e^{-z^2}, so
//   I1 = int_0^1 x^3 e^{-x^2} dx = (1 - 2/e)/2          (substitute s = x^2,
//        then integrate s e^{-s} by parts),
//   I2 = int_0^1 y^2 e^{-y^2} dy = (sqrt(pi)/4) erf(1) - 1/(2e)
//        (by parts against d(-e^{-y^2}/2)),
//   I3 = int_0^1 z e^{-z^2} dz = (1 - 1/e)/2,
//   Z  = int_0^1 e^{-t^2} dt = (sqrt(pi)/2) erf(1).
struct MomentIntegrals {
    double i1;
    double i2;
    double i3;
    double z;
};

inline MomentIntegrals moment_integrals()
{
    const double e = std::exp(1.0);
    const double sqrt_pi = std::sqrt(std::acos(-1.0));
    return {(1.0 - 2.0 / e) / 2.0, sqrt_pi / 4.0 * std::erf(1.0) - 1.0 / (2.0 * e),
            (1.0 - 1.0 / e) / 2.0, sqrt_pi / 2.0 * std::erf(1.0)};
}

// <128 x^3 y^2 z> under the exactly normalised weight: 128 I1 I2 I3 / Z^3
// (about 2.4313142). The Metropolis chains converge to this.
inline double moment_expectation()
{
    const MomentIntegrals m = moment_integrals();
    return 128.0 * m.i1 * m.i2 * m.i3 / (m.z * m.z * m.z);
}

// The integral of the weighted observable over the cube. Its weight divides
// by the rounded 0.416538 rather than Z^3, so the uniform estimate converges
// to 128 I1 I2 I3 / 0.416538 (about 2.4313165), not quite the expectation.
inline double weighted_moment_integral()
{
    const MomentIntegrals m = moment_integrals();
    return 128.0 * m.i1 * m.i2 * m.i3 / weight_normalisation;
}
