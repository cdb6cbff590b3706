#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Starting the replicas as separate processes and waiting for them, on POSIX
// systems and on Windows.

// A started process: its pid, or its process handle on Windows.
using ProcessId = std::intptr_t;

// Starts `program` with `arguments`, standard output discarded and standard
// error written to `error_file`. A program given without a folder is looked
// up on PATH. Throws std::system_error when it cannot be started.
ProcessId start_process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                        const std::filesystem::path& error_file);

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
