#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

// Starting the replicas as separate processes and waiting for them, on POSIX
// systems and on Windows.

// A started process: its pid, or its process handle on Windows.
using ProcessId = std::intptr_t;

// A process started with standard output discarded and standard error
// into a pipe, which a thread of ours reads to its end, keeping the first
// `kept_error_bytes`: the program's own message survives a full disk, and
// a chatty program never blocks on a full pipe.
class ChildProcess {
public:
    static constexpr std::size_t kept_error_bytes = 4096;

    // Starts `program` with `arguments`; a program given without a folder
    // is looked up on PATH. Throws std::system_error when it cannot be
    // started.
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&&) = delete;
    ChildProcess& operator=(ChildProcess&&) = delete;

    ProcessId id() const { return id_; }

    // What the process wrote to standard error (its first kept_error_bytes),
    // once the process has ended: waits for the pipe's end.
    const std::string& error_output();

private:
    ProcessId id_ = 0;
    std::string error_;
    std::thread reader_;
};

struct Finished {
    ProcessId id;
    bool exited;  // false: ended by a signal
    int status;   // the exit status, or the signal
};

// Waits until one of `running` (not empty) ends.
Finished wait_any(const std::vector<ProcessId>& running);

// This program's own executable, from the system where it says, else from
// argv[0]; empty when neither tells.
std::filesystem::path own_executable(const char* argv0);

// The file name of an executable: ".exe" added on Windows.
std::string executable_name(const std::string& name);

// Whether standard error is a terminal.
bool standard_error_is_terminal();
