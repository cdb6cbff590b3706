#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "suite/limits.hpp"

namespace suite {

// Runs work(first, last) over `count` items cut into at most `threads`
// contiguous ranges, one per thread (the caller takes the first), and
// rethrows the first range's exception once all have stopped. The ranges
// only decide who computes what: each item's result is the same wherever
// it runs. A thread that cannot start leaves its range to the caller.
template <class Work>
void run_in_ranges(std::size_t count, unsigned threads, const Work& work)
{
    if (threads < 1 || threads > static_cast<unsigned>(limits::max_threads)) {
        throw std::invalid_argument("threads: needs 1 to " + std::to_string(limits::max_threads));
    }
    const std::size_t parts = std::max<std::size_t>(1, std::min<std::size_t>(threads, count));
    std::vector<std::exception_ptr> failures(parts);
    const auto run = [&](std::size_t part) {
        try {
            work(count * part / parts, count * (part + 1) / parts);
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    std::vector<std::thread> started;
    started.reserve(parts);
    for (std::size_t part = 1; part < parts; ++part) {
        try {
            started.emplace_back(run, part);
        } catch (const std::system_error&) {
            run(part);
        }
    }
    run(0);
    for (std::thread& thread : started) {
        thread.join();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

}  // namespace suite
