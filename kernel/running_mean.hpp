#pragma once

#include <cstdint>

#include "table_writer.hpp"

// The driver of the uniform Monte Carlo experiments: for each counter value
// i = first, first + 1, ..., end - 1 take one sample, add it to a running sum
// that starts at 0, and write the row "i<TAB>sum / i". The counter is the
// divisor, so a table that starts at 2 divides k samples by k + 1.
template <class Sample>
void write_running_means(TableWriter& table, std::int64_t first, std::int64_t end, Sample&& sample)
{
    double sum = 0.0;
    for (std::int64_t i = first; i < end; ++i) {
        sum = sum + sample();
        table.row(static_cast<int>(i), sum / static_cast<double>(i));
    }
}
