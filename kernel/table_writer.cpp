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

[[noreturn]] void report_failure(const char* /*program*/, const char* action, const char* name, int error)
{
    // A reader closing the pipe is how `program | head` ends: nothing to say.
    const bool quiet = error == EPIPE && name == standard_output_name;
    throw TableWriteError(std::string("cannot ") + action + " " + name + ": " + std::strerror(error), quiet);
}

[[noreturn]] void unsupported(std::string_view conversion)
{
    std::string what("unsupported conversion in a table format: ");
    throw std::invalid_argument(what.append(conversion));
}

// The type of the argument that a conversion takes.
enum class Argument { int_, unsigned_, long_, unsigned_long, long_long, unsigned_long_long, size, double_, string };

// Reads a conversion "%[flags][width][.precision][length]type" from the
// character after its '%', leaving `p` after it. It runs for every row, so it
// makes one pass and no copies.
Argument read_conversion(const char*& p, const char* percent)
{
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '.' || (*p >= '0' && *p <= '9')) {
        ++p;
    }
    int h = 0;  // h and hh arrive promoted to int
    int l = 0;
    int z = 0;
    for (;; ++p) {
        if (*p == 'h') {
            ++h;
        } else if (*p == 'l') {
            ++l;
        } else if (*p == 'z') {
            ++z;
        } else {
            break;
        }
    }
    const char type = *p;
    if (type != '\0') {
        ++p;
    }
    bool is_signed = false;
    switch (type) {
    case 'd':
    case 'i':
    case 'c':
        is_signed = true;
        [[fallthrough]];
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        if (l == 0 && z == 0 && h <= 2) {
            return is_signed ? Argument::int_ : Argument::unsigned_;
        }
        if (l == 1 && h == 0 && z == 0) {
            return is_signed ? Argument::long_ : Argument::unsigned_long;
        }
        if (l == 2 && h == 0 && z == 0) {
            return is_signed ? Argument::long_long : Argument::unsigned_long_long;
        }
        if (z == 1 && h == 0 && l == 0 && !is_signed) {
            return Argument::size;
        }
        break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        if (l <= 1 && h == 0 && z == 0) {
            return Argument::double_;
        }
        break;
    case 's':
        if (l == 0 && h == 0 && z == 0) {
            return Argument::string;
        }
        break;
    default:
        break;
    }
    unsupported(std::string_view(percent, static_cast<std::size_t>(p - percent)));
}

// Hands `convert` the next argument, taken as a T.
template <class T, class Convert>
void pass(std::va_list& args, const Convert& convert)
{
    const T value = va_arg(args, T);
    convert(value);
}

template <class Convert>
void take(Argument argument, std::va_list& args, const Convert& convert)
{
    switch (argument) {
    case Argument::int_:
        return pass<int>(args, convert);
    case Argument::unsigned_:
        return pass<unsigned>(args, convert);
    case Argument::long_:
        return pass<long>(args, convert);
    case Argument::unsigned_long:
        return pass<unsigned long>(args, convert);
    case Argument::long_long:
        return pass<long long>(args, convert);
    case Argument::unsigned_long_long:
        return pass<unsigned long long>(args, convert);
    case Argument::size:
        return pass<std::size_t>(args, convert);
    case Argument::double_:
        return pass<double>(args, convert);
    case Argument::string:
        return pass<const char*>(args, convert);
    }
}

// Walks `format`, handing each stretch of literal text to `literal` and each
// conversion ("%...f"), with its argument taken from `args` in the type the
// conversion names, to `convert`.
template <class Literal, class Convert>
void walk(const char* format, std::va_list& args, const Literal& literal, const Convert& convert)
{
    const char* p = format;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            literal(std::string_view(p));
            return;
        }
        literal(std::string_view(p, static_cast<std::size_t>(percent - p)));
        p = percent + 1;
        if (*p == '%') {
            literal(std::string_view("%"));
            ++p;
            continue;
        }
        const Argument argument = read_conversion(p, percent);
        const std::string_view conversion(percent, static_cast<std::size_t>(p - percent));
        take(argument, args, [&](auto value) { convert(conversion, value); });
    }
}

// The writer's own spelling of a value that is not finite, padded to the
// conversion's width. printf's depends on the C library ("nan", "-nan",
// "nan(ind)", ...) and, for a not-a-number, on the sign bit, which the
// processors set differently; the tables hold "-nan" for every one.
std::string spell_non_finite(double value, std::string_view conversion)
{
    bool left = false;
    bool plus = false;
    bool space = false;
    std::size_t i = 1;  // after the '%'
    for (; i < conversion.size() && std::strchr("-+ 0#", conversion[i]) != nullptr; ++i) {
        left = left || conversion[i] == '-';
        plus = plus || conversion[i] == '+';
        space = space || conversion[i] == ' ';
    }
    std::size_t width = 0;
    for (; i < conversion.size() && conversion[i] >= '0' && conversion[i] <= '9'; ++i) {
        width = width * 10 + static_cast<std::size_t>(conversion[i] - '0');
    }
    const char* spelling = std::isnan(value)      ? "-nan"
                           : std::signbit(value) ? "-inf"
                           : plus                ? "+inf"
                           : space               ? " inf"
                                                 : "inf";
    std::string text(spelling);
    if (std::strchr("FEGA", conversion.back()) != nullptr) {
        for (char& letter : text) {
            if (letter >= 'a' && letter <= 'z') {
                letter = static_cast<char>(letter - 'a' + 'A');
            }
        }
    }
    if (text.size() >= width) {
        return text;
    }
    std::string padding(width - text.size(), ' ');
    return left ? text.append(padding) : padding.append(text);
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
        [&](std::string_view, auto value) {
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
    walk(format, args, put, [&](std::string_view conversion, auto value) {
        if constexpr (std::is_floating_point_v<decltype(value)>) {
            if (!std::isfinite(value)) {
                put(spell_non_finite(value, conversion));
                return;
            }
        }
        std::array<char, 32> alone{};  // the conversion by itself, for printf
        if (conversion.size() >= alone.size()) {
            unsupported(conversion);
        }
        std::memcpy(alone.data(), conversion.data(), conversion.size());
        if (std::fprintf(file_, alone.data(), value) < 0) {
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
