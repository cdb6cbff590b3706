#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// Replicas done of those to run, elapsed and estimated remaining time: one
// line rewritten in place on a terminal, else a line per tenth.
class Progress {
public:
    explicit Progress(std::int64_t total);

    void done(std::int64_t count);

    // Ends the rewritten line before another message.
    void interrupt();

private:
    std::int64_t total_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    std::int64_t last_tenth_ = 0;
    std::size_t shown_ = 0;
};
