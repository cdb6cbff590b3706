// Micro-benchmarks of the kernel's hot paths, each on every instruction set
// compiled for and supported by this processor where the kernel has more
// than one.
#include <benchmark/benchmark.h>

#if SUITE_SIMD
#include <hwy/targets.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "benchmark_target.hpp"
#include "bootstrap_resampling.hpp"
#include "growing_series.hpp"
#include "plain_estimators.hpp"
#include "simd_target.hpp"
#include "stream_drawing.hpp"
#include "suite/estimators.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"
#include "update_kernels.hpp"

using namespace suite;

namespace {

UniformEngine seeded() { return UniformEngine(0); }

// The observable along a chain, as the bootstrap and jackknife programs see
// it.
std::vector<double> chain_values(std::size_t n)
{
    UniformEngine g = seeded();
    GaussianSweeper sampler(weight_normalisation);
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

void BM_RandomSingleDraw(benchmark::State& state)
{
    UniformEngine g = seeded();
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(g());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomSingleDraw);

void BM_BulkDraws(benchmark::State& state)
{
    const OnTarget on(state);
    UniformEngine g = seeded();
    std::vector<std::uint32_t> out(4000);
    for ([[maybe_unused]] auto _ : state) {
        g.generate(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_BulkDraws)->Apply(each_path);

// 4000 resample indices of 10^6 values: the fair draw (two values each) and
// the scaled one (one value each).
void BM_FairIndices(benchmark::State& state)
{
    const OnTarget on(state);
    BulkDrawer drawer(seeded());
    std::vector<std::uint32_t> out(4000);
    for ([[maybe_unused]] auto _ : state) {
        drawer.draw_fair_indices(out.data(), out.size(), 1000000);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_FairIndices)->Apply(each_path);

void BM_ScaledIndices(benchmark::State& state)
{
    const OnTarget on(state);
    BulkDrawer drawer(seeded());
    std::vector<std::uint32_t> out(4000);
    for ([[maybe_unused]] auto _ : state) {
        drawer.draw_indices(out.data(), out.size(), 1000000);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_ScaledIndices)->Apply(each_path);

// The chain pass of the bootstrap jumps over each row's 100 N draws.
void BM_JumpPastRow8000(benchmark::State& state)
{
    const OnTarget on(state);
    UniformEngine g = seeded();
    EngineJump jump(800000);
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
        benchmark::DoNotOptimize(EngineJump(2'000'000'000));
    }
}
BENCHMARK(BM_JumpPolynomial)->Unit(benchmark::kMicrosecond);

void BM_MetropolisUpdatePlain(benchmark::State& state)
{
    UniformEngine g = seeded();
    Point3 point;
    draw_point(point, g);
    for ([[maybe_unused]] auto _ : state) {
        metropolis_step(point, P, g);
        benchmark::DoNotOptimize(point);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MetropolisUpdatePlain);

// One update of a fast sweep, timed over sweeps of 1000.
void BM_MetropolisUpdateFast(benchmark::State& state)
{
    const OnTarget on(state);
    UniformEngine g = seeded();
    GaussianSweeper sampler(weight_normalisation);
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
        // cppcheck-suppress unpreciseMathCall
        tables.log[i] = std::log(1.0 + static_cast<double>(i) / 16.0);
        tables.inverse[i] = 1.0 / (1.0 + static_cast<double>(i) / 16.0);
    }
    constexpr std::size_t updates = 1024;
    UniformEngine g = seeded();
    std::vector<std::uint32_t> draws(4 * updates);
    g.generate(draws);
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
    UniformEngine g = seeded();
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(bootstrap_interval(values, historic::bootstrap_plan, g));
    }
    state.SetItemsProcessed(state.iterations() * 8000 * 100);
}
BENCHMARK(BM_BootstrapRow8000)->Apply(each_path)->Unit(benchmark::kMicrosecond);

void BM_JackknifeRow9999Plain(benchmark::State& state)
{
    const std::vector<double> values = chain_values(9999);
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(historic::jackknife_error(values, 2.43));
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
        GrowingJackknifeSums sums;
        benchmark::DoNotOptimize(historic::jackknife_error_from_sums(sums.leave_one_out_sums(values, prefix), 9999, 2.43));
    }
}
BENCHMARK(BM_JackknifeRow9999Fast)->Apply(each_path)->Unit(benchmark::kMicrosecond);

// The library's estimators on a caller's series of 10^6 values, beside the
// loops a user would write: a jackknife that recomputes each leave-one-out
// mean from the values, and a bootstrap that draws an index table and sorts
// the resample means.
constexpr std::size_t series_length = 1000000;

void BM_SeriesJackknifeLibrary(benchmark::State& state)
{
    const std::vector<double> values = chain_values(series_length);
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(jackknife_error(values, 10));
    }
}
BENCHMARK(BM_SeriesJackknifeLibrary)->Unit(benchmark::kMillisecond);

void BM_SeriesJackknifeStraightforward(benchmark::State& state)
{
    const std::vector<double> values = chain_values(series_length);
    const std::size_t n = values.size();
    for ([[maybe_unused]] auto _ : state) {
        double mean = 0.0;
        for (const double v : values) {
            // cppcheck-suppress useStlAlgorithm
            mean += v;
        }
        mean /= static_cast<double>(n);
        double squares = 0.0;
        for (std::size_t b = 0; b < 10; ++b) {
            double sum = 0.0;
            std::size_t count = 0;
            for (std::size_t k = 0; k < n; ++k) {
                if (k < b * n / 10 || k >= (b + 1) * n / 10) {
                    sum += values[k];
                    ++count;
                }
            }
            const double m = sum / static_cast<double>(count);
            squares += (m - mean) * (m - mean);
        }
        benchmark::DoNotOptimize(std::sqrt(0.9 * squares));
    }
}
BENCHMARK(BM_SeriesJackknifeStraightforward)->Unit(benchmark::kMillisecond);

// The library's bootstrap of a series of range(1) values, 100 resamples on
// one thread: the fair draw of bootstrap_interval() (two values an index,
// with rejection) beside the experiments' scaled draw trunc(n r) of one
// value, which is not uniform.
void BM_SeriesBootstrapFair(benchmark::State& state)
{
    const OnTarget on(state);
    const std::vector<double> values = chain_values(static_cast<std::size_t>(state.range(1)));
    UniformEngine g = seeded();
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(bootstrap_interval(values, {100, 16, 84}, g));
    }
}

void BM_SeriesBootstrapScaled(benchmark::State& state)
{
    const OnTarget on(state);
    const std::vector<double> values = chain_values(static_cast<std::size_t>(state.range(1)));
    UniformEngine g = seeded();
    std::vector<double> means(100);
    for ([[maybe_unused]] auto _ : state) {
        BulkDrawer drawer(g);
        benchmark::DoNotOptimize(bootstrap_interval_drawn(values, means, {100, 16, 84}, drawer));
        drawer.store(g);
    }
}

// Each instruction set at 10^4 and 10^6 values.
void each_path_and_length(benchmark::internal::Benchmark* b)
{
#if SUITE_SIMD
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        b->Args({target, 10000})->Args({target, series_length});
    }
#else
    b->Args({0, 10000})->Args({0, series_length});
#endif
}
BENCHMARK(BM_SeriesBootstrapFair)->Apply(each_path_and_length)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesBootstrapScaled)->Apply(each_path_and_length)->Unit(benchmark::kMillisecond);

void BM_SeriesBootstrapStraightforward(benchmark::State& state)
{
    const std::vector<double> values = chain_values(series_length);
    const std::size_t n = values.size();
    std::mt19937_64 random(1);  // NOLINT(cert-msc32-c,cert-msc51-cpp): a fixed stream, as a benchmark wants
    std::uniform_int_distribution<std::size_t> pick(0, n - 1);
    std::vector<double> means(100);
    for ([[maybe_unused]] auto _ : state) {
        for (double& mean : means) {
            double sum = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                sum += values[pick(random)];
            }
            mean = sum / static_cast<double>(n);
        }
        std::sort(means.begin(), means.end());
        benchmark::DoNotOptimize(means[16] + means[84]);
    }
}
BENCHMARK(BM_SeriesBootstrapStraightforward)->Unit(benchmark::kMillisecond);

}  // namespace
