#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// A sign of life for a long run: when standard error is a terminal, a line
// "<program>: 26 of 30 rows, 41 s" from the first second on, rewritten in
// place (a carriage return, no newline) whenever it changes, looked at four
// times a second by a thread of its own, which a single long row does not
// hold up, and blanked when the line is finished. When standard error is
// not a terminal (a log, a pipe, a test), nothing is written and no thread
// runs.
class ProgressLine {
public:
    ProgressLine(std::string program, std::int64_t rows);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ProgressLine(ProgressLine&&) = delete;
    ProgressLine& operator=(ProgressLine&&) = delete;
    ~ProgressLine();

    // One more row written; only the run's own thread counts.
    void row_done() noexcept { done_.store(done_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

    // Stops the line and clears it, before anything else goes to standard
    // error.
    void finish();

private:
    void show_until_finished();

    std::string program_;
    std::int64_t rows_;
    std::atomic<std::int64_t> done_{0};
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool finished_ = false;
    std::thread thread_;
};
