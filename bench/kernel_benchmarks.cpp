// Micro-benchmarks of the kernel's hot paths, each on every instruction-set
// path this processor runs where the kernel has more than one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bootstrap.hpp"
#include "jackknife.hpp"
#include "metropolis.hpp"
#include "random.hpp"
#include "simd.hpp"
#include "test_functions.hpp"

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

void each_path(benchmark::internal::Benchmark* b)
{
    for (const SimdPath path : supported_simd_paths()) {
        b->Arg(static_cast<int>(path));
    }
}

SimdPath path_of(const benchmark::State& state) { return static_cast<SimdPath>(state.range(0)); }

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
    UniformGenerator g = seeded();
    std::vector<std::uint32_t> out(4000);
    for ([[maybe_unused]] auto _ : state) {
        draw_units(g, out, path_of(state));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
    state.SetLabel(simd_path_name(path_of(state)));
}
BENCHMARK(BM_BulkDraws)->Apply(each_path);

// The chain pass of the bootstrap jumps over each row's 100 N draws.
void BM_JumpPastRow8000(benchmark::State& state)
{
    UniformGenerator g = seeded();
    StreamJump jump(800000);
    for ([[maybe_unused]] auto _ : state) {
        jump.apply(g, path_of(state));
        benchmark::DoNotOptimize(g);
    }
    state.SetLabel(simd_path_name(path_of(state)));
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
    UniformGenerator g = seeded();
    FastSweeper sampler(path_of(state));
    Point3 point;
    draw_point(point, g);
    for ([[maybe_unused]] auto _ : state) {
        sampler.sweep(point, 1000, g);
        benchmark::DoNotOptimize(point);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetLabel(simd_path_name(path_of(state)));
}
BENCHMARK(BM_MetropolisUpdateFast)->Apply(each_path);

void BM_BootstrapRow8000(benchmark::State& state)
{
    const std::vector<double> values = chain_values(8000);
    UniformGenerator g = seeded();
    std::vector<double> means(100);
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(bootstrap_interval_drawn(values, means, g, path_of(state)));
    }
    state.SetItemsProcessed(state.iterations() * 8000 * 100);
    state.SetLabel(simd_path_name(path_of(state)));
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
    const std::vector<double> values = chain_values(9999);
    std::vector<double> prefix{0.0};
    // A loop, like the kernel's sums, so the order of the additions is seen.
    for (const double value : values) {
        // cppcheck-suppress useStlAlgorithm
        prefix.push_back(prefix.back() + value);
    }
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(jackknife_error_fast(values, prefix, 2.43, path_of(state)));
    }
    state.SetLabel(simd_path_name(path_of(state)));
}
BENCHMARK(BM_JackknifeRow9999Fast)->Apply(each_path)->Unit(benchmark::kMicrosecond);

}  // namespace
