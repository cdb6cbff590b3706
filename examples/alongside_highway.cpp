// A program with SIMD code of its own, on Highway, beside the library: both
// dispatch through Highway's one choice of instruction set, and Highway's
// own controls over that choice still work (here: turning off the widest
// instruction set), while the library's draws stay the same bits.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "alongside_highway.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <array>
#include <cstdint>
#include <cstdio>

#include "suite/uniform_engine.hpp"

HWY_BEFORE_NAMESPACE();
namespace example::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The program's own loop: the sum of 1, 2, ..., n, a vector of lanes at a
// time; and the instruction set it was compiled for.
double sum_up_to(int n)
{
    const hn::ScalableTag<double> d;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    auto sums = hn::Zero(d);
    auto values = hn::Iota(d, 1.0);
    const auto step = hn::Set(d, static_cast<double>(lanes));
    int i = 0;
    for (; i + lanes <= n; i += lanes) {
        sums = hn::Add(sums, values);
        values = hn::Add(values, step);
    }
    double sum = hn::GetLane(hn::SumOfLanes(d, sums));
    for (++i; i <= n; ++i) {
        sum += i;
    }
    return sum;
}

std::int64_t compiled_for() { return HWY_TARGET; }

}  // namespace example::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace example {
HWY_EXPORT(sum_up_to);
HWY_EXPORT(compiled_for);

// The first values of seed 0 through the library's bulk loop.
void print_first_draws()
{
    suite::UniformEngine engine;
    std::array<suite::UniformEngine::result_type, 3> first{};
    engine.generate(first);
    std::printf("suite: %u %u %u\n", static_cast<unsigned>(first[0]), static_cast<unsigned>(first[1]),
                static_cast<unsigned>(first[2]));
}
}  // namespace example

int main()
{
    using namespace example;
    print_first_draws();
    const std::int64_t widest = HWY_DYNAMIC_DISPATCH(compiled_for)();
    std::printf("highway: sum 1..1000 = %.0f on %s\n", HWY_DYNAMIC_DISPATCH(sum_up_to)(1000),
                hwy::TargetName(widest));

    // The instruction sets the build may assume cannot be turned off.
    if ((widest & HWY_ENABLED_BASELINE) != 0) {
        std::printf("highway: %s is the baseline, nothing narrower to turn to\n", hwy::TargetName(widest));
        return 0;
    }
    hwy::DisableTargets(widest);
    const std::int64_t narrower = HWY_DYNAMIC_DISPATCH(compiled_for)();
    std::printf("highway: sum 1..1000 = %.0f on %s, with %s turned off\n", HWY_DYNAMIC_DISPATCH(sum_up_to)(1000),
                hwy::TargetName(narrower), hwy::TargetName(widest));
    print_first_draws();
    return 0;
}
#endif
