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

Progress::Progress(std::int64_t total)
    : total_(total), terminal_(standard_error_is_terminal()), start_(std::chrono::steady_clock::now())
{
}

void Progress::done(std::int64_t count)
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double left = elapsed / static_cast<double>(count) * static_cast<double>(total_ - count);
    const std::int64_t tenth = count * 10 / total_;
    if (!terminal_ && tenth == last_tenth_) {
        return;
    }
    last_tenth_ = tenth;
    std::string line = "ensemble: " + std::to_string(count) + " of " + count_of(total_, "replica") + " done, " +
                       seconds(elapsed) + " elapsed";
    if (count < total_) {
        line += ", about " + seconds(left) + " left";
    }
    if (terminal_) {
        // Blanks cover the end of a longer line before.
        const std::size_t width = std::max(line.size(), shown_);
        shown_ = line.size();
        line.resize(width, ' ');
        (void)std::fprintf(stderr, "\r%s%s", line.c_str(), count == total_ ? "\n" : "");
    } else {
        (void)std::fprintf(stderr, "%s\n", line.c_str());
    }
    (void)std::fflush(stderr);
}

void Progress::interrupt()
{
    if (terminal_ && shown_ > 0) {
        (void)std::fputs("\n", stderr);
        shown_ = 0;
    }
}
