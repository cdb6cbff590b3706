#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

// A table that could not be created, written or closed: what() says
// "cannot write <file>: <reason>". quiet() is true for a reader that closed
// the pipe of standard output, the usual end of `program | head`.
class TableWriteError : public std::runtime_error {
public:
    TableWriteError(const std::string& what, bool quiet) : std::runtime_error(what), quiet_(quiet) {}
    bool quiet() const { return quiet_; }

private:
    bool quiet_;
};

// Writes a program's table and makes sure it arrived: a table that could not
// be created, written or closed ends the program with one line on standard
// error, "<program>: cannot write <file>: <reason>", and exit status 1.
// Nothing is reported as success after a failed write.
//
// The bytes do not depend on the system or its C library: tables are written
// in binary mode (a row ends with "\n", never "\r\n"), and a value that is
// not finite is spelled by the writer itself, "-nan" for every not-a-number
// whatever its sign bit, "inf" and "-inf" for the infinities. Finite values
// keep their printf formats.
class TableWriter {
public:
    // Creates or truncates `path` in the working directory.
    TableWriter(const char* program, const char* path);

    // Writes to standard output instead of a file.
    static TableWriter standard_output(const char* program);

    TableWriter(TableWriter&& other) noexcept;
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    TableWriter& operator=(TableWriter&&) = delete;
    ~TableWriter();

    // One printf-style piece of a row. The conversions it takes are the
    // integer ones (d i u o x X c, with h hh l ll, and z for the unsigned),
    // the floating ones (f F e E g G a A) and s; anything else (*, n, p, L,
    // j, t) is a programming error and throws std::invalid_argument.
    [[gnu::format(printf, 2, 3)]] void write(const char* format, ...);

    // Flushes and closes, reporting a failure of either.
    void close();

private:
    TableWriter(const char* program, const char* name, std::FILE* file);
    [[noreturn]] void fail(int error) const;

    const char* program_;
    const char* name_;
    std::FILE* file_;
};

// Makes sure descriptors 0, 1 and 2 are in use before any file is opened, so
// that a table can never land on a closed standard stream's descriptor. A
// closed stream is filled with a read-only null device, on which writes still
// fail as they would on the closed stream. On Windows it also switches
// standard output to binary mode, so that its lines end in "\n" too.
void guard_standard_streams();

// Flushes standard output (the generator's notice, or a table) and reports a
// failed write as above, naming "standard output".
void finish_standard_output(const char* program);
