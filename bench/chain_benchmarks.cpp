// Benchmarks of the error analyses of correlated chains on AR(1) chains:
// the streaming binning analysis on every instruction set (its throughput
// is the point: it must keep up with memory), the Gamma method with its
// automatic choice between direct lag sums and the transform, and a block
// bootstrap. Arguments: the instruction set (a Highway target bit, 0 for
// the chosen one), log10 of the chain length, and phi in thousandths.
#include <benchmark/benchmark.h>

#if SUITE_SIMD
#include <hwy/targets.h>
#endif

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "ar1_chain.hpp"
#include "benchmark_target.hpp"
#include "simd_target.hpp"
#include "suite/chain_errors.hpp"

using namespace suite;

namespace {

const std::vector<double>& chain(const benchmark::State& state)
{
    static std::map<std::pair<std::int64_t, std::int64_t>, std::vector<double>> chains;
    const std::pair<std::int64_t, std::int64_t> key{state.range(1), state.range(2)};
    auto found = chains.find(key);
    if (found == chains.end()) {
        std::size_t n = 1;
        for (std::int64_t i = 0; i < key.first; ++i) {
            n *= 10;
        }
        found = chains.emplace(key, ar1::chain(static_cast<double>(key.second) / 1000.0, n, 1)).first;
    }
    return found->second;
}

// The widest `most` instruction sets at the given lengths and correlations.
void each_path(benchmark::internal::Benchmark* b, const std::vector<std::int64_t>& lengths, std::size_t most)
{
#if SUITE_SIMD
    std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
#else
    std::vector<std::int64_t> targets = {0};
#endif
    targets.resize(std::min(targets.size(), most));
    for (const std::int64_t target : targets) {
        for (const std::int64_t length : lengths) {
            for (const std::int64_t phi : {900, 999}) {
                b->Args({target, length, phi});
            }
        }
    }
}

void BM_Binning(benchmark::State& state)
{
    const std::vector<double>& x = chain(state);
    const OnTarget on(state);
    for ([[maybe_unused]] auto _ : state) {
        BinningAnalysis analysis;
        analysis.add(x);
        benchmark::DoNotOptimize(analysis.result());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(x.size() * sizeof(double)));
}
BENCHMARK(BM_Binning)
    ->Apply([](benchmark::internal::Benchmark* b) { each_path(b, {6, 7, 8}, 8); })
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_GammaMethod(benchmark::State& state)
{
    const std::vector<double>& x = chain(state);
    const OnTarget on(state);
    GammaResult result;
    for ([[maybe_unused]] auto _ : state) {
        result = gamma_analysis(x);
        benchmark::DoNotOptimize(result.error);
    }
    state.counters["window"] = static_cast<double>(result.window);
    state.counters["fourier"] = result.used_fourier ? 1 : 0;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
}
BENCHMARK(BM_GammaMethod)
    ->Apply([](benchmark::internal::Benchmark* b) { each_path(b, {6, 7}, 2); })
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_StationaryBootstrap(benchmark::State& state)
{
    const std::vector<double>& x = chain(state);
    for ([[maybe_unused]] auto _ : state) {
        UniformEngine engine(1);
        benchmark::DoNotOptimize(block_bootstrap(x, {BlockScheme::stationary, 0, 1000, 0.95, 1}, engine).error);
    }
    state.SetItemsProcessed(state.iterations() * 1000 * static_cast<std::int64_t>(x.size()));
}
BENCHMARK(BM_StationaryBootstrap)
    ->Args({0, 6, 900})
    ->Args({0, 6, 999})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
