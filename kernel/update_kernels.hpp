#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace suite {

// The Metropolis sampler's bulk loops (why their decisions are the plain
// update's is set out in gaussian_sweeper.cpp), and their plain forms, which every
// instruction set is held to.

// ln(1 + i/16) and 1 / (1 + i/16), i = 0..15, from the C library.
struct LogTables {
    std::array<double, 16> log;
    std::array<double, 16> inverse;
};

// The prepared form of n updates: each proposal's exact squared radius s
// and the thresholds lo and hi, all as the bit patterns of the doubles.
struct PreparedUpdates {
    std::int64_t* s;
    std::int64_t* lo;
    std::int64_t* hi;
};

// Prepares n updates from their draws (x, y, z of the proposal, then u, as
// generator units; four per update).
using PrepareUpdates = void(const LogTables& tables, const std::uint32_t* draws, std::size_t n,
                            const PreparedUpdates& out);

// Whether lo <= before < hi for some of the n updates (all as signed bit
// patterns): whether the estimates left any decision open.
using AnyOpen = bool(std::size_t n, const std::int64_t* before, const std::int64_t* lo, const std::int64_t* hi);

// The forms for the instruction set chosen for this process.
PrepareUpdates* prepare_updates_kernel();
AnyOpen* any_open_kernel();

namespace plain {

inline constexpr double margin = 0x1p-26;
inline constexpr double ln2 = 0.6931471805599453;
inline constexpr std::int64_t always = std::bit_cast<std::int64_t>(-HUGE_VAL);  // -inf: accept

inline constexpr std::uint64_t exponent_bits = 0x7FF0000000000000;
inline constexpr std::uint64_t mantissa_bits = 0x000FFFFFFFFFFFFF;
inline constexpr std::uint64_t top4_bits = 0x000F000000000000;  // the first four mantissa bits
inline constexpr std::uint64_t one_bits = 0x3FF0000000000000;   // 1.0
static_assert((exponent_bits | mantissa_bits) == 0x7FFFFFFFFFFFFFFF);

// ln(1 + q) = q (1 + q (-1/2 + q (1/3 + ... + q (-1/8)))), from the
// innermost coefficient out.
inline constexpr std::array<double, 8> log1p_coefficients = {-1.0 / 8.0, 1.0 / 7.0,  -1.0 / 6.0, 1.0 / 5.0,
                                                             -1.0 / 4.0, 1.0 / 3.0, -1.0 / 2.0, 1.0};

inline double log1p_series(double q)
{
    double h = log1p_coefficients[0];
    for (std::size_t j = 1; j < log1p_coefficients.size(); ++j) {
        h = log1p_coefficients[j] + q * h;
    }
    return q * h;
}

// The estimate of ln(k 2^-24) for k >= 1: with k = 2^e m, m in [1, 2) and
// m0 = 1 + i/16 <= m < m0 + 1/16, ln u = (e - 24) ln 2 + ln m0 + ln(1 + q)
// with q = (m - m0)/m0.
inline double log_units(const LogTables& tables, std::uint32_t k)
{
    const auto bits = std::bit_cast<std::uint64_t>(static_cast<double>(k));
    const double e24 = static_cast<double>(static_cast<std::int64_t>(bits >> 52) - 1023 - 24);
    const auto i = static_cast<std::size_t>((bits & top4_bits) >> 48);
    const double m = std::bit_cast<double>((bits & mantissa_bits) | one_bits);
    const double m0 = std::bit_cast<double>((bits & top4_bits) | one_bits);
    return (e24 * ln2 + tables.log[i]) + log1p_series((m - m0) * tables.inverse[i]);
}

inline double unit_square_sum(const std::uint32_t* d)
{
    const double x = static_cast<double>(d[0]) * 0x1p-24;
    const double y = static_cast<double>(d[1]) * 0x1p-24;
    const double z = static_cast<double>(d[2]) * 0x1p-24;
    return (x * x + y * y) + z * z;
}

inline void prepare_updates(const LogTables& tables, const std::uint32_t* draws, std::size_t n,
                            const PreparedUpdates& out)
{
    for (std::size_t t = 0; t < n; ++t) {
        const std::uint32_t* d = draws + 4 * t;
        const double s = unit_square_sum(d);
        out.s[t] = std::bit_cast<std::int64_t>(s);
        if (d[3] == 0) {
            out.lo[t] = always;
            out.hi[t] = always;
        } else {
            const double a = s + log_units(tables, d[3]);
            out.lo[t] = std::bit_cast<std::int64_t>(a - margin);
            out.hi[t] = std::bit_cast<std::int64_t>(a + margin);
        }
    }
}

inline bool any_open(std::size_t n, const std::int64_t* before, const std::int64_t* lo, const std::int64_t* hi)
{
    bool open = false;
    for (std::size_t t = 0; t < n; ++t) {
        open |= (lo[t] <= before[t]) & (before[t] < hi[t]);
    }
    return open;
}

}  // namespace plain

}  // namespace suite
