#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "suite/chain_errors.hpp"
#include "suite/uniform_engine.hpp"

// Every error bar of the suite on one growing chain, for the experiments that
// measure how often each covers the exact value. At a checkpoint N the row
// holds, for the first N values:
//   mean                       the sum in order over N
//   naive_error                s / sqrt(N), as if the values were independent
//   jackknife_error            the ten-block jackknife (nan below 10 values)
//   bootstrap_lower, _upper    the i.i.d. bootstrap, 100 resamples, the
//                              order statistics 15 and 84 (0-based): 68.3 %
//   binning_error              the binning analysis at its chosen level
//   gamma_error                the Gamma method, S = 1.5
//   block_bootstrap_lower, _upper  the circular block bootstrap, automatic
//                              block length, the library's 1000
//                              resamples (each costs only N / b block
//                              sums), 68.27 %
//   gamma_tau_int              the Gamma method's tau_int, to read N / tau_int
// Methods that cannot judge a constant series (the Gamma method and the
// block bootstrap, whose length comes from it) write nan there. The
// resamples draw from an engine of their own, so the chain is the same
// whichever methods run.
class ErrorCheckpoints {
public:
    static constexpr std::size_t columns = 10;

    explicit ErrorCheckpoints(const suite::UniformEngine& resampling) : resampling_(resampling) {}

    // The row for `values`, the chain so far: it must extend the values of
    // the previous call (the binning analysis streams only the new ones).
    std::array<double, columns> row(std::span<const double> values);

private:
    suite::BinningAnalysis binning_;
    std::size_t binned_ = 0;
    suite::UniformEngine resampling_;
};
