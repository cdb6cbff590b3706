#include "table_writer.hpp"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

// One conversion of a printf format, "%[flags][width][.precision][length]type",
// copied out so that printf can format its argument alone.
struct Conversion {
    std::array<char, 32> spec{};  // NUL-terminated
    std::string_view length;
    char type = 0;
    bool left = false;   // '-'
    bool plus = false;   // '+'
    bool space = false;  // ' '
    std::size_t width = 0;
};

[[noreturn]] void unsupported(const char* format)
{
    std::string what("unsupported conversion in a table format: ");
    throw std::invalid_argument(what.append(format));
}

// Reads the conversion starting at `percent`; returns the character after it.
const char* read_conversion(const char* percent, Conversion& c)
{
    const char* p = percent + 1;
    for (; *p != '\0' && std::strchr("-+ 0#", *p) != nullptr; ++p) {
        c.left = c.left || *p == '-';
        c.plus = c.plus || *p == '+';
        c.space = c.space || *p == ' ';
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
        c.width = c.width * 10 + static_cast<std::size_t>(*p - '0');
    }
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p) {
        }
    }
    const char* length = p;
    while (*p != '\0' && std::strchr("hlzjt", *p) != nullptr) {
        ++p;
    }
    c.length = std::string_view(length, static_cast<std::size_t>(p - length));
    c.type = *p;
    const auto size = static_cast<std::size_t>(p + 1 - percent);
    if (c.type == '\0' || size >= c.spec.size()) {
        unsupported(percent);
    }
    std::memcpy(c.spec.data(), percent, size);
    return p + 1;
}

// Hands `convert` the next argument, taken as a T.
template <class T, class Convert>
void pass(const Conversion& c, std::va_list& args, const Convert& convert)
{
    const T value = va_arg(args, T);
    convert(c, value);
}

template <class Signed, class Unsigned, class Convert>
void pass_integer(const Conversion& c, std::va_list& args, const Convert& convert)
{
    if (c.type == 'd' || c.type == 'i' || c.type == 'c') {
        pass<Signed>(c, args, convert);
    } else {
        pass<Unsigned>(c, args, convert);
    }
}

// Takes the argument of an integer conversion in the type its length names
// (h and hh arrive promoted to int).
template <class Convert>
void take_integer(const Conversion& c, std::va_list& args, const Convert& convert)
{
    const std::string_view l = c.length;
    if (l.empty() || l == "h" || l == "hh") {
        pass_integer<int, unsigned>(c, args, convert);
    } else if (l == "l") {
        pass_integer<long, unsigned long>(c, args, convert);
    } else if (l == "ll") {
        pass_integer<long long, unsigned long long>(c, args, convert);
    } else if (l == "z") {
        pass_integer<std::make_signed_t<std::size_t>, std::size_t>(c, args, convert);
    } else if (l == "j") {
        pass_integer<std::intmax_t, std::uintmax_t>(c, args, convert);
    } else if (l == "t") {
        pass_integer<std::ptrdiff_t, std::make_unsigned_t<std::ptrdiff_t>>(c, args, convert);
    } else {
        unsupported(c.spec.data());
    }
}

// Walks `format`, handing each stretch of literal text to `literal` and each
// conversion, with its argument taken from `args` in the conversion's type,
// to `convert`.
template <class Literal, class Convert>
void walk(const char* format, std::va_list& args, const Literal& literal, const Convert& convert)
{
    while (*format != '\0') {
        const char* percent = std::strchr(format, '%');
        if (percent == nullptr) {
            literal(std::string_view(format));
            return;
        }
        literal(std::string_view(format, static_cast<std::size_t>(percent - format)));
        if (percent[1] == '%') {
            literal(std::string_view("%"));
            format = percent + 2;
            continue;
        }
        Conversion c;
        format = read_conversion(percent, c);
        if (std::strchr("diouxXc", c.type) != nullptr) {
            take_integer(c, args, convert);
        } else if (std::strchr("fFeEgGaA", c.type) != nullptr && (c.length.empty() || c.length == "l")) {
            pass<double>(c, args, convert);
        } else if (c.type == 's' && c.length.empty()) {
            pass<const char*>(c, args, convert);
        } else {
            unsupported(c.spec.data());
        }
    }
}

// The writer's own spelling of a value that is not finite. printf's depends
// on the C library ("nan", "-nan", "nan(ind)", ...) and, for a not-a-number,
// on the sign bit, which the processors set differently; the tables hold
// "-nan" for every one.
std::string spell_non_finite(double value, const Conversion& c)
{
    const char* spelling = std::isnan(value)      ? "-nan"
                           : std::signbit(value) ? "-inf"
                           : c.plus              ? "+inf"
                           : c.space             ? " inf"
                                                 : "inf";
    std::string text(spelling);
    if (std::strchr("FEGA", c.type) != nullptr) {
        for (char& letter : text) {
            if (letter >= 'a' && letter <= 'z') {
                letter = static_cast<char>(letter - 'a' + 'A');
            }
        }
    }
    if (text.size() >= c.width) {
        return text;
    }
    std::string padding(c.width - text.size(), ' ');
    return c.left ? text.append(padding) : padding.append(text);
}

}  // namespace

TableWriter::TableWriter(const char* program, const char* path)
    : program_(program), name_(path), file_(std::fopen(path, "wb"))
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
// A row whose values are all finite goes to vfprintf whole; only a row with
// a value that is not finite is written piece by piece.
void TableWriter::write(const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    std::va_list args;
    va_start(args, format);
    std::va_list probe;
    va_copy(probe, args);
    bool finite = true;
    walk(
        format, probe, [](std::string_view) {},
        [&](const Conversion&, auto value) {
            if constexpr (std::is_floating_point_v<decltype(value)>) {
                finite = finite && std::isfinite(value);
            }
        });
    va_end(probe);
    if (finite) {
        const int written = std::vfprintf(file_, format, args);
        va_end(args);
        if (written < 0) {
            fail(errno);
        }
        return;
    }
    const auto put = [&](std::string_view text) {
        if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
            fail(errno);
        }
    };
    walk(format, args, put, [&](const Conversion& c, auto value) {
        if constexpr (std::is_floating_point_v<decltype(value)>) {
            if (!std::isfinite(value)) {
                put(spell_non_finite(value, c));
                return;
            }
        }
        if (std::fprintf(file_, c.spec.data(), value) < 0) {
            fail(errno);
        }
    });
    va_end(args);
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
#ifdef _WIN32
    // The C runtime sets up descriptors 0 to 2 in every process; one started
    // without that standard handle has no handle behind it (-2).
    for (int fd = 0; fd <= 2; ++fd) {
        const std::intptr_t handle = _get_osfhandle(fd);
        if (handle == -1 || handle == -2) {
            const int null = _open("NUL", _O_RDONLY);
            if (null < 0 || (null != fd && (_dup2(null, fd) != 0 || _close(null) != 0))) {
                std::_Exit(1);
            }
        }
    }
    // In text mode every "\n" written to standard output would become "\r\n".
    // The descriptor is open (above), so the switch cannot fail.
    (void)_setmode(_fileno(stdout), _O_BINARY);
#else
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() returns the lowest free descriptor, which is this one.
            if (open("/dev/null", O_RDONLY) != fd) {
                std::_Exit(1);
            }
        }
    }
#endif
}

void finish_standard_output(const char* program)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        report_failure(program, "write", standard_output_name, errno != 0 ? errno : EIO);
    }
}
