#include "process_guard.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr std::array stopping_signals = {SIGINT, SIGTERM, SIGBREAK};
#else
constexpr std::array stopping_signals = {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGPIPE,
                                         SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU};
#endif

// The table a handler cleans up after: a lock-free pointer, which a signal
// handler may read.
std::atomic<const suite::TableWriter*> watched_table{nullptr};
static_assert(std::atomic<const suite::TableWriter*>::is_always_lock_free);

void remove_watched_temporary() noexcept
{
    if (const suite::TableWriter* table = watched_table.load()) {
        table->remove_temporary();
    }
}

extern "C" void remove_temporary_and_stop(int signal_number)
{
    remove_watched_temporary();
    // The handler ran once (SA_RESETHAND, or signal() on Windows): the
    // signal now ends the process as it would have.
    (void)std::signal(signal_number, SIG_DFL);
    (void)std::raise(signal_number);
}

extern "C" void remove_temporary_at_exit() { remove_watched_temporary(); }

}  // namespace

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

void finish_standard_output()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno != 0 ? errno : EIO;
        // A reader closing the pipe is how `program | head` ends: nothing to say.
        throw suite::TableWriteError(std::string("cannot write standard output: ") + std::strerror(error),
                                     error == EPIPE);
    }
}

void catch_stopping_signals()
{
    (void)std::atexit(remove_temporary_at_exit);
#ifdef _WIN32
    for (const int signal_number : stopping_signals) {
        if (std::signal(signal_number, remove_temporary_and_stop) == SIG_IGN) {
            (void)std::signal(signal_number, SIG_IGN);
        }
    }
#else
    (void)std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal_number : stopping_signals) {
        struct sigaction current {};
        if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        // No other stopping signal interrupts the handler; its own, raised
        // again once the default action is back, ends the process at once.
        struct sigaction catching {};
        catching.sa_handler = remove_temporary_and_stop;
        sigemptyset(&catching.sa_mask);
        for (const int other : stopping_signals) {
            if (other != signal_number) {
                sigaddset(&catching.sa_mask, other);
            }
        }
        catching.sa_flags = SA_RESETHAND | SA_NODEFER;
        (void)sigaction(signal_number, &catching, nullptr);
    }
#endif
}

#ifdef _WIN32
SignalsHeld::SignalsHeld() = default;
SignalsHeld::~SignalsHeld() = default;
#else
SignalsHeld::SignalsHeld() : before_()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal_number : stopping_signals) {
        sigaddset(&stops, signal_number);
    }
    (void)pthread_sigmask(SIG_BLOCK, &stops, &before_);
}

SignalsHeld::~SignalsHeld() { (void)pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
#endif

WatchedTable::WatchedTable(const suite::TableWriter& table) { watched_table.store(&table); }

WatchedTable::~WatchedTable() { watched_table.store(nullptr); }
