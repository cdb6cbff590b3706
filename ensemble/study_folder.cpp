#include "study_folder.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include "whole_file.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char* const record_name = "study.txt";
const char* const lock_name = "study.lock";

// "process 1234 on node7", for the one who finds the folder locked.
std::string holder_text()
{
    std::string host(256, '\0');
#ifdef _WIN32
    DWORD size = static_cast<DWORD>(host.size());
    const bool named = GetComputerNameA(host.data(), &size) != 0;
    const unsigned long pid = GetCurrentProcessId();
#else
    const bool named = gethostname(host.data(), host.size() - 1) == 0;
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    host.resize(named ? std::strlen(host.c_str()) : 0);
    return "process " + std::to_string(pid) + (host.empty() ? "" : " on " + host) + "\n";
}

std::string holder_of(const fs::path& path)
{
    std::string text;
    if (!read_into(path, text) || text.empty()) {
        return "another process";
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

bool read_record(const fs::path& dir, FolderRecord& record)
{
    std::string text;
    if (!read_into(dir / record_name, text)) {
        return false;
    }
    const std::size_t end = text.find('\n');
    record.description = text.substr(0, end);
    record.replicas = 0;
    const std::string prefix = "replicas ";
    if (end != std::string::npos && text.compare(end + 1, prefix.size(), prefix) == 0) {
        const char* begin = text.data() + end + 1 + prefix.size();
        (void)std::from_chars(begin, text.data() + text.size(), record.replicas);
    }
    return true;
}

bool holds_study(const fs::path& dir)
{
    std::error_code error;
    if (fs::exists(dir / record_name, error) || fs::exists(dir / lock_name, error)) {
        return true;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        std::string name = entry.path().filename().string();
        if (name.ends_with(".part")) {
            name.resize(name.size() - 5);
        }
        const std::size_t dash = name.rfind('-');
        if (name.ends_with(".dat") && dash != std::string::npos &&
            experiment_named(std::string_view(name).substr(0, dash)) != nullptr) {
            return true;
        }
    }
    return false;
}

void make_folder(const fs::path& dir)
{
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir)) {
        throw UsageError("cannot create the folder " + dir.string() +
                         (error ? ": " + error.message() : ": a file has that name"));
    }
}

std::int64_t record_study(const Study& study)
{
    FolderRecord record;
    const bool recorded = read_record(study.dir, record);
    if (recorded && record.description != study.description()) {
        throw UsageError(study.dir.string() + " holds replicas of '" + record.description + "', not of '" +
                         study.description() + "'; give another --dir");
    }
    const std::int64_t replicas = std::max(study.replicas, record.replicas);
    // Writing the record proves the folder can be written.
    try {
        write_whole(study.dir / record_name, study.description() + "\nreplicas " + std::to_string(replicas) + "\n");
    } catch (const std::runtime_error& failure) {
        throw UsageError(std::string("the folder cannot be written: ") + failure.what());
    }
    return replicas;
}

#ifdef _WIN32

FolderLock::FolderLock(const fs::path& dir)
{
    const fs::path path = dir / lock_name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw StudyError("cannot create " + path.string() + ": " +
                         std::system_category().message(static_cast<int>(GetLastError())));
    }
    // Windows locks forbid reading what they cover: the lock is one byte far
    // beyond the holder's line, which stays readable.
    OVERLAPPED at{};
    at.OffsetHigh = 1;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) == 0) {
        CloseHandle(file);
        throw UsageError(dir.string() + " is in use by " + holder_of(path) + "; wait for it or give another --dir");
    }
    const std::string holder = holder_text();
    DWORD written = 0;
    (void)SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    (void)SetEndOfFile(file);
    (void)WriteFile(file, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr);
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

FolderLock::~FolderLock() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

#else

FolderLock::FolderLock(const fs::path& dir)
{
    const fs::path path = dir / lock_name;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw StudyError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &whole) != 0) {
        const int reason = errno;
        (void)close(fd);
        if (reason == EACCES || reason == EAGAIN) {
            throw UsageError(dir.string() + " is in use by " + holder_of(path) +
                             "; wait for it or give another --dir");
        }
        throw StudyError("cannot lock " + path.string() + ": " + std::strerror(reason));
    }
    const std::string holder = holder_text();
    if (ftruncate(fd, 0) != 0 || write(fd, holder.data(), holder.size()) < 0) {
        // The lock holds all the same; only the holder's name is missing.
    }
    handle_ = fd;
}

FolderLock::~FolderLock() { (void)close(static_cast<int>(handle_)); }

#endif
