#include "progress_line.hpp"

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool standard_error_is_a_terminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

constexpr auto first_showing = std::chrono::seconds(1);
constexpr auto between_showings = std::chrono::milliseconds(250);

}  // namespace

ProgressLine::ProgressLine(std::string program, std::int64_t rows)
    : program_(std::move(program)), rows_(rows), start_(std::chrono::steady_clock::now())
{
    if (standard_error_is_a_terminal()) {
        thread_ = std::thread([this] { show_until_finished(); });
    }
}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::finish()
{
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void ProgressLine::show_until_finished()
{
    std::size_t shown = 0;  // the length of the line on the terminal
    std::string last;       // the line shown, to write only a new one
    std::unique_lock<std::mutex> lock(mutex_);
    auto next = start_ + first_showing;
    while (!wake_.wait_until(lock, next, [this] { return finished_; })) {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_).count();
        std::string line = program_ + ": " + std::to_string(done_.load(std::memory_order_relaxed)) + " of " +
                           std::to_string(rows_) + " rows, " + std::to_string(seconds) + " s";
        next += between_showings;
        if (line == last) {
            continue;
        }
        last = line;
        const std::size_t length = line.size();
        // Blanks over the end of a longer line shown before.
        line.append(shown > length ? shown - length : 0, ' ');
        (void)std::fprintf(stderr, "\r%s", line.c_str());
        (void)std::fflush(stderr);
        shown = length;
    }
    if (shown != 0) {
        (void)std::fprintf(stderr, "\r%s\r", std::string(shown, ' ').c_str());
        (void)std::fflush(stderr);
    }
}
