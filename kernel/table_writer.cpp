#include "table_writer.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* standard_output_name = "standard output";

[[noreturn]] void report_failure(const char* program, const char* action, const char* name, int error)
{
    // A reader closing the pipe is how `program | head` ends: leave quietly.
    if (error != EPIPE || name != standard_output_name) {
        // Nothing is left to tell if standard error fails too; the status says it.
        (void)std::fprintf(stderr, "%s: cannot %s %s: %s\n", program, action, name, std::strerror(error));
    }
    std::exit(1);
}

}  // namespace

TableWriter::TableWriter(const char* program, const char* path)
    : program_(program), name_(path), file_(std::fopen(path, "w"))
{
    if (file_ == nullptr) {
        report_failure(program_, "create", name_, errno);
    }
}

TableWriter::TableWriter(const char* program, const char* name, std::FILE* file)
    : program_(program), name_(name), file_(file)
{
}

TableWriter TableWriter::standard_output(const char* program)
{
    return {program, standard_output_name, stdout};
}

TableWriter::TableWriter(TableWriter&& other) noexcept
    : program_(other.program_), name_(other.name_), file_(std::exchange(other.file_, nullptr))
{
}

TableWriter::~TableWriter()
{
    // Only reached without close() when unwinding; the table is incomplete
    // anyway, so it is released without a report.
    if (file_ != nullptr && file_ != stdout) {
        (void)std::fclose(file_);
    }
}

// A printf-style variadic on purpose: the row formats ("%i\t%f\n") are the
// tables' definition, and the format attribute has the compiler check them.
void TableWriter::write(const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    std::va_list args;
    va_start(args, format);
    const int written = std::vfprintf(file_, format, args);
    va_end(args);
    if (written < 0) {
        fail(errno);
    }
}

void TableWriter::close()
{
    if (file_ == nullptr) {
        return;
    }
    std::FILE* file = std::exchange(file_, nullptr);
    errno = 0;
    if (file == stdout) {
        if (std::fflush(file) != 0 || std::ferror(file) != 0) {
            report_failure(program_, "write", name_, errno != 0 ? errno : EIO);
        }
        return;
    }
    // fclose flushes the buffer, so a full disk often shows only here.
    const bool had_error = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || had_error) {
        report_failure(program_, "write", name_, errno != 0 ? errno : EIO);
    }
}

void TableWriter::fail(int error) const { report_failure(program_, "write", name_, error); }

void guard_standard_streams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() returns the lowest free descriptor, which is this one.
            if (open("/dev/null", O_RDONLY) != fd) {
                std::_Exit(1);
            }
        }
    }
}

void finish_standard_output(const char* program)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        report_failure(program, "write", standard_output_name, errno != 0 ? errno : EIO);
    }
}
