#include "suite/table_writer.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
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

[[noreturn]] void report_failure(const char* action, const char* name, int error)
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

// The file a path names once symbolic links are followed, or the path if
// one cannot be read. A relative link is read from the link's own folder.
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

int process_id()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// True unless the process is known to be gone: a process that exists but
// is not ours to signal or open still counts.
bool process_exists(long id)
{
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) {
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    DWORD status = 0;
    const bool running = GetExitCodeProcess(process, &status) == 0 || status == STILL_ACTIVE;
    (void)CloseHandle(process);
    return running;
#else
    return id > 0 && (kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH);
#endif
}

// This machine's name, as a part of a file name: a process id says nothing
// about a process of another machine that shares the folder.
std::string host_name()
{
    std::array<char, 256> name{};
#ifdef _WIN32
    DWORD size = static_cast<DWORD>(name.size());
    if (GetComputerNameA(name.data(), &size) == 0) {
        name[0] = '\0';
    }
#else
    if (gethostname(name.data(), name.size() - 1) != 0) {
        name[0] = '\0';
    }
#endif
    std::string host(name.data());
    std::replace_if(host.begin(), host.end(),
                    [](char c) { return !(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'); },
                    '_');
    return host.empty() ? std::string("host") : host;
}

// The start of this machine's temporary files for the table `target`:
// ".<table>.<host>."; the process id, a point and a random number follow.
std::string temporary_prefix(const std::filesystem::path& target)
{
    std::string prefix(1, '.');
    prefix.append(target.filename().string()).push_back('.');
    prefix.append(host_name()).push_back('.');
    return prefix;
}

// Removes the temporary files that runs on this machine left beside the
// table (killed, or where no handler could run) and whose process is gone.
void remove_stale_temporaries(const std::filesystem::path& folder, const std::string& prefix)
{
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const char* const begin = name.data() + prefix.size();
        const char* const end = name.data() + name.size();
        long id = 0;
        const auto [stop, failed] = std::from_chars(begin, end, id);
        if (failed != std::errc() || stop == begin || stop == end || *stop != '.' || id == process_id()
            || process_exists(id)) {
            continue;
        }
        std::error_code ignored;
        (void)std::filesystem::remove(entry->path(), ignored);
    }
}

// Puts the finished table in the old one's place.
bool replace(const char* temporary, const std::filesystem::path& target)
{
#ifdef _WIN32
    const std::filesystem::path from(temporary);
    if (MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return false;
    }
    return true;
#else
    return std::rename(temporary, target.c_str()) == 0;
#endif
}

void remove_file(const char* name) noexcept
{
#ifdef _WIN32
    (void)DeleteFileA(name);
#else
    (void)unlink(name);
#endif
}

}  // namespace

TableWriter::TableWriter(const char* program, const char* path)
    : program_(program), name_(path), file_(nullptr), buffer_(buffer_size)
{
    open_replacement(path);
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
}

TableWriter TableWriter::standard_output(const char* program)
{
    return {program, standard_output_name, stdout};
}

TableWriter::TableWriter(TableWriter&& other) noexcept
    : program_(other.program_), name_(other.name_), file_(std::exchange(other.file_, nullptr)),
      buffer_(std::move(other.buffer_)), used_(std::exchange(other.used_, 0)), target_(std::move(other.target_)),
      stem_(std::move(other.stem_)), anonymous_(std::exchange(other.anonymous_, false)), temporary_(other.temporary_),
      named_(other.named_)
{
    other.target_.clear();
    other.named_ = 0;
}

TableWriter::~TableWriter()
{
    // Only reached without close() when unwinding; the table is incomplete
    // anyway, so it is released without a report, and an old table stays.
    // An anonymous temporary file goes with its descriptor.
    if (file_ != nullptr && file_ != stdout) {
        (void)std::fclose(file_);
    }
    discard_temporary();
}

// A replacement: a temporary file beside the table `path` names, when the
// table is a file that may be replaced. Without one (file_ stays null) the
// table is written in place.
void TableWriter::open_replacement(const char* path)
{
    std::filesystem::path target = link_target(path);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(target, error);
    const bool exists = status.type() != std::filesystem::file_type::not_found;
    if (exists && status.type() != std::filesystem::file_type::regular) {
        return;  // a device, a pipe, a folder: in place, as it reports
    }
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string prefix = temporary_prefix(target);
    std::string stem = (folder / prefix).string();
    stem.append(std::to_string(process_id())).push_back('.');
    if (stem.size() + 12 > temporary_.size()) {
        return;
    }
    remove_stale_temporaries(folder, prefix);
    std::random_device entropy;
    // Records a name before the file may exist, so that a signal handler
    // that sees named_ set finds the whole name.
    const auto name_next = [&] {
        const std::string name = stem + std::to_string(entropy() % 1000000000U);
        std::memcpy(temporary_.data(), name.c_str(), name.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        named_ = 1;
    };
#ifdef _WIN32
    if (exists && (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY) != 0) {
        return;  // refused in place, as before
    }
    // Shared for deletion, so that a handler of Ctrl-C, which Windows runs
    // on a thread of its own while the file is open, can remove it.
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        name_next();
        handle = CreateFileA(temporary_.data(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            named_ = 0;
            if (GetLastError() != ERROR_FILE_EXISTS) {
                return;
            }
        }
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        (void)CloseHandle(handle);
        discard_temporary();
        return;
    }
    file_ = _fdopen(descriptor, "wb");
    if (file_ == nullptr) {
        (void)_close(descriptor);
    }
#else
    if (exists && access(target.c_str(), W_OK) != 0) {
        return;  // refused in place, as before
    }
    struct stat old {};
    if (exists && stat(target.c_str(), &old) != 0) {
        return;
    }
    // Created as any new file is, mode 0666 less the umask: without a name
    // where the folder's file system allows it and /proc can link it in at
    // the end, else under a name no other file has (O_EXCL).
    int descriptor = -1;
#ifdef O_TMPFILE
    descriptor = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
        const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
        anonymous_ = access(link.c_str(), F_OK) == 0;
        if (!anonymous_) {
            (void)::close(descriptor);
            descriptor = -1;
        }
    }
#endif
    for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
        name_next();
        descriptor = open(temporary_.data(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            named_ = 0;
            if (errno != EEXIST) {
                return;  // the folder takes no new file
            }
        }
    }
    if (descriptor < 0) {
        return;
    }
    if (exists) {
        // The old owner and group where allowed (as root), and its mode.
        (void)!fchown(descriptor, old.st_uid, old.st_gid);
        (void)fchmod(descriptor, old.st_mode & 07777);
    }
    file_ = fdopen(descriptor, "wb");
    if (file_ == nullptr) {
        (void)::close(descriptor);
    }
#endif
    // Both platforms' check (the POSIX branch above closed its descriptor).
    // cppcheck-suppress duplicateCondition
    if (file_ == nullptr) {
        anonymous_ = false;
        discard_temporary();
        return;
    }
    target_ = std::move(target);
    stem_ = std::move(stem);
}

// Gives the anonymous temporary file a name beside the table, through its
// descriptor's link in /proc, so that it can be renamed over the table.
bool TableWriter::publish_anonymous_file()
{
#ifdef O_TMPFILE
    const std::string link = "/proc/self/fd/" + std::to_string(fileno(file_));
    std::random_device entropy;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = stem_ + std::to_string(entropy() % 1000000000U);
        std::memcpy(temporary_.data(), name.c_str(), name.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        named_ = 1;
        if (linkat(AT_FDCWD, link.c_str(), AT_FDCWD, temporary_.data(), AT_SYMLINK_FOLLOW) == 0) {
            anonymous_ = false;
            return true;
        }
        named_ = 0;
        if (errno != EEXIST) {
            return false;
        }
    }
#endif
    return false;
}

void TableWriter::remove_temporary() const noexcept
{
    if (named_ != 0) {
        remove_file(temporary_.data());
    }
}

void TableWriter::discard_temporary() noexcept
{
    remove_temporary();
    named_ = 0;
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
    if (file_ == stdout) {
        file_ = nullptr;
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            fail("write", errno != 0 ? errno : EIO);
        }
        return;
    }
    if (anonymous_) {
        // Every byte reaches the file before it gets a name.
        if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
            fail("write", errno != 0 ? errno : EIO);
        }
        // Where the system has no O_TMPFILE the file is never anonymous.
        // cppcheck-suppress knownConditionTrueFalse
        if (!publish_anonymous_file()) {
            fail("write", errno != 0 ? errno : EIO);
        }
    }
    // fclose flushes the buffer, so a full disk often shows only here.
    std::FILE* file = std::exchange(file_, nullptr);
    const bool had_error = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || had_error) {
        fail("write", errno != 0 ? errno : EIO);
    }
    if (!target_.empty()) {
        if (!replace(temporary_.data(), target_)) {
            fail("write", errno != 0 ? errno : EIO);
        }
        // The name now belongs to the table.
        named_ = 0;
        target_.clear();
    }
}

void TableWriter::fail(const char* action, int error)
{
    discard_temporary();
    report_failure(action, name_, error);
}

}  // namespace suite
