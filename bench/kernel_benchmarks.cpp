// Micro-benchmarks of the kernel's hot paths, each on every instruction set
// compiled for and supported by this processor where the kernel has more
// than one.
#include <benchmark/benchmark.h>

#if SUITE_SIMD
#include <hwy/targets.h>
#endif

#include <cmath>
#include <cstdint>
#include <vector>

#include "bootstrap.hpp"
#include "jackknife.hpp"
#include "metropolis.hpp"
#include "random.hpp"
#include "simd_target.hpp"
#include "test_functions.hpp"
#include "update_kernels.hpp"

namespace {

UniformGenerator seeded()
{
    UniformGenerator g;
    g.seed(0);
    return g;
}

// The observable along a chain, as the bootstrap and jackknife programs see
// it.
std::vector<double> chain_values(std::size_t n)
{
    UniformGenerator g = seeded();
    FastSweeper sampler;
    Point3 point;
    draw_point(point, g);
    std::vector<double> values(n);
    for (double& value : values) {
        sampler.sweep(point, 1000, g);
        value = moment_observable(point);
    }
    return values;
}

// The argument is the instruction set (a Highway target bit; 0 in the plain
// build).
void each_path(benchmark::internal::Benchmark* b)
{
#if SUITE_SIMD
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        b->Arg(target);
    }
#else
    b->Arg(0);
#endif
}

// Restricts the kernel's dispatch to the benchmark's instruction set for
// the life of the object, and names it in the benchmark's label.
class OnTarget {
public:
    explicit OnTarget(benchmark::State& state)
    {
#if SUITE_SIMD
        hwy::SetSupportedTargetsForTest(state.range(0));
#endif
        state.SetLabel(simd_target_name());
    }
    OnTarget(const OnTarget&) = delete;
    OnTarget(OnTarget&&) = delete;
    OnTarget& operator=(const OnTarget&) = delete;
    OnTarget& operator=(OnTarget&&) = delete;
    ~OnTarget()
    {
#if SUITE_SIMD
        hwy::SetSupportedTargetsForTest(0);
#endif
    }
};

void BM_RandomSingleDraw(benchmark::State& state)
{
    Random(0);  // seeds the process-wide stream (and prints its notice) once
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(Random(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomSingleDraw);

void BM_BulkDraws(benchmark::State& state)
{
    const OnTarget on(state);
    UniformGenerator g = seeded();
    std::vector<std::uint32_t> out(4000);
    for ([[maybe_unused]] auto _ : state) {
        draw_units(g, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_BulkDraws)->Apply(each_path);

// The chain pass of the bootstrap jumps over each row's 100 N draws.
void BM_JumpPastRow8000(benchmark::State& state)
{
    const OnTarget on(state);
    UniformGenerator g = seeded();
    StreamJump jump(800000);
    for ([[maybe_unused]] auto _ : state) {
        jump.apply(g);
        benchmark::DoNotOptimize(g);
    }
}
BENCHMARK(BM_JumpPastRow8000)->Apply(each_path);

// A thread's first jump, to a row far into the stream.
void BM_JumpPolynomial(benchmark::State& state)
{
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(StreamJump(2'000'000'000));
    }
}
BENCHMARK(BM_JumpPolynomial)->Unit(benchmark::kMicrosecond);

void BM_MetropolisUpdatePlain(benchmark::State& state)
{
    UniformGenerator g = seeded();
    Point3 point;
    draw_point(point, g);
    for ([[maybe_unused]] auto _ : state) {
        step(point, g);
        benchmark::DoNotOptimize(point);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MetropolisUpdatePlain);

// One update of a fast sweep, timed over sweeps of 1000.
void BM_MetropolisUpdateFast(benchmark::State& state)
{
    const OnTarget on(state);
    UniformGenerator g = seeded();
    FastSweeper sampler;
    Point3 point;
    draw_point(point, g);
    for ([[maybe_unused]] auto _ : state) {
        sampler.sweep(point, 1000, g);
        benchmark::DoNotOptimize(point);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_MetropolisUpdateFast)->Apply(each_path);

// The prepared thresholds of a block of updates, the sweep's widest loop.
void BM_PrepareUpdates1024(benchmark::State& state)
{
    const OnTarget on(state);
    LogTables tables{};
    for (std::size_t i = 0; i < 16; ++i) {
        tables.log[i] = std::log(1.0 + static_cast<double>(i) / 16.0);
        tables.inverse[i] = 1.0 / (1.0 + static_cast<double>(i) / 16.0);
    }
    constexpr std::size_t updates = 1024;
    UniformGenerator g = seeded();
    std::vector<std::uint32_t> draws(4 * updates);
    draw_units(g, draws);
    std::vector<std::int64_t> prepared(3 * updates);
    PrepareUpdates* const prepare = prepare_updates_kernel();
    for ([[maybe_unused]] auto _ : state) {
        prepare(tables, draws.data(), updates, {prepared.data(), prepared.data() + updates, prepared.data() + 2 * updates});
        benchmark::DoNotOptimize(prepared.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(updates));
}
BENCHMARK(BM_PrepareUpdates1024)->Apply(each_path);

void BM_BootstrapRow8000(benchmark::State& state)
{
    const OnTarget on(state);
    const std::vector<double> values = chain_values(8000);
    UniformGenerator g = seeded();
    std::vector<double> means(100);
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(bootstrap_interval_drawn(values, means, g));
    }
    state.SetItemsProcessed(state.iterations() * 8000 * 100);
}
BENCHMARK(BM_BootstrapRow8000)->Apply(each_path)->Unit(benchmark::kMicrosecond);

void BM_JackknifeRow9999Plain(benchmark::State& state)
{
    const std::vector<double> values = chain_values(9999);
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(jackknife_error(values, 2.43));
    }
}
BENCHMARK(BM_JackknifeRow9999Plain)->Unit(benchmark::kMicrosecond);

void BM_JackknifeRow9999Fast(benchmark::State& state)
{
    const OnTarget on(state);
    const std::vector<double> values = chain_values(9999);
    std::vector<double> prefix{0.0};
    // A loop, like the kernel's sums, so the order of the additions is seen.
    for (const double value : values) {
        // cppcheck-suppress useStlAlgorithm
        prefix.push_back(prefix.back() + value);
    }
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(jackknife_error_fast(values, prefix, 2.43));
    }
}
BENCHMARK(BM_JackknifeRow9999Fast)->Apply(each_path)->Unit(benchmark::kMicrosecond);

}  // namespace
