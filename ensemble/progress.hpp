#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

// Replicas done of those to run, elapsed and estimated remaining time: one
// line on standard error, rewritten in place each second and at each
// replica done, once the study has run for a second; nothing at all when
// standard error is not a terminal.
class Progress {
public:
    static constexpr std::chrono::seconds shown_after{1};

    explicit Progress(std::int64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    Progress(Progress&&) = delete;
    Progress& operator=(Progress&&) = delete;

    void done(std::int64_t count);

    // Ends the line, if one is shown, before another message; nothing is
    // drawn after it.
    void finish();

private:
    void draw();  // with mutex_ held
    void stop();

    std::int64_t total_;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::int64_t count_ = 0;
    bool stopped_ = false;
    std::size_t shown_ = 0;
    std::thread ticker_;  // redraws the line while no replica ends
};
