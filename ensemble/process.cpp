#include "process.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// POSIX does not promise a declaration in <unistd.h>.
extern char** environ;  // NOLINT(readability-redundant-declaration)
#endif

ChildProcess::~ChildProcess()
{
    if (reader_.joinable()) {
        reader_.join();
    }
}

const std::string& ChildProcess::error_output()
{
    if (reader_.joinable()) {
        reader_.join();
    }
    return error_;
}

std::string executable_name(const std::string& name)
{
#ifdef _WIN32
    return name + ".exe";
#else
    return name;
#endif
}

#ifdef _WIN32

namespace {

// One argument as the C runtime's command-line parser reads it back:
// quoted, with backslashes doubled only where they precede a quote.
std::wstring quoted(const std::wstring& argument)
{
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text.push_back(c);
    }
    text.append(2 * backslashes, L'\\');
    text.push_back(L'"');
    return text;
}

std::wstring widened(const std::string& text) { return std::filesystem::path(text).wstring(); }

// Keeps the start of what `pipe` delivers and reads on to its end.
void keep_start(HANDLE from, std::string& kept)
{
    std::array<char, 4096> buffer{};
    DWORD got = 0;
    while (ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0 && got > 0) {
        kept.append(buffer.data(), std::min<std::size_t>(got, ChildProcess::kept_error_bytes - kept.size()));
    }
    CloseHandle(from);
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (CreatePipe(&read_end, &write_end, &inherited, 0) == 0) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "a pipe");
    }
    // Only the child's end is inherited.
    (void)SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE discard =
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
    std::wstring command = quoted(program.wstring());
    for (const std::string& argument : arguments) {
        command.append(L" ").append(quoted(widened(argument)));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = discard;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    // The inherited handles are closed right after, so no later replica
    // inherits them (replicas start one after the other, from one thread).
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    const DWORD reason = GetLastError();
    CloseHandle(write_end);
    if (discard != INVALID_HANDLE_VALUE) {
        CloseHandle(discard);
    }
    if (!started) {
        CloseHandle(read_end);
        throw std::system_error(static_cast<int>(reason), std::system_category(), program.string());
    }
    CloseHandle(process.hThread);
    id_ = reinterpret_cast<ProcessId>(process.hProcess);
    reader_ = std::thread(keep_start, read_end, std::ref(error_));
}

Finished wait_any(const std::vector<ProcessId>& running)
{
    std::vector<HANDLE> handles;
    handles.reserve(running.size());
    for (const ProcessId id : running) {
        handles.push_back(reinterpret_cast<HANDLE>(id));
    }
    // At most MAXIMUM_WAIT_OBJECTS (64) at once; the runner starts no more.
    const DWORD which =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    if (which >= WAIT_OBJECT_0 + handles.size()) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "waiting for a replica");
    }
    HANDLE done = handles[which - WAIT_OBJECT_0];
    DWORD status = 1;
    GetExitCodeProcess(done, &status);
    CloseHandle(done);
    return {running[which - WAIT_OBJECT_0], true, static_cast<int>(status)};
}

std::filesystem::path own_executable(const char* argv0)
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size()) {
        path.resize(length);
        return path;
    }
    return argv0 != nullptr ? std::filesystem::path(argv0) : std::filesystem::path();
}

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

#else

namespace {

// Keeps the start of what `pipe` delivers and reads on to its end.
void keep_start(int from, std::string& kept)
{
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        kept.append(buffer.data(),
                    std::min<std::size_t>(static_cast<std::size_t>(got), ChildProcess::kept_error_bytes - kept.size()));
    }
    (void)close(from);
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    // Both ends close on exec, so that no other replica inherits them; the
    // child gets the write end as its descriptor 2, which stays open.
    std::array<int, 2> ends{};
    if (pipe(ends.data()) != 0) {
        throw std::system_error(errno, std::generic_category(), "a pipe");
    }
    (void)fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    (void)fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    int error = posix_spawn_file_actions_init(&actions);
    if (error != 0) {
        (void)close(ends[0]);
        (void)close(ends[1]);
        throw std::system_error(error, std::generic_category(), program.string());
    }
    (void)posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    (void)posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    const std::string path = program.string();
    std::vector<std::string> words{path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv(words.size() + 1, nullptr);
    std::transform(words.begin(), words.end(), argv.begin(), [](std::string& word) { return word.data(); });
    pid_t pid = 0;
    // A bare name is looked up on PATH, as a shell would.
    error = program.has_parent_path() ? posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ)
                                      : posix_spawnp(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    (void)posix_spawn_file_actions_destroy(&actions);
    (void)close(ends[1]);
    if (error != 0) {
        (void)close(ends[0]);
        throw std::system_error(error, std::generic_category(), path);
    }
    id_ = pid;
    reader_ = std::thread(keep_start, ends[0], std::ref(error_));
}

Finished wait_any(const std::vector<ProcessId>& running)
{
    for (;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "waiting for a replica");
        }
        // Only our own children exist, but a pid not in the list is no replica.
        if (std::find(running.begin(), running.end(), pid) != running.end()) {
            return WIFEXITED(status) ? Finished{pid, true, WEXITSTATUS(status)}
                                     : Finished{pid, false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
        }
    }
}

std::filesystem::path own_executable(const char* argv0)
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        return self;
    }
    // Elsewhere argv[0] names the file when it holds a folder.
    const std::filesystem::path given = argv0 != nullptr ? argv0 : "";
    return given.has_parent_path() ? std::filesystem::absolute(given, error) : std::filesystem::path();
}

bool standard_error_is_terminal() { return isatty(2) != 0; }

#endif
