#pragma once

#include <cmath>

#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"

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
inline double cubic_polynomial(const suite::Point3& p)
{
    return ((3.0 * p.x) * p.x) * p.y + ((2.0 * p.z) * p.z) * p.z;
}

// integral of 3x^2 y = 1 * 1/2 = 1/2, integral of 2z^3 = 2/4 = 1/2: in all 1.
inline constexpr double cubic_polynomial_integral = 1.0;

// The sampling weight exp(-(x^2 + y^2 + z^2)) / 0.416538 of the Metropolis
// chains: positive everywhere in the cube, at least exp(-3)/0.416538.
inline double P(const suite::Point3& p) { return suite::gaussian_weight(p, weight_normalisation); }

// The observable 128 x^3 y^2 z, multiplied left to right from 128.
inline double moment_observable(const suite::Point3& p)
{
    return 128.0 * p.x * p.x * p.x * p.y * p.y * p.z;
}

// The weight times the observable as one expression in its own order, for
// uniform sampling of the same expectation the Metropolis chains estimate.
inline double weighted_moment(const suite::Point3& p)
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

// The variances sigma^2 = E[f^2] - E[f]^2 of a single sample of each
// estimate: N independent samples leave a mean whose error is sigma/sqrt(N),
// the yardstick of the replica study.

// sin(pi x) with x uniform on [0, 1]: E[f^2] = int_0^1 sin^2(pi x) dx = 1/2
// (the mean of sin^2 over whole half-periods), E[f] = 2/pi.
inline double sine_pi_variance()
{
    const double mean = sine_pi_integral();
    return 0.5 - mean * mean;
}

// 3x^2 y + 2z^3 on the uniform cube. With E[x^k] = 1/(k+1):
//   E[f^2] = 9 E[x^4] E[y^2] + 12 E[x^2] E[y] E[z^3] + 4 E[z^6]
//          = 9/15 + 12/24 + 4/7 = 117/70,
// and E[f] = 1, so sigma^2 = 47/70.
inline constexpr double cubic_polynomial_variance = 47.0 / 70.0;

// The moments of t^n under e^{-a t^2} on [0, 1], by parts against
// d(-e^{-a t^2}/(2a)):
//   int_0^1 t^n e^{-a t^2} dt = -e^{-a}/(2a) + (n-1)/(2a) int_0^1 t^{n-2} e^{-a t^2} dt,
// from int_0^1 e^{-a t^2} dt = sqrt(pi/a)/2 erf(sqrt(a)). Even n only.
inline double gaussian_moment(int n, double a)
{
    double moment = std::sqrt(std::acos(-1.0) / a) / 2.0 * std::erf(std::sqrt(a));
    for (int k = 2; k <= n; k += 2) {
        moment = -std::exp(-a) / (2.0 * a) + (k - 1) / (2.0 * a) * moment;
    }
    return moment;
}

// 128 x^3 y^2 z under the normalised weight e^{-(x^2+y^2+z^2)}/Z^3, as the
// Metropolis chains sample it: the weight factorises, so
//   E[f^2] = 128^2 G6 G4 G2 / Z^3,  G_n = int_0^1 t^n e^{-t^2} dt,
// minus the expectation squared.
inline double moment_variance()
{
    const double z = gaussian_moment(0, 1.0);
    const double mean = moment_expectation();
    return 128.0 * 128.0 * gaussian_moment(6, 1.0) * gaussian_moment(4, 1.0) * gaussian_moment(2, 1.0) /
               (z * z * z) -
           mean * mean;
}

// The weighted observable e^{-(x^2+y^2+z^2)} 128 x^3 y^2 z / 0.416538 with x,
// y, z uniform: its square carries e^{-2(x^2+y^2+z^2)}, so
//   E[g^2] = 128^2 H6 H4 H2 / 0.416538^2,  H_n = int_0^1 t^n e^{-2t^2} dt,
// minus the integral squared.
inline double weighted_moment_variance()
{
    const double mean = weighted_moment_integral();
    return 128.0 * 128.0 * gaussian_moment(6, 2.0) * gaussian_moment(4, 2.0) * gaussian_moment(2, 2.0) /
               (weight_normalisation * weight_normalisation) -
           mean * mean;
}

// The AR(1) chains of the coverage experiments, x_t = phi x_{t-1} + u_t with
// innovations u_t of mean 0 and variance 1 (uniform on (-sqrt 3, sqrt 3)) and
// a start x_0 of variance 1 / (1 - phi^2): then every x_t has that variance,
// Cov(x_t, x_{t+s}) = phi^s / (1 - phi^2), and the exact answers are closed
// forms. The mean is 0; one value's standard deviation is
inline double ar1_stationary_sd(double phi) { return std::sqrt(1.0 / (1.0 - phi * phi)); }

// tau_int = 1/2 + sum_{t>=1} rho(t) = 1/2 + phi / (1 - phi) = (1 + phi) / (2 (1 - phi)).
inline double ar1_tau_int(double phi) { return (1.0 + phi) / (2.0 * (1.0 - phi)); }

// The variance of the mean of N consecutive values,
//   (sigma^2 / N) [1 + 2 sum_{t=1}^{N-1} (1 - t/N) phi^t]
//   = (sigma^2 / N) [(1 + phi) / (1 - phi) - 2 phi (1 - phi^N) / (N (1 - phi)^2)],
// which tends to 2 tau_int sigma^2 / N.
inline double ar1_variance_of_mean(double phi, double n)
{
    const double variance = 1.0 / (1.0 - phi * phi);
    return variance / n * ((1.0 + phi) / (1.0 - phi) - 2.0 * phi * (1.0 - std::pow(phi, n)) / (n * (1.0 - phi) * (1.0 - phi)));
}
