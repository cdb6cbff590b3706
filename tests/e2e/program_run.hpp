#pragma once

// Runs the suite's programs in fresh temporary folders and reads what they
// left behind.

#include <filesystem>
#include <string>
#include <vector>

struct ProgramRun {
    int exit_status = -1;          // the program's exit status, or -1 if it did not exit normally
    std::string standard_output;
    std::string standard_error;
    std::filesystem::path folder;  // the working directory it ran in
};

// A new empty folder below the system's temporary directory, removed when the
// test process ends.
std::filesystem::path fresh_folder();

// The built program's path.
std::filesystem::path program_path(const std::string& program);

// Runs `program` with `folder` as working directory through the shell, with
// `extra` appended to the command line (arguments such as "--rows 5", or
// redirections such as "> /dev/full" or ">&-"), capturing standard output
// and error unless redirected.
ProgramRun run_program(const std::string& program, const std::filesystem::path& folder,
                       const std::string& extra = "");

// The run of `program` in a fresh folder with nothing redirected, made once
// per test process and shared by every test that only reads its output.
const ProgramRun& shared_run(const std::string& program);

// The whole file, or an empty string if it cannot be read.
std::string read_file(const std::filesystem::path& path);

// The file's lines, without their newlines.
std::vector<std::string> read_lines(const std::filesystem::path& path);

// The tab-separated fields of one row.
std::vector<std::string> fields(const std::string& row);
