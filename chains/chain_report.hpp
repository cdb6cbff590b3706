#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The results of chain_errors as text for people, tab-separated columns or
// JSON, each number with the digits its error justifies.

// A value and its error written to the error's second significant digit:
// 0.012345 +- 0.0004567 is "0.01235" and "0.00046". A zero or non-finite
// error leaves the value at full precision.
struct RoundedPair {
    std::string value;
    std::string error;
};
RoundedPair round_to_error(double value, double error);

// One method's estimate of the mean and of its error.
struct MethodReport {
    std::string method;  // "gamma", "binning" or "block-bootstrap"
    double mean = 0;
    double error = 0;
    double tau_int = 0;
    double tau_int_error = 0;
    double effective_samples = 0;
    // What the method chose: the Gamma method's summation window W, the
    // binning level (bins of `bin_size` values), the bootstrap's mean block
    // length.
    std::uint64_t choice = 0;
    std::uint64_t bin_size = 0;
    // sigma / sqrt(N): the error the mean would have if the values were
    // independent, the same for every method.
    double naive_error = 0;
};

// Where the chain came from, for the text's first line.
struct ChainSource {
    std::string name;         // a file name, or "standard input"
    std::int64_t column = 0;  // 0: the last
    bool only_column = false;  // a 1-D array, whose column goes unsaid
    std::int64_t values = 0;
};

std::string text_report(const ChainSource& source, const std::vector<MethodReport>& reports);
// A '#' header line, then a line per method.
std::string tsv_report(const std::vector<MethodReport>& reports);
// One object for one method, an array of objects for several.
std::string json_report(const std::vector<MethodReport>& reports);
