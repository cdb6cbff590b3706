#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"

using namespace suite;

namespace {

TEST(UniformEngine, SeedZeroStartsWithItsKnownValues)
{
    // The first five values of the default stream, in units of 2^-24, and
    // the same stream from the default constructor.
    UniformEngine g(0);
    UniformEngine by_default;
    for (const std::uint32_t expected : {5790094u, 1344571u, 2990437u, 11091400u, 5494037u}) {
        EXPECT_EQ(by_default(), expected);
        EXPECT_EQ(g.next_float(), static_cast<float>(expected) * 0x1p-24f);
    }
}

TEST(UniformEngine, ReproducesThePublishedCheckValues)
{
    // The generator's published test: seeds ij = 1802, kl = 9373 (packed as
    // 1802 * 30082 + 9373), 20000 draws, then six known values; once by
    // single draws, once by a discard through the jump.
    EXPECT_EQ(1802 * 30082 + 9373, 54217137);
    UniformEngine single(54217137);
    for (int draw = 0; draw < 20000; ++draw) {
        (void)single();
    }
    UniformEngine jumped(54217137);
    jumped.discard(20000);
    EXPECT_EQ(jumped, single);
    for (const std::uint32_t expected : {6533892u, 14220222u, 7275067u, 6172232u, 8354498u, 10633180u}) {
        EXPECT_EQ(single(), expected);
    }
}

TEST(UniformEngine, RejectsSeedsOutOfRangeAndLeavesTheStateAlone)
{
    UniformEngine g(7);
    const UniformEngine before = g;
    EXPECT_THROW(g.seed(-1), std::invalid_argument);
    EXPECT_THROW(g.seed(900000001), std::invalid_argument);
    EXPECT_THROW(UniformEngine(-1), std::invalid_argument);
    EXPECT_EQ(g, before);
    g.seed(900000000);
    EXPECT_NE(g, before);
    const float value = g.next_float();
    EXPECT_GE(value, 0.0f);
    EXPECT_LT(value, 1.0f);
}

TEST(UniformEngine, DiscardLandsWhereSingleDrawsLand)
{
    // Both sides of the switch from drawing to jumping, and far.
    UniformEngine walked(0);
    std::uint64_t position = 0;
    for (const std::uint64_t target : {1ull, 97ull, 19999ull, 20000ull, 1000003ull, 1000000000ull}) {
        UniformEngine jumped(0);
        jumped.discard(target);
        std::vector<std::uint32_t> skipped(static_cast<std::size_t>(std::min<std::uint64_t>(target - position, 1u << 24)));
        while (position < target) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(target - position, skipped.size()));
            walked.generate(std::span(skipped).first(n));
            position += n;
        }
        EXPECT_EQ(jumped, walked) << target << " draws";
    }
    // Past 2^41 draws the arithmetic term's step, distance * 7654321, no
    // longer fits in 64 bits unless the distance is reduced first.
    UniformEngine once(0);
    once.discard((1ull << 42) + 12345);
    UniformEngine twice(0);
    twice.discard(1ull << 41);
    twice.discard((1ull << 41) + 12345);
    EXPECT_EQ(once, twice);
}

TEST(UniformEngine, SavesAndRestoresItsStateAsText)
{
    UniformEngine g(123);
    g.discard(1000);
    std::stringstream saved;
    saved << g;
    UniformEngine restored(5);
    saved >> restored;
    ASSERT_TRUE(saved);
    EXPECT_EQ(restored, g);
    EXPECT_EQ(restored(), g());

    // Decimal whatever the stream's flags, which are left as they were.
    std::stringstream hex;
    hex << std::hex << std::showbase << std::showpos << g;
    std::ostringstream decimal;
    decimal << g;
    EXPECT_EQ(hex.str(), decimal.str());
    EXPECT_EQ(hex.flags(), std::ios::hex | std::ios::showbase | std::ios::showpos | std::ios::skipws);
    UniformEngine from_hex(5);
    hex >> from_hex;
    ASSERT_TRUE(hex);
    EXPECT_EQ(from_hex, g);
    EXPECT_EQ(hex.flags(), std::ios::hex | std::ios::showbase | std::ios::showpos | std::ios::skipws);

    // A state no engine can be in is refused, and the engine kept: the
    // arithmetic term must lie below its modulus 16777213, and the two lag
    // positions stand 64 apart.
    for (const char* const head : {"16777213 96 32", "0 96 31"}) {
        std::stringstream bad;
        bad << head;
        for (int entry = 0; entry < 97; ++entry) {
            bad << " 0";
        }
        UniformEngine kept(5);
        bad >> kept;
        EXPECT_TRUE(bad.fail()) << head;
        EXPECT_EQ(kept, UniformEngine(5)) << head;
    }
}

TEST(UniformEngine, DrivesTheStandardDistributions)
{
    // 24 bits a call: uniform_real_distribution<double> combines enough
    // calls for its 53 bits, and the moments are those of U(0, 1).
    UniformEngine g(0);
    std::uniform_real_distribution<double> uniform;
    constexpr int n = 1000000;
    double sum = 0.0;
    double squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = uniform(g);
        sum += x;
        squares += x * x;
    }
    const double mean = sum / n;
    const double variance = squares / n - mean * mean;
    // Standard errors: sqrt(1/12 / n) = 2.9e-4 and sqrt(1/180 / n) = 7.5e-5.
    EXPECT_NEAR(mean, 0.5, 0.0015);
    EXPECT_NEAR(variance, 1.0 / 12.0, 0.0004);

    // The range max() - min() + 1 = 2^24 is what combines calls: k draws
    // d_0, d_1, ... give (d_0 + d_1 2^24 + ...) / 2^(24 k). For 48 bits the
    // standard asks for k = 2; a library that takes log2(2^24) in a long
    // double that rounds it below 24 (libstdc++ on aarch64) takes 3, so k is
    // read off how far the engine moved.
    UniformEngine raw = g;
    const double canonical = std::generate_canonical<double, 48>(g);
    double draws = 0.0;
    double scale = 1.0;
    int calls = 0;
    while (raw != g && calls < 4) {
        draws += static_cast<double>(raw()) * scale;
        scale *= 0x1p24;
        ++calls;
    }
    ASSERT_TRUE(raw == g);
    EXPECT_GE(calls, 2);
    EXPECT_EQ(canonical, draws / scale);
}

TEST(DrawPoint, TakesThreeDrawsInTheOrderXYZ)
{
    UniformEngine reference(0);
    UniformEngine g = reference;
    Point3 p;
    draw_point(p, g);
    EXPECT_EQ(p.x, reference.next_double());
    EXPECT_EQ(p.y, reference.next_double());
    EXPECT_EQ(p.z, reference.next_double());
    EXPECT_EQ(g, reference);
}

}  // namespace
