// A table that could not be written must never look like a finished run:
// each program ends with one line "<program>: cannot <create|write> <file>:
// <reason>" on standard error and a nonzero status, whatever stood in the
// way. A reader that stops early (`quadrature | head -n 1`) is the one
// failure that ends quietly, as command-line tools conventionally do.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "reference.hpp"

namespace {

// Where the program's standard output goes.
enum class Output {
    captured,     // a file, read back afterwards
    closed,       // descriptor 1 not open at all (">&-")
    full,         // /dev/full, on which every write fails with ENOSPC
    broken_pipe,  // a pipe whose reader has already gone
};

struct Launch {
    Output output = Output::captured;
    bool unprivileged = false;    // run as nobody (uid and gid 65534)
    bool ignore_sigpipe = false;  // start with SIGPIPE ignored, so writes fail with EPIPE
    rlim_t file_size_limit = 0;   // if nonzero: RLIMIT_FSIZE, with SIGXFSZ ignored so writes fail with EFBIG
    std::vector<std::string> arguments{};
    unsigned alarm_seconds = 0;   // if nonzero: SIGALRM ends a program that runs longer
    bool hide_fd_links = false;   // an empty /proc/self/fd in a mount namespace of its own: no anonymous temporary file
    int error_terminal = -1;      // if not -1: standard error is this terminal instead of a file
    std::function<void(pid_t)> while_running{};  // called once the program runs, before waiting for it
};

struct Outcome {
    int exit_status = -1;  // -1 unless the program exited normally
    int signal = 0;        // the signal that ended it, if any
    std::string standard_output;
    std::string standard_error;
    std::string setup_failure;  // why the child could not be set up, if it could not
};

constexpr uid_t nobody = 65534;

// Runs `executable` in `folder` with its standard streams arranged as
// `launch` says. A child that fails before exec reports the failing step
// and errno through a close-on-exec pipe, so that a missing privilege reads
// as "cannot simulate" rather than as a program failure.
Outcome launch_executable(const std::filesystem::path& executable, const std::filesystem::path& folder,
                          const Launch& launch)
{
    const auto capture = fresh_folder();
    const auto out_path = capture / "stdout";
    const auto err_path = capture / "stderr";
    const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int out_fd = -1;
    if (launch.output == Output::captured) {
        out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else if (launch.output == Output::full) {
        out_fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    } else if (launch.output == Output::broken_pipe) {
        std::array<int, 2> ends{};
        if (pipe2(ends.data(), O_CLOEXEC) == 0) {
            close(ends[0]);  // the reader is gone before the first write
            out_fd = ends[1];
        }
    }
    std::array<int, 2> report{};
    Outcome outcome;
    if (err_fd < 0 || (launch.output != Output::closed && out_fd < 0) || pipe2(report.data(), O_CLOEXEC) != 0) {
        outcome.setup_failure = std::string("cannot prepare the streams: ") + std::strerror(errno);
        return outcome;
    }

    std::vector<std::string> words = {executable.string()};
    words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        // cppcheck-suppress useStlAlgorithm
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        outcome.setup_failure = std::string("cannot fork: ") + std::strerror(errno);
        for (const int fd : {err_fd, out_fd, report[0], report[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        return outcome;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        const auto fail = [&](int step) {
            const std::array<int, 2> message = {step, errno};
            (void)!write(report[1], message.data(), sizeof message);
            _exit(127);
        };
        if (dup2(launch.error_terminal >= 0 ? launch.error_terminal : err_fd, 2) < 0) {
            fail(0);
        }
        if (launch.output == Output::closed) {
            close(1);
        } else if (dup2(out_fd, 1) < 0) {
            fail(0);
        }
        (void)std::signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
        if (chdir(folder.c_str()) != 0) {
            fail(1);
        }
        if (launch.file_size_limit != 0) {
            const rlimit limit{launch.file_size_limit, launch.file_size_limit};
            if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                fail(4);
            }
        }
        if (launch.unprivileged) {
            if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) {
                fail(2);
            }
        }
        if (launch.hide_fd_links
            && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || mount("none", "/proc/self/fd", "tmpfs", 0, nullptr) != 0)) {
            fail(5);
        }
        if (launch.alarm_seconds != 0) {
            (void)alarm(launch.alarm_seconds);
        }
        execv(executable.c_str(), argv.data());
        fail(3);
    }
    close(report[1]);
    close(err_fd);
    if (out_fd >= 0) {
        close(out_fd);
    }
    std::array<int, 2> message{};
    const ssize_t got = read(report[0], message.data(), sizeof message);
    close(report[0]);
    if (got != static_cast<ssize_t>(sizeof message) && launch.while_running) {
        launch.while_running(child);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (got == static_cast<ssize_t>(sizeof message)) {
        static constexpr std::array<const char*, 6> steps = {"redirect", "chdir", "drop root", "exec",
                                                             "limit the file size", "hide /proc/self/fd"};
        outcome.setup_failure = std::string("cannot ") + steps.at(static_cast<std::size_t>(message[0])) + ": "
                                + std::strerror(message[1]);
        return outcome;
    }
    outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.standard_output = read_file(out_path);
    outcome.standard_error = read_file(err_path);
    return outcome;
}

Outcome launch_program(const std::string& program, const std::filesystem::path& folder, const Launch& launch)
{
    return launch_executable(program_path(program), folder, launch);
}

// The one line a failed program must leave on standard error.
std::string failure_line(const std::string& program, const char* action, const std::string& file, int error)
{
    std::string line = program;
    for (const std::string& piece : {std::string(": cannot "), std::string(action), std::string(" "), file,
                                     std::string(": "), std::string(std::strerror(error)), std::string("\n")}) {
        line.append(piece);
    }
    return line;
}

std::vector<SuiteTable> file_tables()
{
    std::vector<SuiteTable> tables;
    std::copy_if(suite_tables().begin(), suite_tables().end(), std::back_inserter(tables),
                 [](const SuiteTable& table) { return !table.on_standard_output; });
    return tables;
}

std::string test_name(const testing::TestParamInfo<SuiteTable>& info) { return info.param.program; }

class FileFailure : public testing::TestWithParam<SuiteTable> {};

TEST_P(FileFailure, UnwritableFolderEndsWithCannotCreate)
{
    const SuiteTable& table = GetParam();
    const auto folder = fresh_folder();
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec
                                             | std::filesystem::perms::group_read | std::filesystem::perms::group_exec
                                             | std::filesystem::perms::others_read
                                             | std::filesystem::perms::others_exec);
    // Root writes into any folder whatever its mode, so as root the program
    // runs as nobody, from a copy that nobody can reach and execute.
    Launch launch;
    std::filesystem::path executable = program_path(table.program);
    if (geteuid() == 0) {
        launch.unprivileged = true;
        const auto copy_folder = fresh_folder();
        std::filesystem::copy_file(executable, copy_folder / table.program);
        executable = copy_folder / table.program;
    }
    const Outcome outcome = launch_executable(executable, folder, launch);
    if (!outcome.setup_failure.empty()) {
        GTEST_SKIP() << "an unwritable folder cannot be simulated here: " << outcome.setup_failure;
    }
    EXPECT_EQ(outcome.standard_error, failure_line(table.program, "create", table.name, EACCES));
    EXPECT_NE(outcome.exit_status, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / table.name));
}

TEST_P(FileFailure, DirectoryInTheFilesPlaceEndsWithCannotCreate)
{
    const SuiteTable& table = GetParam();
    const auto folder = fresh_folder();
    std::filesystem::create_directory(folder / table.name);
    const Outcome outcome = launch_program(table.program, folder, {});
    ASSERT_EQ(outcome.setup_failure, "");
    EXPECT_EQ(outcome.standard_error, failure_line(table.program, "create", table.name, EISDIR));
    EXPECT_NE(outcome.exit_status, 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder / table.name));
}

// The file opens, but the device fills up at the first buffer written out:
// the run fails part-way through its rows.
TEST_P(FileFailure, FileLinkedToAFullDeviceEndsWithCannotWrite)
{
    const SuiteTable& table = GetParam();
    const auto folder = fresh_folder();
    std::filesystem::create_symlink("/dev/full", folder / table.name);
    const Outcome outcome = launch_program(table.program, folder, {});
    ASSERT_EQ(outcome.setup_failure, "");
    EXPECT_EQ(outcome.standard_error, failure_line(table.program, "write", table.name, ENOSPC));
    EXPECT_NE(outcome.exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(SixFilePrograms, FileFailure, testing::ValuesIn(file_tables()), test_name);

// The files in a folder.
std::vector<std::string> folder_entries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        // cppcheck-suppress useStlAlgorithm
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const std::string old_table = "1\tyesterday's table\n";

// Only the final close writes the last buffer out: a file size limit one
// byte short of the table makes that write, and only that one, fail.
// Missing it would report success; the old table stays as it was and no
// temporary file is left.
TEST(FinalCloseFailure, LastBufferRefusedAtCloseLeavesTheOldTable)
{
    const SuiteTable table = file_tables().front();
    const std::string complete = table_text(shared_run(table.program), table);
    const auto folder = fresh_folder();
    std::ofstream(folder / table.name, std::ios::binary) << old_table;
    Launch launch;
    launch.file_size_limit = complete.size() - 1;
    const Outcome outcome = launch_program(table.program, folder, launch);
    ASSERT_EQ(outcome.setup_failure, "");
    EXPECT_EQ(outcome.standard_error, failure_line(table.program, "write", table.name, EFBIG));
    EXPECT_NE(outcome.exit_status, 0);
    EXPECT_EQ(read_file(folder / table.name), old_table);
    EXPECT_EQ(folder_entries(folder), std::vector<std::string>{table.name});
}

// A write that fails stops the program there, within milliseconds, not
// after computing every row, which at the most rows takes a minute or more:
// the alarm, far beyond the first and far short of the second, tells them
// apart.
TEST(EarlyFailure, FirstRefusedWriteStopsTheProgram)
{
    Launch launch;
    launch.arguments = {"--rows", "2147483646", "--output", "/dev/full"};
    launch.alarm_seconds = 10;
    const Outcome outcome = launch_program("montecarlo1d", fresh_folder(), launch);
    ASSERT_EQ(outcome.setup_failure, "");
    EXPECT_EQ(outcome.signal, 0) << "still running when the alarm rang";
    EXPECT_EQ(outcome.standard_error, failure_line("montecarlo1d", "write", "/dev/full", ENOSPC));
    EXPECT_EQ(outcome.exit_status, 1);
}

// True once the process holds a file of `folder` open: its table's
// temporary file, named or not.
bool writes_into(pid_t process, const std::filesystem::path& folder)
{
    std::error_code error;
    const std::string inside = folder.string() + "/";
    for (std::filesystem::directory_iterator fd("/proc/" + std::to_string(process) + "/fd", error), end;
         !error && fd != end; fd.increment(error)) {
        const std::filesystem::path target = std::filesystem::read_symlink(fd->path(), error);
        if (!error && target.string().starts_with(inside)) {
            return true;
        }
    }
    return false;
}

// A run stopped part-way by a signal that a user, a terminal or a batch
// system sends ends by that signal and leaves the old table alone, with no
// other file beside it: the anonymous temporary file goes with the process,
// even with SIGKILL. With /proc/self/fd hidden, through which it would be
// linked in, the writer must name it, and the handler removes it; SIGKILL
// leaves a named one, which the next run on the table removes, its process
// being gone.
TEST(Replacement, StoppedRunLeavesTheOldTableAndNoOtherFile)
{
    const SuiteTable table = file_tables().front();
    for (const bool hide_fd_links : {false, true}) {
        for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                                 SIGKILL}) {
            const auto folder = fresh_folder();
            std::ofstream(folder / table.name, std::ios::binary) << old_table;
            Launch launch;
            launch.arguments = {"--rows", "2147483646"};
            launch.alarm_seconds = 120;
            launch.hide_fd_links = hide_fd_links;
            bool writing_seen = false;
            launch.while_running = [&](pid_t child) {
                for (int wait = 0; wait < 6000 && !writing_seen; ++wait) {
                    writing_seen = writes_into(child, folder);
                    // cppcheck-suppress usleepCalled
                    usleep(10000);
                }
                kill(child, signal);
            };
            const Outcome outcome = launch_program(table.program, folder, launch);
            if (!outcome.setup_failure.empty()) {
                GTEST_SKIP() << "a hidden /proc/self/fd cannot be simulated here: " << outcome.setup_failure;
            }
            const std::string run = std::string(hide_fd_links ? "named, " : "anonymous, ") + strsignal(signal);
            EXPECT_TRUE(writing_seen) << run;
            EXPECT_EQ(outcome.signal, signal) << run;
            EXPECT_EQ(read_file(folder / table.name), old_table) << run;
            if (signal == SIGKILL && hide_fd_links) {
                EXPECT_EQ(folder_entries(folder).size(), 2U) << run;
                ASSERT_EQ(launch_program(table.program, folder, {}).exit_status, 0);
            }
            EXPECT_EQ(folder_entries(folder), std::vector<std::string>{table.name}) << run;
        }
    }
}

// A run of more than a second shows its progress on standard error when
// that is a terminal, one line rewritten in place and blanked at the end,
// and writes nothing there when it is a file. The table is the same. Each
// row of the quadrature table doubles the work: 26 rows take about four
// seconds on a fast machine, well past the one second the line waits.
TEST(Progress, ShownOnATerminalOnly)
{
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0) << std::strerror(errno);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const int error_side = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Closed after the run below; a failed assertion leaves both ends to the
    // test process's exit.
    // cppcheck-suppress resourceLeak
    ASSERT_GE(error_side, 0) << std::strerror(errno);
    Launch launch;
    launch.arguments = {"--rows", "26"};
    launch.error_terminal = error_side;
    const Outcome shown = launch_program("quadrature", fresh_folder(), launch);
    close(error_side);
    std::string line;
    std::array<char, 4096> bytes{};
    for (ssize_t got = 0; (got = read(terminal, bytes.data(), bytes.size())) > 0;) {
        line.append(bytes.data(), static_cast<std::size_t>(got));
    }
    close(terminal);
    ASSERT_EQ(shown.setup_failure, "");
    EXPECT_EQ(shown.exit_status, 0);
    EXPECT_TRUE(line.starts_with("\rquadrature: ")) << line;
    EXPECT_NE(line.find(" of 26 rows, "), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const std::size_t last = line.rfind('\r', line.size() - 2);
    EXPECT_TRUE(line.ends_with("\r") && line.find_first_not_of(' ', last + 1) == line.size() - 1) << line;

    launch.error_terminal = -1;
    const Outcome quiet = launch_program("quadrature", fresh_folder(), launch);
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.standard_error, "");
    EXPECT_TRUE(quiet.standard_output == shown.standard_output);
}

TEST(Replacement, NewTableKeepsTheOldPermissionBits)
{
    const SuiteTable table = file_tables().front();
    const auto folder = fresh_folder();
    const auto path = folder / table.name;
    std::ofstream(path, std::ios::binary) << old_table;
    const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
                      | std::filesystem::perms::group_read;
    std::filesystem::permissions(path, mode);
    const Outcome outcome = launch_program(table.program, folder, {});
    ASSERT_EQ(outcome.setup_failure, "");
    EXPECT_EQ(outcome.exit_status, 0);
    EXPECT_TRUE(read_file(path) == table_text(shared_run(table.program), table));
    EXPECT_EQ(std::filesystem::status(path).permissions(), mode);
}

// The table a link names is replaced beside itself; the link stays a link.
TEST(Replacement, SymbolicLinkIsFollowed)
{
    const SuiteTable table = file_tables().front();
    const auto folder = fresh_folder();
    const auto elsewhere = fresh_folder();
    std::ofstream(elsewhere / "kept.dat", std::ios::binary) << old_table;
    std::filesystem::create_symlink(elsewhere / "kept.dat", folder / table.name);
    const Outcome outcome = launch_program(table.program, folder, {});
    ASSERT_EQ(outcome.setup_failure, "");
    EXPECT_EQ(outcome.exit_status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / table.name));
    EXPECT_TRUE(read_file(elsewhere / "kept.dat") == table_text(shared_run(table.program), table));
    EXPECT_EQ(folder_entries(elsewhere), std::vector<std::string>{"kept.dat"});
}

// Every program writes to standard output: the generator's notice, or
// quadrature's table. A stream that takes no bytes fails the run, and a
// table file written meanwhile is still the complete table, never mixed
// with what was meant for standard output.
class StandardOutputFailure : public testing::TestWithParam<SuiteTable> {
protected:
    void expect_failure(Output output, int error)
    {
        const SuiteTable& table = GetParam();
        const auto folder = fresh_folder();
        const Outcome outcome = launch_program(table.program, folder, {output});
        ASSERT_EQ(outcome.setup_failure, "");
        EXPECT_EQ(outcome.standard_error, failure_line(table.program, "write", "standard output", error));
        EXPECT_NE(outcome.exit_status, 0);
        if (!table.on_standard_output) {
            const ProgramRun& reference = shared_run(table.program);
            EXPECT_TRUE(read_file(folder / table.name) == table_text(reference, table))
                << table.name << " differs from the table of a run with standard output intact";
        }
    }
};

TEST_P(StandardOutputFailure, ClosedStandardOutputEndsWithCannotWrite) { expect_failure(Output::closed, EBADF); }

TEST_P(StandardOutputFailure, FullStandardOutputEndsWithCannotWrite) { expect_failure(Output::full, ENOSPC); }

INSTANTIATE_TEST_SUITE_P(SevenPrograms, StandardOutputFailure, testing::ValuesIn(suite_tables()), test_name);

// A reader that has gone: with SIGPIPE at its default the signal ends the
// program; with SIGPIPE ignored the write fails with EPIPE and the program
// stops without a word. Neither reports success, neither writes to stderr.
TEST(BrokenPipe, QuadratureEndsQuietlyWhenTheReaderHasGone)
{
    const Outcome killed = launch_program("quadrature", fresh_folder(), {Output::broken_pipe});
    ASSERT_EQ(killed.setup_failure, "");
    EXPECT_EQ(killed.signal, SIGPIPE);
    EXPECT_EQ(killed.standard_error, "");

    const Outcome ignored = launch_program("quadrature", fresh_folder(), {Output::broken_pipe, false, true});
    ASSERT_EQ(ignored.setup_failure, "");
    EXPECT_EQ(ignored.exit_status, 1);
    EXPECT_EQ(ignored.standard_error, "");
}

TEST(BrokenPipe, QuadratureIntoHeadPrintsTheFirstRowAndNoError)
{
    const auto folder = fresh_folder();
    const auto err = folder / "stderr";
    const auto out = folder / "stdout";
    std::string command;
    for (const std::string& piece : {std::string("'"), program_path("quadrature").string(), std::string("' 2>'"),
                                     err.string(), std::string("' | head -n 1 >'"), out.string(), std::string("'")}) {
        command.append(piece);
    }
    ASSERT_EQ(std::system(command.c_str()), 0);  // NOLINT(cert-env33-c): the pipeline is the point
    EXPECT_EQ(read_file(out), "2\t0.000000\t0.250000\t0.000000\n");
    EXPECT_EQ(read_file(err), "");
}

}  // namespace
