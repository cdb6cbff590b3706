#pragma once

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace suite {

// A table that could not be created, written or closed: what() says
// "cannot <create|write> <file>: <reason>". quiet() is true for a reader
// that closed the pipe of standard output, the usual end of
// `program | head`, which needs no message.
class TableWriteError : public std::runtime_error {
public:
    TableWriteError(const std::string& what, bool quiet) : std::runtime_error(what), quiet_(quiet) {}
    bool quiet() const { return quiet_; }

private:
    bool quiet_;
};

// Writes a program's table and makes sure it arrived: a table that could not
// be created, written or closed throws TableWriteError (the programs end
// with "<program>: cannot <create|write> <file>: <reason>" and status 1).
// Nothing is reported as success after a failed write, and a write that
// fails stops the run at once, not after the last row.
//
// A row is a count and values: "%i" and "\t%f" for each value, then "\n",
// in printf's terms. The bytes do not depend on the system or its C
// library: the digits come from std::to_chars (correctly rounded to six
// decimals, the "C" locale's printf digits), lines end in "\n", never
// "\r\n", and a value that is not finite is spelled by the writer, "-nan"
// for every not-a-number whatever its sign bit, "inf" and "-inf".
//
// A table file that is a regular file (or does not exist yet) is replaced
// whole: the rows go to a temporary file beside it (beside the file a
// symbolic link points to, a relative link read from the link's own
// folder), which takes the old file's permission bits and is renamed over it
// only after the last row was written and closed. Where the system has
// anonymous files (Linux O_TMPFILE), the temporary file has no name until
// the moment it is renamed, so that not even SIGKILL leaves it behind.
// Elsewhere it is ".<table>.<host>.<pid>.<random>" from the start (the
// same name the anonymous file takes at the end). Every writer first
// removes the temporary files of its table left by a process of this host
// that no longer exists (SIGKILL, a crash). A failure or an abandoned writer
// (destroyed without close) removes the temporary file and leaves the old
// table as it was. A device, a pipe, or a file whose folder takes no new
// file is written in place.
//
// The writer installs no signal handler and holds no state outside itself:
// a program that wants a signal to leave no temporary file calls
// remove_temporary() from its handler.
class TableWriter {
public:
    // Creates `path` (relative to the working directory), or replaces it.
    TableWriter(const char* program, const char* path);

    // Writes to standard output instead of a file.
    static TableWriter standard_output(const char* program);

    TableWriter(TableWriter&& other) noexcept;
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    TableWriter& operator=(TableWriter&&) = delete;
    ~TableWriter();

    // One row: the count, then each value.
    void row(int count, std::span<const double> values);

    template <class... Values>
        requires(std::is_same_v<Values, double> && ...)
    void row(int count, Values... values)
    {
        const std::array<double, sizeof...(Values)> list{values...};
        row(count, std::span<const double>(list));
    }

    // Flushes and closes, reporting a failure of either; a replaced table
    // takes the new one's place only here.
    void close();

    // Removes the temporary file if it has a name at this moment, without
    // a report. Async-signal-safe (one unlink of a fixed buffer), for a
    // signal handler that ends the process; the writer must not be used
    // afterwards except to be destroyed.
    void remove_temporary() const noexcept;

private:
    TableWriter(const char* program, const char* name, std::FILE* file);
    void flush_buffer();
    // Every failure ends here: it removes the temporary file and reports.
    [[noreturn]] void fail(const char* action, int error);
    void open_replacement(const char* path);
    bool publish_anonymous_file();
    void discard_temporary() noexcept;

    const char* program_;
    const char* name_;
    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::filesystem::path target_;  // the file replaced; empty when written in place
    std::string stem_;              // the temporary file's name but its random end
    bool anonymous_ = false;        // the temporary file has no name yet (O_TMPFILE)
    // The temporary file's name, in a fixed buffer that a signal handler may
    // read; named_ is 1 while the folder may hold a file of that name.
    std::array<char, 4096> temporary_{};
    volatile std::sig_atomic_t named_ = 0;
};

}  // namespace suite
