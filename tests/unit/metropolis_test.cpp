#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "ratio_points.hpp"
#include "stream_drawing.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"

using namespace suite;

namespace {

// A uniform source that plays back chosen values and counts what it gave.
struct ScriptedDraws {
    std::vector<float> values;
    std::size_t taken = 0;
    float operator()() { return values.at(taken++); }
};

constexpr float largest_draw = 1.0f - 0x1p-24f;

TEST(MetropolisStep, TakesFourDrawsInTheOrderXYZThenU)
{
    ScriptedDraws draws{{0.25f, 0.5f, 0.75f, 0.0f}};
    Point3 current{0.5, 0.5, 0.5};
    metropolis_step(current, P, draws);
    EXPECT_EQ(draws.taken, 4u);
    EXPECT_EQ(current, (Point3{0.25, 0.5, 0.75}));
}

TEST(MetropolisStep, AcceptsWhenTheRatioEqualsTheDrawAndRejectsJustAbove)
{
    const Point3 proposal{0.875, 0.25, 0.5};
    const Point3 start = point_with_ratio_one_half(proposal);
    ASSERT_EQ(P(proposal) / P(start), 0.5);

    Point3 tie = start;
    ScriptedDraws at_ratio{{0.875f, 0.25f, 0.5f, 0.5f}};
    metropolis_step(tie, P, at_ratio);
    EXPECT_EQ(tie, proposal);

    Point3 above = start;
    ScriptedDraws just_above{{0.875f, 0.25f, 0.5f, 0.5f + 0x1p-24f}};
    metropolis_step(above, P, just_above);
    EXPECT_EQ(above, start);
}

TEST(MetropolisStep, AlwaysAcceptsADrawOfZero)
{
    // The corner (1, 1, 1) has the smallest weight of the cube: r is smallest
    // when moving there from the origin, and u = 0 still accepts.
    ScriptedDraws draws{{largest_draw, largest_draw, largest_draw, 0.0f}};
    Point3 current{0.0, 0.0, 0.0};
    metropolis_step(current, P, draws);
    EXPECT_EQ(current, (Point3{largest_draw, largest_draw, largest_draw}));
}

TEST(MetropolisStep, RejectsWhenTheDrawExceedsTheRatio)
{
    // From the origin to near (1, 1, 1): r is about exp(-3) = 0.0498.
    ScriptedDraws draws{{largest_draw, largest_draw, largest_draw, 0.5f}};
    Point3 current{0.0, 0.0, 0.0};
    metropolis_step(current, P, draws);
    EXPECT_EQ(current, (Point3{0.0, 0.0, 0.0}));
    EXPECT_EQ(draws.taken, 4u);
}

TEST(MetropolisStep, AlwaysAcceptsAProposalOfLargerWeight)
{
    // r >= 1 > u for any u the generator can give.
    ScriptedDraws draws{{0.125f, 0.125f, 0.125f, largest_draw}};
    Point3 current{0.5, 0.5, 0.5};
    metropolis_step(current, P, draws);
    EXPECT_EQ(current, (Point3{0.125, 0.125, 0.125}));
}

TEST(MetropolisSweep, ConsumesFourDrawsPerUpdateAndMatchesSingleSteps)
{
    UniformEngine seeded(0);
    UniformEngine by_sweep = seeded;
    UniformEngine by_steps = seeded;
    UniformEngine counted = seeded;
    Point3 a{0.5, 0.5, 0.5};
    Point3 b = a;
    metropolis_sweep(a, 1000, P, by_sweep);
    for (int s = 0; s < 1000; ++s) {
        metropolis_step(b, P, by_steps);
    }
    counted.discard(4000);
    EXPECT_EQ(a, b);
    EXPECT_EQ(by_sweep, counted);
}

TEST(MetropolisSweep, StaysInTheUnitCubeAndMovesOnlyByAcceptance)
{
    UniformEngine g(0);
    Point3 current;
    draw_point(current, g);
    int moves = 0;
    for (int s = 0; s < 20000; ++s) {
        const Point3 before = current;
        metropolis_step(current, P, g);
        if (current != before) {
            ++moves;
            // A move replaces all three coordinates at once.
            EXPECT_NE(current.x, before.x);
        }
        ASSERT_GE(current.y, 0.0);
        ASSERT_LT(current.y, 1.0);
    }
    // Independent proposals are accepted often but not always under this
    // mild weight (it varies by a factor e^3 over the cube).
    EXPECT_GT(moves, 10000);
    EXPECT_LT(moves, 20000);
}

}  // namespace
