#pragma once

#include <array>
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
// symbolic link points to), which takes the old file's permission bits and
// is renamed over it only after the last row was written and closed. A
// failure, SIGINT or SIGTERM removes the temporary file and leaves the old
// table as it was. A device, a pipe, or a file whose folder takes no new
// file is written in place. A file size limit ends the program with its
// own "File too large" line: SIGXFSZ is ignored.
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

private:
    TableWriter(const char* program, const char* name, std::FILE* file);
    void flush_buffer();
    // Every failure ends here: it removes the temporary file and reports.
    [[noreturn]] void fail(const char* action, int error);

    const char* program_;
    const char* name_;
    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::filesystem::path target_;  // the file replaced, when there is a temporary file
    std::filesystem::path temporary_;
};

// Makes sure descriptors 0, 1 and 2 are in use before any file is opened, so
// that a table can never land on a closed standard stream's descriptor. A
// closed stream is filled with a read-only null device, on which writes still
// fail as they would on the closed stream. On Windows it also switches
// standard output to binary mode, so that its lines end in "\n" too.
// False when a closed stream could not be filled.
[[nodiscard]] bool guard_standard_streams();

// Flushes standard output (the generator's notice, or a table) and throws
// for a failed write as above, naming "standard output".
void finish_standard_output(const char* program);

}  // namespace suite
