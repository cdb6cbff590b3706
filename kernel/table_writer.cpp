#include "suite/table_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace suite {

namespace {

constexpr const char* standard_output_name = "standard output";

// The buffer the rows are formatted into; it goes out in one write.
constexpr std::size_t buffer_size = std::size_t{1} << 16;
// The longest count ("-2147483648") and value: a sign, 309 digits before
// the point of the largest double, the point and six decimals, and a tab.
constexpr std::size_t count_room = 16;
constexpr std::size_t value_room = 320;

[[noreturn]] void report_failure(const char* /*program*/, const char* action, const char* name, int error)
{
    // A reader closing the pipe is how `program | head` ends: nothing to say.
    const bool quiet = error == EPIPE && name == standard_output_name;
    throw TableWriteError(std::string("cannot ") + action + " " + name + ": " + std::strerror(error), quiet);
}

// A value m 2^-shift (m below 2^53) with shift >= 10 is below 2^43, so
// times 10^6 it stays under 2^63: its six decimals are one 64-bit integer.
constexpr int smallest_exact_shift = 10;

// The digit pairs "00" to "99", for writing two decimals at a time.
constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t k = 0; k < 100; ++k) {
        pairs[2 * k] = static_cast<char>('0' + k / 10);
        pairs[2 * k + 1] = static_cast<char>('0' + k % 10);
    }
    return pairs;
}();

// round(m * 10^6 / 2^shift), ties to even, for a 53-bit m and a shift in
// [10, 73]: the product P is formed exactly in two 64-bit halves
// (m = m1 2^32 + m0, so m 10^6 = m1 10^6 2^32 + m0 10^6, each below 2^52).
// P / 2^(shift-1) ends in the half bit; the bits below it tell an exact
// half from more.
std::uint64_t scaled_to_micro_units(std::uint64_t m, int shift)
{
    constexpr std::uint64_t million = 1000000;
    const std::uint64_t upper_part = (m >> 32) * million;
    const std::uint64_t lower_part = (m & 0xffffffffU) * million;
    const std::uint64_t low = lower_part + (upper_part << 32);
    const std::uint64_t high = (upper_part >> 32) + (low < lower_part ? 1U : 0U);
    const int s = shift - 1;
    std::uint64_t twice_quotient = 0;
    bool below_half_bit = false;
    if (s < 64) {
        twice_quotient = (low >> s) | (high << (64 - s));
        below_half_bit = (low & ((std::uint64_t{1} << s) - 1)) != 0;
    } else {
        twice_quotient = high >> (s - 64);
        below_half_bit = low != 0 || (high & ((std::uint64_t{1} << (s - 64)) - 1)) != 0;
    }
    const std::uint64_t quotient = twice_quotient >> 1;
    const bool half = (twice_quotient & 1U) != 0;
    return quotient + ((half && (below_half_bit || (quotient & 1U) != 0)) ? 1U : 0U);
}

// printf's "%.6f" of a finite value: the exact binary value rounded to six
// decimals, ties to even, with the sign of a negative value or zero. Values
// of 2^43 and more go to std::to_chars, which gives the same digits.
char* put_fixed_six(char* out, char* end, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ffU);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    // value = m 2^-shift, m below 2^53
    const std::uint64_t m = biased_exponent == 0 ? fraction : (fraction | (std::uint64_t{1} << 52));
    const int shift = 1075 - (biased_exponent == 0 ? 1 : biased_exponent);
    if (shift < smallest_exact_shift) {
        return std::to_chars(out, end, value, std::chars_format::fixed, 6).ptr;
    }
    // From shift 74 on, the product m 10^6 < 2^73 is under half of 2^shift.
    const std::uint64_t micro_units = shift >= 74 ? 0 : scaled_to_micro_units(m, shift);
    if ((bits >> 63) != 0) {
        *out++ = '-';
    }
    constexpr std::uint64_t million = 1000000;
    out = std::to_chars(out, end, micro_units / million).ptr;
    *out++ = '.';
    std::uint64_t decimals = micro_units % million;
    for (std::ptrdiff_t pair = 2; pair >= 0; --pair) {
        std::memcpy(out + 2 * pair, &digit_pairs[2 * static_cast<std::size_t>(decimals % 100)], 2);
        decimals /= 100;
    }
    return out + 6;
}

char* put_value(char* out, char* end, double value)
{
    if (std::isnan(value)) {
        return std::copy_n("-nan", 4, out);
    }
    if (std::isinf(value)) {
        return value < 0 ? std::copy_n("-inf", 4, out) : std::copy_n("inf", 3, out);
    }
    return put_fixed_six(out, end, value);
}

// The temporary file of the table being replaced, for the signal handler:
// a fixed buffer, since the handler may not allocate.
std::array<char, 4096> pending_temporary{};
volatile std::sig_atomic_t temporary_pending = 0;

extern "C" void remove_temporary_and_stop(int signal_number)
{
    if (temporary_pending != 0) {
#ifdef _WIN32
        (void)_unlink(pending_temporary.data());
#else
        (void)unlink(pending_temporary.data());
#endif
    }
    // The handler ran once (SA_RESETHAND, or signal() on Windows): the
    // signal now ends the process as it would have.
    (void)std::signal(signal_number, SIG_DFL);
    (void)std::raise(signal_number);
}

extern "C" void remove_temporary_at_exit()
{
    if (temporary_pending != 0) {
        temporary_pending = 0;
        (void)std::remove(pending_temporary.data());
    }
}

// Catches SIGINT and SIGTERM, unless the process was started with them
// ignored (a background job), and ignores SIGXFSZ.
void prepare_signals()
{
    static bool prepared = false;
    if (prepared) {
        return;
    }
    prepared = true;
    (void)std::atexit(remove_temporary_at_exit);
#ifdef _WIN32
    for (const int signal_number : {SIGINT, SIGTERM}) {
        if (std::signal(signal_number, remove_temporary_and_stop) == SIG_IGN) {
            (void)std::signal(signal_number, SIG_IGN);
        }
    }
#else
    (void)std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal_number : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            struct sigaction catching {};
            catching.sa_handler = remove_temporary_and_stop;
            sigemptyset(&catching.sa_mask);
            catching.sa_flags = SA_RESETHAND | SA_NODEFER;
            (void)sigaction(signal_number, &catching, nullptr);
        }
    }
#endif
}

// The file a path names once symbolic links are followed, or the path if
// one cannot be read.
std::filesystem::path link_target(const std::filesystem::path& path)
{
    std::filesystem::path target = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(target, error));
         ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error) {
            return path;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

struct Replacement {
    std::FILE* file = nullptr;
    std::filesystem::path target;
    std::filesystem::path temporary;
};

// A temporary file beside the table `path` names, when the table is a file
// that may be replaced; otherwise no file (the table is written in place).
Replacement open_replacement(const char* path)
{
    Replacement replacement;
    if (temporary_pending != 0) {
        return replacement;  // one replacement at a time: the handler knows one file
    }
    const std::filesystem::path target = link_target(path);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(target, error);
    const bool exists = status.type() != std::filesystem::file_type::not_found;
    if (exists && status.type() != std::filesystem::file_type::regular) {
        return replacement;  // a device, a pipe, a folder: in place, as it reports
    }
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    // A hidden name beside the table: ".tmjack.dat.<random>".
    std::string hidden(1, '.');
    hidden.append(target.filename().string()).push_back('.');
    const std::string stem = (folder / hidden).string();
    if (stem.size() + 8 > pending_temporary.size()) {
        return replacement;
    }
#ifdef _WIN32
    if (exists && (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY) != 0) {
        return replacement;  // refused in place, as before
    }
    std::random_device entropy;
    int descriptor = -1;
    for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
        const std::string name = stem + std::to_string(entropy() % 1000000U);
        descriptor = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor >= 0) {
            std::memcpy(pending_temporary.data(), name.c_str(), name.size() + 1);
            temporary_pending = 1;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (descriptor < 0) {
        return replacement;
    }
    replacement.file = _fdopen(descriptor, "wb");
    if (replacement.file == nullptr) {
        (void)_close(descriptor);
    }
#else
    if (exists && access(target.c_str(), W_OK) != 0) {
        return replacement;  // refused in place, as before
    }
    struct stat old {};
    if (exists && stat(target.c_str(), &old) != 0) {
        return replacement;
    }
    // No signal between creating the file and recording its name.
    sigset_t stops;
    sigset_t before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    (void)sigprocmask(SIG_BLOCK, &stops, &before);
    // Created as any new file is, mode 0666 less the umask, under a name
    // no other file has (O_EXCL).
    std::random_device entropy;
    int descriptor = -1;
    for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
        const std::string name = stem + std::to_string(entropy() % 1000000U);
        descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            std::memcpy(pending_temporary.data(), name.c_str(), name.size() + 1);
            temporary_pending = 1;
        } else if (errno != EEXIST) {
            break;
        }
    }
    (void)sigprocmask(SIG_SETMASK, &before, nullptr);
    if (descriptor < 0) {
        return replacement;  // the folder takes no new file
    }
    if (exists) {
        // The old owner and group where allowed (as root), and its mode.
        (void)!fchown(descriptor, old.st_uid, old.st_gid);
        (void)fchmod(descriptor, old.st_mode & 07777);
    }
    replacement.file = fdopen(descriptor, "wb");
    if (replacement.file == nullptr) {
        (void)::close(descriptor);
    }
#endif
    replacement.temporary = pending_temporary.data();
    replacement.target = target;
    if (replacement.file == nullptr) {
        remove_temporary_at_exit();
        return {};
    }
    return replacement;
}

// Puts the finished table in the old one's place.
bool replace(const std::filesystem::path& temporary, const std::filesystem::path& target)
{
#ifdef _WIN32
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return false;
    }
    return true;
#else
    return std::rename(temporary.c_str(), target.c_str()) == 0;
#endif
}

}  // namespace

TableWriter::TableWriter(const char* program, const char* path)
    : program_(program), name_(path), file_(nullptr), buffer_(buffer_size)
{
    prepare_signals();
    Replacement replacement = open_replacement(path);
    file_ = replacement.file;
    target_ = std::move(replacement.target);
    temporary_ = std::move(replacement.temporary);
    if (file_ == nullptr) {
        file_ = std::fopen(path, "wb");
        if (file_ == nullptr) {
            fail("create", errno);
        }
    }
}

TableWriter::TableWriter(const char* program, const char* name, std::FILE* file)
    : program_(program), name_(name), file_(file), buffer_(buffer_size)
{
    prepare_signals();
}

TableWriter TableWriter::standard_output(const char* program)
{
    return {program, standard_output_name, stdout};
}

TableWriter::TableWriter(TableWriter&& other) noexcept
    : program_(other.program_), name_(other.name_), file_(std::exchange(other.file_, nullptr)),
      buffer_(std::move(other.buffer_)), used_(std::exchange(other.used_, 0)), target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_))
{
    other.temporary_.clear();
}

TableWriter::~TableWriter()
{
    // Only reached without close() when unwinding; the table is incomplete
    // anyway, so it is released without a report, and an old table stays.
    if (file_ != nullptr && file_ != stdout) {
        (void)std::fclose(file_);
    }
    if (!temporary_.empty()) {
        remove_temporary_at_exit();
    }
}

void TableWriter::row(int count, std::span<const double> values)
{
    // Room is made value by value, so a row of any width fits: a wide one
    // goes out in pieces.
    char* const end = buffer_.data() + buffer_size;
    if (buffer_size - used_ < count_room + 1) {
        flush_buffer();
    }
    char* out = std::to_chars(buffer_.data() + used_, end, count).ptr;
    for (const double value : values) {
        if (end - out < static_cast<std::ptrdiff_t>(value_room + 1)) {
            used_ = static_cast<std::size_t>(out - buffer_.data());
            flush_buffer();
            out = buffer_.data();
        }
        *out++ = '\t';
        out = put_value(out, end, value);
    }
    *out++ = '\n';
    used_ = static_cast<std::size_t>(out - buffer_.data());
}

void TableWriter::flush_buffer()
{
    errno = 0;
    if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) {
        fail("write", errno != 0 ? errno : EIO);
    }
    used_ = 0;
}

void TableWriter::close()
{
    if (file_ == nullptr) {
        return;
    }
    errno = 0;
    flush_buffer();
    std::FILE* file = std::exchange(file_, nullptr);
    if (file == stdout) {
        if (std::fflush(file) != 0 || std::ferror(file) != 0) {
            fail("write", errno != 0 ? errno : EIO);
        }
        return;
    }
    // fclose flushes the buffer, so a full disk often shows only here.
    const bool had_error = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || had_error) {
        fail("write", errno != 0 ? errno : EIO);
    }
    if (!temporary_.empty()) {
        if (!replace(temporary_, target_)) {
            fail("write", errno != 0 ? errno : EIO);
        }
        temporary_pending = 0;
        temporary_.clear();
    }
}

void TableWriter::fail(const char* action, int error)
{
    if (!temporary_.empty()) {
        remove_temporary_at_exit();
    }
    report_failure(program_, action, name_, error);
}

bool guard_standard_streams()
{
#ifdef _WIN32
    // The C runtime sets up descriptors 0 to 2 in every process; one started
    // without that standard handle has no handle behind it (-2).
    for (int fd = 0; fd <= 2; ++fd) {
        const std::intptr_t handle = _get_osfhandle(fd);
        if (handle == -1 || handle == -2) {
            const int null = _open("NUL", _O_RDONLY);
            if (null < 0 || (null != fd && (_dup2(null, fd) != 0 || _close(null) != 0))) {
                return false;
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
                return false;
            }
        }
    }
#endif
    return true;
}

void finish_standard_output(const char* program)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        report_failure(program, "write", standard_output_name, errno != 0 ? errno : EIO);
    }
}

}  // namespace suite
