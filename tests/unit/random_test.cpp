#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "random.hpp"

namespace {

// A value of the generator as the integer count of 2^-24 it is.
std::int64_t scaled(float value) { return static_cast<std::int64_t>(value * 16777216.0f); }

UniformGenerator seeded(std::int64_t seed)
{
    UniformGenerator g;
    EXPECT_TRUE(g.seed(seed));
    return g;
}

TEST(UniformGenerator, SeedZeroStartsWithItsKnownValues)
{
    // The first five values of the default stream.
    UniformGenerator g = seeded(0);
    for (const std::int64_t expected : {5790094, 1344571, 2990437, 11091400, 5494037}) {
        EXPECT_EQ(scaled(g()), expected);
    }
}

TEST(UniformGenerator, ReproducesThePublishedCheckValues)
{
    // The generator's published test: seeds ij = 1802, kl = 9373 (packed as
    // 1802 * 30082 + 9373), 20000 draws, then six known values.
    EXPECT_EQ(1802 * 30082 + 9373, 54217137);
    UniformGenerator g = seeded(54217137);
    for (int draw = 0; draw < 20000; ++draw) {
        g();
    }
    for (const std::int64_t expected : {6533892, 14220222, 7275067, 6172232, 8354498, 10633180}) {
        EXPECT_EQ(scaled(g()), expected);
    }
}

TEST(UniformGenerator, SeedingSetsTheDocumentedState)
{
    const UniformGenerator g = seeded(0);
    EXPECT_EQ(g.first, 1);
    EXPECT_EQ(g.ui, 97);
    EXPECT_EQ(g.uj, 33);
    EXPECT_EQ(g.c, 362436.0f / 16777216.0f);
    EXPECT_EQ(g.cd, 7654321.0f / 16777216.0f);
    EXPECT_EQ(g.cm, 16777213.0f / 16777216.0f);
    EXPECT_EQ(g.u[0], 0.0f);
    for (std::size_t i = 1; i <= 97; ++i) {
        EXPECT_GE(g.u[i], 0.0f);
        EXPECT_LT(g.u[i], 1.0f);
        EXPECT_EQ(std::ldexp(std::floor(std::ldexp(g.u[i], 24)), -24), g.u[i]) << "entry " << i;
    }
}

TEST(UniformGenerator, LagPositionsWrapAfter97And33Draws)
{
    UniformGenerator g = seeded(0);
    for (int draw = 1; draw <= 97; ++draw) {
        g();
        EXPECT_EQ(g.ui, draw == 97 ? 97 : 97 - draw) << "after draw " << draw;
        EXPECT_EQ(g.uj, draw < 33 ? 33 - draw : 97 - (draw - 33)) << "after draw " << draw;
    }
}

TEST(UniformGenerator, EveryValueIsAMultipleOfTwoToTheMinus24BelowOne)
{
    UniformGenerator g = seeded(0);
    for (int draw = 0; draw < 1000000; ++draw) {
        const float value = g();
        ASSERT_GE(value, 0.0f);
        ASSERT_LT(value, 1.0f);
        const double units = std::ldexp(static_cast<double>(value), 24);
        ASSERT_EQ(units, std::floor(units)) << "draw " << draw;
    }
}

TEST(UniformGenerator, RejectsSeedsOutOfRangeAndLeavesTheStateAlone)
{
    UniformGenerator g;
    EXPECT_FALSE(g.seed(-1));
    EXPECT_FALSE(g.seed(900000001));
    EXPECT_EQ(g, UniformGenerator{});
    EXPECT_TRUE(g.seed(900000000));
    EXPECT_EQ(g.first, 1);
}

TEST(UniformGenerator, CopiesDrawTheSameStream)
{
    UniformGenerator a = seeded(0);
    a();
    UniformGenerator b = a;
    EXPECT_EQ(a, b);
    for (int draw = 0; draw < 500; ++draw) {
        ASSERT_EQ(a(), b());
    }
    EXPECT_EQ(a, b);
    b();
    EXPECT_NE(a, b);
}

TEST(ProcessStream, SeedsLazilyOnceWithANotice)
{
    testing::internal::CaptureStdout();
    const float first = Random(0);
    const float second = Random(0);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "initializing the Random generator\n");
    UniformGenerator reference = seeded(0);
    EXPECT_EQ(first, reference());
    EXPECT_EQ(second, reference());
    EXPECT_EQ(random_stream(), reference);
}

TEST(ProcessStream, NonzeroSeedRestartsWithANoticeEachTime)
{
    testing::internal::CaptureStdout();
    const float a = Random(54217137);
    Random(0);
    const float b = Random(54217137);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(a, b);
    EXPECT_EQ(printed, "initializing the Random generator\ninitializing the Random generator\n");
}

TEST(ProcessStream, AcceptsTheLargestSeed)
{
    testing::internal::CaptureStdout();
    const float value = Random(900000000);
    testing::internal::GetCapturedStdout();
    EXPECT_GE(value, 0.0f);
    EXPECT_LT(value, 1.0f);
}

TEST(ProcessStreamDeathTest, SeedsOutOfRangeEndWithStatusOneAfterTheNotice)
{
    // The notice is flushed by exit(), so it reaches standard output before
    // the process ends; nothing goes to standard error.
    EXPECT_EXIT(Random(900000001), testing::ExitedWithCode(1), "^$");
    EXPECT_EXIT(Random(-1), testing::ExitedWithCode(1), "^$");
    EXPECT_EXIT(
        {
            (void)std::fclose(stderr);
            Random(-1);
        },
        testing::ExitedWithCode(1), "");
}

TEST(DrawPoint, TakesThreeDrawsInTheOrderXYZ)
{
    UniformGenerator reference = seeded(0);
    UniformGenerator g = reference;
    Point3 p;
    draw_point(p, g);
    EXPECT_EQ(p.x, static_cast<double>(reference()));
    EXPECT_EQ(p.y, static_cast<double>(reference()));
    EXPECT_EQ(p.z, static_cast<double>(reference()));
    EXPECT_EQ(g, reference);
}

}  // namespace
