#pragma once

#include <cstdint>
#include <filesystem>

#include "aggregate.hpp"

// The coverage of each of the program's error methods, written beside the
// aggregate (see Aggregate::coverage_text).
inline const char* const coverage_file_name = "coverage.tsv";

// Aggregates the replica tables in `dir`, in the order of their seeds and
// one table in memory at a time, into DIR/aggregate.dat and, for a program
// with its own error estimates, DIR/coverage.tsv, and returns the
// number of replicas. The folder's study is of R replicas, R the count its
// study.txt records or the largest seed present, whichever is larger, and
// every seed from 1 to R needs its table, named canonically
// (<program>-<seed>.dat, no leading zeros). Throws StudyError naming a
// missing replica, a table that is not whole, a name that is not canonical,
// or tables of two programs. Each file is written whole or not at all;
// after a failure none is left that disagrees with the folder.
std::int64_t collect(const std::filesystem::path& dir);

// The same, returning the aggregate it wrote, whose rows() are the numbers
// of aggregate.dat at full precision.
Aggregate collect_aggregate(const std::filesystem::path& dir);
