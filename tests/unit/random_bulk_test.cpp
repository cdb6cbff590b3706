#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "every_target.hpp"
#include "stream_drawing.hpp"
#include "suite/uniform_engine.hpp"

using namespace suite;

namespace {

UniformEngine seeded(std::int64_t seed) { return UniformEngine(seed); }

using BulkDraws = EveryTarget;

TEST_P(BulkDraws, MatchSingleDrawsValueByValueAndLeaveTheSameState)
{
    // Over several million values, in calls of every length from 0 up to
    // past a block (so the ring is packed and unpacked at every offset mod
    // 97 and the vector tails are all taken), interleaved with single draws.
    UniformEngine reference = seeded(0);
    UniformEngine bulk = reference;
    std::vector<std::uint32_t> out;
    std::int64_t compared = 0;
    for (std::size_t call = 0; compared < 3000000; ++call) {
        const std::size_t n = (call * 7919) % (BulkDrawer::block + 300);
        out.assign(n, 0);
        bulk.generate(out);
        for (std::size_t t = 0; t < n; ++t) {
            ASSERT_EQ(UniformEngine::to_double(out[t]), reference.next_double()) << "call " << call << ", value " << t;
        }
        ASSERT_EQ(bulk, reference) << "after call " << call;
        for (std::size_t single = 0; single < call % 5; ++single) {
            ASSERT_EQ(bulk(), reference());
        }
        compared += static_cast<std::int64_t>(n);
    }
}

TEST_P(BulkDraws, ReproduceThePublishedCheckValues)
{
    UniformEngine g = seeded(54217137);
    g();  // the seeding call's draw counts as the first of 20000
    std::vector<std::uint32_t> out(19999 + 6);
    g.generate(out);
    const std::vector<std::uint32_t> last(out.end() - 6, out.end());
    EXPECT_EQ(last, (std::vector<std::uint32_t>{6533892, 14220222, 7275067, 6172232, 8354498, 10633180}));
}

TEST_P(BulkDraws, BlocksAndDiscardsKeepTheStreamPosition)
{
    UniformEngine reference = seeded(0);
    UniformEngine g = reference;
    std::vector<std::uint32_t> seen;
    const auto keep = [&](std::span<const std::uint32_t> block) { seen.insert(seen.end(), block.begin(), block.end()); };
    draw_unit_blocks(g, 10007, 1000, keep);
    ASSERT_EQ(seen.size(), 10007u);
    EXPECT_EQ(UniformEngine::to_double(seen.back()), [&] {
        float last = 0.0f;
        for (int i = 0; i < 10007; ++i) {
            last = reference.next_float();
        }
        return static_cast<double>(last);
    }());
    EXPECT_EQ(g, reference);

    BulkDrawer drawer(g);
    drawer.discard(123457);
    drawer.store(g);
    for (int i = 0; i < 123457; ++i) {
        (void)reference();
    }
    EXPECT_EQ(g, reference);
}

TEST_P(BulkDraws, StepTheArithmeticTermOntoZero)
{
    // After 15418203 draws from seed 0 the term C equals its decrement, so
    // the next step C - cd mod cm is exactly 0 (not cm). Calls starting 0 to
    // n - 1 draws before that take the step at every position of the call:
    // in the lanes' first terms, the vector steps and the tail. A call of 32
    // ends on it with no tail after the vectors, where the term handed back
    // is not stepped again.
    constexpr std::uint64_t term_equals_decrement = 15418203;
    for (const std::size_t n : {1, 32, 40}) {
        for (std::size_t before = 0; before < n; ++before) {
            UniformEngine reference = seeded(0);
            EngineJump(term_equals_decrement - before).apply(reference);
            UniformEngine bulk = reference;
            std::vector<std::uint32_t> out(n);
            bulk.generate(out);
            for (std::size_t t = 0; t < n; ++t) {
                ASSERT_EQ(out[t], reference())
                    << "call of " << n << " from " << before << " draws before, value " << t;
            }
            ASSERT_EQ(bulk, reference) << "call of " << n << " from " << before << " draws before";
        }
    }
}

INSTANTIATE_FOR_EVERY_TARGET(BulkDraws);

}  // namespace

namespace {

using StreamJumps = EveryTarget;

TEST_P(StreamJumps, LandWhereSingleDrawsLand)
{
    // Distances around the lags and the ring's length, and far ones; from
    // a state in the middle of the ring.
    UniformEngine start = seeded(0);
    for (int i = 0; i < 50; ++i) {
        start();
    }
    for (const std::uint64_t distance : {0ull, 1ull, 32ull, 33ull, 34ull, 64ull, 96ull, 97ull, 98ull, 193ull, 194ull,
                                         1000ull, 123457ull, 4000003ull}) {
        UniformEngine jumped = start;
        EngineJump(distance).apply(jumped);
        UniformEngine walked = start;
        BulkDrawer drawer(walked);
        drawer.discard(static_cast<std::int64_t>(distance));
        drawer.store(walked);
        ASSERT_EQ(jumped, walked) << distance << " draws";
    }
}

TEST_P(StreamJumps, LengthenedStepByStepEqualsOneLongJump)
{
    // The bootstrap program's use: a jump past each row's N x 100 draws,
    // lengthened by 100 from row to row, with draws in between.
    UniformEngine direct = seeded(0);
    UniformEngine stepped = direct;
    EngineJump jump(0);
    for (std::uint64_t row = 1; row <= 300; ++row) {
        jump.lengthen(100);
        ASSERT_EQ(jump.distance(), 100 * row);
        jump.apply(stepped);
        BulkDrawer drawer(direct);
        drawer.discard(static_cast<std::int64_t>(100 * row));
        drawer.store(direct);
        ASSERT_EQ(stepped, direct) << "row " << row;
        for (int gap = 0; gap < 37; ++gap) {
            ASSERT_EQ(stepped(), direct());
        }
    }
    UniformEngine far = seeded(0);
    EngineJump(3'000'000'007ull).apply(far);
    UniformEngine composed = seeded(0);
    EngineJump(1'000'000'007ull).apply(composed);
    EngineJump(2'000'000'000ull).apply(composed);
    EXPECT_EQ(far, composed);
}

INSTANTIATE_FOR_EVERY_TARGET(StreamJumps);

}  // namespace
