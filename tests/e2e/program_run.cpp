#include "program_run.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <system_error>

namespace {

// Removes every folder handed out when the test process ends.
struct FolderRegistry {
    std::vector<std::filesystem::path> folders;
    FolderRegistry() = default;
    FolderRegistry(const FolderRegistry&) = delete;
    FolderRegistry(FolderRegistry&&) = delete;
    FolderRegistry& operator=(const FolderRegistry&) = delete;
    FolderRegistry& operator=(FolderRegistry&&) = delete;
    ~FolderRegistry()
    {
        for (const auto& folder : folders) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }
};

FolderRegistry& registry()
{
    static FolderRegistry folders;
    return folders;
}

// Single-quoted for the shell. (Built by appending: g++ 12 warns falsely
// about operator+ on short literals at -O2.)
std::string quoted(const std::filesystem::path& path)
{
    std::string text(1, '\'');
    text.append(path.string());
    text.push_back('\'');
    return text;
}

}  // namespace

std::filesystem::path fresh_folder()
{
    static std::mt19937_64 names(std::random_device{}());
    for (;;) {
        auto folder = std::filesystem::temp_directory_path() / ("suite-test-" + std::to_string(names()));
        if (std::filesystem::create_directory(folder)) {
            registry().folders.push_back(folder);
            return folder;
        }
    }
}

std::filesystem::path program_path(const std::string& program)
{
    return std::filesystem::path(SUITE_PROGRAM_DIR) / program;
}

ProgramRun run_program(const std::string& program, const std::filesystem::path& folder,
                       const std::string& extra)
{
    const auto capture = fresh_folder();
    const auto out = capture / "stdout";
    const auto err = capture / "stderr";
    std::string command = "cd ";
    for (const std::string& piece : {quoted(folder), std::string(" && "), quoted(program_path(program)),
                                     std::string(" >"), quoted(out), std::string(" 2>"), quoted(err),
                                     std::string(" "), extra}) {
        command.append(piece);
    }
    // Through the shell on purpose: tests pass redirections such as ">&-".
    const int status = std::system(command.c_str());  // NOLINT(cert-env33-c)
    ProgramRun run;
    run.exit_status = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    run.standard_output = read_file(out);
    run.standard_error = read_file(err);
    run.folder = folder;
    return run;
}

const ProgramRun& shared_run(const std::string& program)
{
    static std::map<std::string, ProgramRun> runs;
    auto found = runs.find(program);
    if (found == runs.end()) {
        found = runs.emplace(program, run_program(program, fresh_folder())).first;
    }
    return found->second;
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> read_lines(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> fields(const std::string& row)
{
    std::vector<std::string> parts;
    std::istringstream in(row);
    for (std::string part; std::getline(in, part, '\t');) {
        parts.push_back(part);
    }
    return parts;
}
