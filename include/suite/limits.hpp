#pragma once

#include <cstddef>
#include <cstdint>

namespace suite::limits {

// The one table of the suite's limits. The programs' options, the replica
// study, the Python module and the library's own checks all read these
// names; the documentation lists them once. Each says why it is where it is.

// Seeds of the generator: the lagged-Fibonacci initialisation splits a seed
// into two factors below 30082 and 31329, which leaves 0 to 900000000.
inline constexpr std::int64_t min_seed = 0;
inline constexpr std::int64_t max_seed = 900000000;

// Threads of one computation: far above any machine's cores, low enough
// that a mistyped count cannot ask the system for millions of threads.
inline constexpr std::int64_t max_threads = 1024;

// Replica programs run at once by a study: the most handles that Windows
// waits for in one call.
inline constexpr std::int64_t max_jobs = 64;

// Metropolis updates between two samples of a chain.
inline constexpr std::int64_t default_updates_per_sample = 1000;
inline constexpr std::int64_t max_updates_per_sample = 1000000000;

// Bootstrap resamples: the resample means are held in memory, and ranks
// beyond a million resolve quantiles no series of ours can use.
inline constexpr std::size_t max_bootstrap_resamples = std::size_t{1} << 20;

// Values of a bootstrapped series: a resample index is held in 32 bits.
// (At 8 bytes a value, 32 GiB of them; memory is the tighter bound.)
inline constexpr std::size_t max_bootstrap_values = 0xFFFFFFFFu;

}  // namespace suite::limits
