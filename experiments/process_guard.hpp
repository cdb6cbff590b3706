#pragma once

#include "suite/table_writer.hpp"

#ifndef _WIN32
#include <csignal>
#endif

// What a program of the suite does for its process, which the library's
// writer leaves to it: standard streams that are open, and signals that end
// the run without leaving the table's temporary file behind.

// Makes sure descriptors 0, 1 and 2 are in use before any file is opened, so
// that a table can never land on a closed standard stream's descriptor. A
// closed stream is filled with a read-only null device, on which writes still
// fail as they would on the closed stream. On Windows it also switches
// standard output to binary mode, so that its lines end in "\n" too.
// False when a closed stream could not be filled.
[[nodiscard]] bool guard_standard_streams();

// Flushes standard output (the generator's notice, or a table) and throws
// suite::TableWriteError for a failed write, naming "standard output".
void finish_standard_output();

// Catches the signals a user, a terminal or a batch system sends to stop a
// program (SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
// SIGALRM, SIGXCPU; SIGINT, SIGTERM and SIGBREAK on Windows), except those
// the process was started with ignored (nohup, a background job): the
// handler removes the watched table's temporary file, then the signal ends
// the process as it would have. SIGXFSZ is ignored, so that a file size
// limit is a failed write with its own message. Also removes the temporary
// file when the program calls exit() with a table open.
void catch_stopping_signals();

// Holds the stopping signals back in this thread while it lives (no-op on
// Windows), so that a table is created and watched in one step.
class SignalsHeld {
public:
    SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    SignalsHeld(SignalsHeld&&) = delete;
    SignalsHeld& operator=(SignalsHeld&&) = delete;
    ~SignalsHeld();

#ifndef _WIN32
private:
    sigset_t before_;  // the thread's signal mask before
#endif
};

// The table whose temporary file a stopping signal removes, while it lives.
// Destroyed before the table.
class WatchedTable {
public:
    explicit WatchedTable(const suite::TableWriter& table);
    WatchedTable(const WatchedTable&) = delete;
    WatchedTable& operator=(const WatchedTable&) = delete;
    WatchedTable(WatchedTable&&) = delete;
    WatchedTable& operator=(WatchedTable&&) = delete;
    ~WatchedTable();
};
