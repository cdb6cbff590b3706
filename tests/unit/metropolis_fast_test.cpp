#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "every_target.hpp"
#include "ratio_points.hpp"
#include "stream_drawing.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"
#include "update_kernels.hpp"

using namespace suite;

namespace {

UniformEngine seeded(std::int64_t seed) { return UniformEngine(seed); }

Point3 point_at(const std::vector<std::uint32_t>& draws, std::size_t update)
{
    return {UniformEngine::to_double(draws[4 * update]), UniformEngine::to_double(draws[4 * update + 1]), UniformEngine::to_double(draws[4 * update + 2])};
}

// Plays back scripted draws through metropolis_step(), as the generator would.
struct Script {
    const std::vector<std::uint32_t>* draws = nullptr;
    std::size_t next = 0;
    float operator()() { return static_cast<float>(UniformEngine::to_double((*draws)[next++])); }
};

using FastSweeps = EveryTarget;

TEST_P(FastSweeps, DecideEveryUpdateAsStepDoes)
{
    // Two thousand sweeps of the default stream, compared after every
    // single update: the fast chain's point against metropolis_step()'s.
    GaussianSweeper sweeper(weight_normalisation);
    UniformEngine g = seeded(0);
    Point3 plain;
    draw_point(plain, g);
    Point3 fast = plain;
    std::vector<std::uint32_t> draws(4000);
    std::vector<std::uint8_t> accepted(1000);
    std::int64_t acceptances = 0;
    for (int turn = 0; turn < 2000; ++turn) {
        UniformEngine bulk = g;
        bulk.generate(draws);
        const Point3 before = fast;
        sweeper.run(fast, draws, accepted);
        Point3 traced = before;
        for (std::size_t s = 0; s < 1000; ++s) {
            metropolis_step(plain, P, g);
            if (accepted[s] != 0) {
                traced = point_at(draws, s);
                ++acceptances;
            }
            ASSERT_EQ(traced, plain) << "sweep " << turn << ", update " << s;
        }
        ASSERT_EQ(fast, plain) << "sweep " << turn;
        ASSERT_EQ(bulk, g);
    }
    // About 73 % of independent proposals are accepted for this weight.
    EXPECT_GT(acceptances, 1400000);
    EXPECT_LT(acceptances, 1520000);
}

TEST_P(FastSweeps, SweepDrawsFromTheGeneratorLikeSweep)
{
    // Sweeps of several lengths, including ones spanning more than one
    // block of prepared updates, leave point and generator as sweep() does.
    GaussianSweeper sweeper(weight_normalisation);
    UniformEngine plain_g = seeded(0);
    Point3 plain;
    draw_point(plain, plain_g);
    UniformEngine fast_g = plain_g;
    Point3 fast = plain;
    for (const std::int64_t steps : {1, 7, 1000, 1023, 1024, 1025, 3000, 0, 1000}) {
        metropolis_sweep(plain, steps, P, plain_g);
        sweeper.sweep(fast, steps, fast_g);
        ASSERT_EQ(fast, plain) << steps << " steps";
        ASSERT_EQ(fast_g, plain_g) << steps << " steps";
    }
}

TEST_P(FastSweeps, DecideNearTiesWithTheExactRatio)
{
    // Blocks of 19 updates in which one update, at every position in turn,
    // has u on the multiple of 2^-24 just below or just above the exact
    // ratio r. Such u fall inside the estimates' margin and must be decided
    // by metropolis_step()'s own expression. The updates before it have u = 0, always
    // accepted, except in every other pair of turns the one just before it:
    // a proposal in the far corner with u near 1, rejected, so that the open
    // update must be judged from the last accepted point, not from the last
    // proposal. Those after it are ordinary draws.
    GaussianSweeper sweeper(weight_normalisation);
    UniformEngine g = seeded(4711);
    constexpr std::size_t updates = 19;
    std::int64_t close_calls = 0;
    for (int trial = 0; trial < 6000; ++trial) {
        const std::size_t tie = static_cast<std::size_t>(trial) % updates;
        std::vector<std::uint32_t> draws(4 * updates);
        g.generate(draws);
        Point3 start;
        draw_point(start, g);
        for (std::size_t t = 0; t < tie; ++t) {
            draws[4 * t + 3] = 0;
        }
        const bool rejected_before = tie > 0 && trial / (2 * updates) % 2 == 1;
        if (rejected_before) {
            std::fill_n(draws.begin() + static_cast<std::ptrdiff_t>(4 * (tie - 1)), 4, (1u << 24) - 1);
        }
        Point3 current = start;
        Script lead_in{&draws};
        metropolis_sweep(current, static_cast<std::int64_t>(tie), P, lead_in);
        const double r = P(point_at(draws, tie)) / P(current);
        const double below = std::min(std::floor(r * 0x1p24), 0x1p24 - 1);
        draws[4 * tie + 3] = static_cast<std::uint32_t>(below) + static_cast<std::uint32_t>(trial / updates % 2);
        if (draws[4 * tie + 3] >= (1u << 24)) {
            continue;
        }
        const double u = UniformEngine::to_double(draws[4 * tie + 3]);
        close_calls += std::abs(r - u) < 0x1p-25 * u ? 1 : 0;

        std::vector<std::uint8_t> accepted(updates);
        Point3 fast = start;
        sweeper.run(fast, draws, accepted);
        Point3 plain = start;
        Script script{&draws};
        for (std::size_t t = 0; t < updates; ++t) {
            const Point3 before = plain;
            metropolis_step(plain, P, script);
            ASSERT_EQ(accepted[t] != 0, plain != before || plain == point_at(draws, t))
                << "trial " << trial << ", update " << t << ", r = " << r << ", u = " << u;
        }
        ASSERT_EQ(fast, plain) << "trial " << trial;
    }
    EXPECT_GT(close_calls, 800);
    // Many of those fell inside the estimates' margin.
    EXPECT_GT(sweeper.open_decisions(), 300);
}

// A generator point c and one update (p, u) with c's squared radius equal
// bit for bit to the update's upper threshold hi = (s_p + L(u)) + 2^-26,
// found by search: among u, one whose hi is a multiple of 2^-48, then
// integers X, Y, Z with X^2 + Y^2 + Z^2 = hi 2^48.
struct ThresholdTie {
    Point3 current;
    std::vector<std::uint32_t> draws;
};

// Integers y <= z < 2^24 with y^2 + z^2 = r, by two pointers closing in.
bool two_squares(std::int64_t r, std::int64_t& y, std::int64_t& z)
{
    z = std::min<std::int64_t>(static_cast<std::int64_t>(std::sqrt(static_cast<double>(r))), (1 << 24) - 1);
    for (y = 0; y <= z;) {
        const std::int64_t sum = y * y + z * z;
        if (sum == r) {
            return true;
        }
        if (sum > r) {
            --z;
        } else {
            ++y;
        }
    }
    return false;
}

ThresholdTie find_threshold_tie()
{
    const GaussianSweeper sweeper(weight_normalisation);
    const std::vector<std::uint32_t> proposal{15099494, 13421773, 11744051};  // about 0.9, 0.8, 0.7
    const double s_p = plain::unit_square_sum(proposal.data());
    for (std::uint32_t k = 11744051; k < 11745051; ++k) {  // u about 0.7
        const double hi = (s_p + sweeper.log_estimate(k)) + 0x1p-26;
        const double scaled = hi * 0x1p48;
        if (scaled != std::floor(scaled)) {
            continue;
        }
        const auto n = static_cast<std::int64_t>(scaled);
        for (std::int64_t x = 12750000; x < 12750100; ++x) {
            std::int64_t y = 0;
            std::int64_t z = 0;
            if (two_squares(n - x * x, y, z)) {
                const Point3 current{UniformEngine::to_double(static_cast<std::uint32_t>(x)), UniformEngine::to_double(static_cast<std::uint32_t>(y)),
                                     UniformEngine::to_double(static_cast<std::uint32_t>(z))};
                EXPECT_EQ((current.x * current.x + current.y * current.y) + current.z * current.z, hi);
                return {current, {proposal[0], proposal[1], proposal[2], k}};
            }
        }
    }
    ADD_FAILURE() << "no point on the threshold found";
    return {};
}

TEST_P(FastSweeps, AcceptWhenTheCurrentPointSitsOnTheThreshold)
{
    // The chain accepts at s_c >= hi; a strict comparison would reject this
    // update, which metropolis_step() accepts (hi lies above the true boundary). The
    // second update, to a point of the same radius with u near 1, is
    // accepted only from the first update's proposal, so a wrong chain shows
    // in the final point.
    static const ThresholdTie tie = find_threshold_tie();
    std::vector<std::uint32_t> draws = tie.draws;
    draws.insert(draws.end(), {draws[0], draws[2], draws[1], (1u << 24) - 1000});
    GaussianSweeper sweeper(weight_normalisation);
    Point3 current = tie.current;
    std::vector<std::uint8_t> accepted(2);
    sweeper.run(current, draws, accepted);
    Point3 plain = tie.current;
    Script script{&draws};
    metropolis_sweep(plain, 2, P, script);
    EXPECT_EQ(accepted, (std::vector<std::uint8_t>{1, 1}));
    EXPECT_EQ(current, point_at(draws, 1));
    EXPECT_EQ(plain, current);
}

TEST_P(FastSweeps, AcceptAnOpenUpdateWhoseRatioEqualsU)
{
    // r = P(p)/P(c) is exactly 1/2 and u = 1/2: inside the margin, so
    // metropolis_step()'s expression decides, and r >= u accepts; u one unit higher
    // is outside the margin and rejected.
    const std::vector<std::uint32_t> tie{14680064, 4194304, 8388608, 1u << 23};
    const Point3 start = point_with_ratio_one_half(point_at(tie, 0));
    ASSERT_EQ(P(point_at(tie, 0)) / P(start), 0.5);
    for (const std::uint32_t u : {1u << 23, (1u << 23) + 1}) {
        GaussianSweeper sweeper(weight_normalisation);
        std::vector<std::uint32_t> draws = tie;
        draws[3] = u;
        Point3 current = start;
        sweeper.run(current, draws);
        EXPECT_EQ(sweeper.open_decisions(), u == 1u << 23 ? 1 : 0) << "u = " << u;
        EXPECT_EQ(current, u == 1u << 23 ? point_at(draws, 0) : start) << "u = " << u;
    }
}

TEST_P(FastSweeps, AcceptEveryProposalWhenUIsZero)
{
    GaussianSweeper sweeper(weight_normalisation);
    UniformEngine g = seeded(99);
    constexpr std::size_t updates = 37;
    std::vector<std::uint32_t> draws(4 * updates);
    g.generate(draws);
    for (std::size_t t = 0; t < updates; ++t) {
        draws[4 * t + 3] = 0;
    }
    std::vector<std::uint8_t> accepted(updates);
    Point3 current{1.0 - 0x1p-24, 0.0, 0.5};
    sweeper.run(current, draws, accepted);
    EXPECT_EQ(std::count(accepted.begin(), accepted.end(), 1), static_cast<std::ptrdiff_t>(updates));
    EXPECT_EQ(current, point_at(draws, updates - 1));
}

TEST_P(FastSweeps, PrepareTheThresholdsOfThePlainFormBitForBit)
{
    // The decisions hide small errors in the thresholds (the open ones fall
    // back on the exact ratio), so each form's s, lo and hi are compared
    // with the plain form's directly: for u = 0, u at every power of two,
    // at every table knot and beside it, and for ordinary draws.
    LogTables tables{};
    for (std::size_t i = 0; i < 16; ++i) {
        const double m0 = 1.0 + static_cast<double>(i) / 16.0;
        tables.log[i] = std::log(m0);
        tables.inverse[i] = 1.0 / m0;
    }
    std::vector<std::uint32_t> u{0};
    for (std::uint32_t e = 0; e < 24; ++e) {
        for (std::uint32_t i = 0; i < 16; ++i) {
            const std::uint32_t knot = ((16u + i) << e) >> 4;
            u.insert(u.end(), {knot, knot + 1, std::max(knot, 2u) - 1});
        }
    }
    const std::size_t updates = u.size() + 1000;
    std::vector<std::uint32_t> draws(4 * updates);
    UniformEngine g = seeded(7);
    g.generate(draws);
    for (std::size_t t = 0; t < u.size(); ++t) {
        draws[4 * t + 3] = u[t];
    }
    std::vector<std::int64_t> fast(3 * updates);
    std::vector<std::int64_t> plain(3 * updates);
    prepare_updates_kernel()(tables, draws.data(), updates, {fast.data(), fast.data() + updates, fast.data() + 2 * updates});
    plain::prepare_updates(tables, draws.data(), updates, {plain.data(), plain.data() + updates, plain.data() + 2 * updates});
    const std::array<const char*, 3> names{"s", "lo", "hi"};
    for (std::size_t t = 0; t < 3 * updates; ++t) {
        ASSERT_EQ(fast[t], plain[t]) << names[t / updates] << " of update " << t % updates << ", u "
                                     << draws[4 * (t % updates) + 3];
    }
}

INSTANTIATE_FOR_EVERY_TARGET(FastSweeps);

TEST(FastSweeper, EstimatesLogWellInsideItsProvenBound)
{
    // The decisions assume the estimate of ln u within 2^-32.3 of the truth;
    // its series is cut off after |q|^9/9 < 2^-39, and rounding adds a few
    // 2^-49. Checked at every power of two, the table's knots and their
    // neighbours, and a spread of other values.
    const GaussianSweeper sweeper(weight_normalisation);
    double worst = 0.0;
    const auto check = [&](std::uint32_t k) {
        const double exact = std::log(UniformEngine::to_double(k));
        worst = std::max(worst, std::abs(sweeper.log_estimate(k) - exact));
    };
    for (std::uint32_t e = 0; e < 24; ++e) {
        for (std::uint32_t i = 0; i <= 16; ++i) {
            const std::uint64_t knot = ((16u + i) << e) >> 4;
            for (const std::uint64_t k : {knot, knot - 1, knot + 1}) {
                if (k >= 1 && k < (1u << 24)) {
                    check(static_cast<std::uint32_t>(k));
                }
            }
        }
    }
    for (std::uint32_t k = 1; k < (1u << 24); k += 997) {
        check(k);
    }
    check((1u << 24) - 1);
    EXPECT_LT(worst, 0x1p-38);
}

}  // namespace
