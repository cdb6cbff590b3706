#include "progress.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "process.hpp"
#include "study.hpp"

namespace {

std::string seconds(double s)
{
    std::array<char, 32> text{};
    if (s < 60) {
        (void)std::snprintf(text.data(), text.size(), "%.0f s", s);
    } else {
        (void)std::snprintf(text.data(), text.size(), "%d min %02d s", static_cast<int>(s) / 60,
                            static_cast<int>(s) % 60);
    }
    return text.data();
}

}  // namespace

Progress::Progress(std::int64_t total) : total_(total), start_(std::chrono::steady_clock::now())
{
    if (total_ > 0 && standard_error_is_terminal()) {
        ticker_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!stopped_) {
                if (!wake_.wait_for(lock, shown_after, [this] { return stopped_; })) {
                    draw();
                }
            }
        });
    }
}

Progress::~Progress() { stop(); }

void Progress::done(std::int64_t count)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    count_ = count;
    if (ticker_.joinable() && !stopped_) {
        draw();
    }
}

void Progress::draw()
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (shown_ == 0 && elapsed < std::chrono::duration<double>(shown_after).count()) {
        return;
    }
    std::string line = "ensemble: " + std::to_string(count_) + " of " + count_of(total_, "replica") + " done, " +
                       seconds(elapsed) + " elapsed";
    if (count_ > 0 && count_ < total_) {
        // The replicas so far at the pace so far.
        line += ", about " + seconds(elapsed / static_cast<double>(count_) * static_cast<double>(total_ - count_)) +
                " left";
    }
    // Blanks cover the end of a longer line before.
    const std::size_t width = std::max(line.size(), shown_);
    shown_ = line.size();
    line.resize(width, ' ');
    (void)std::fprintf(stderr, "\r%s", line.c_str());
    (void)std::fflush(stderr);
}

void Progress::stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
        if (shown_ > 0) {
            (void)std::fputs("\n", stderr);
            (void)std::fflush(stderr);
        }
    }
    wake_.notify_all();
    if (ticker_.joinable()) {
        ticker_.join();
    }
}

void Progress::finish() { stop(); }
