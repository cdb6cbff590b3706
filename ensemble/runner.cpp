#include "runner.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "aggregate.hpp"
#include "collect.hpp"
#include "process.hpp"
#include "progress.hpp"
#include "usable_cores.hpp"
#include "whole_file.hpp"

namespace fs = std::filesystem;

namespace {

// Whether `path` is a table of exactly `rows` whole rows.
bool table_complete(const fs::path& path, std::int64_t rows)
{
    std::string text;
    return read_into(path, text) && complete_rows(text) == rows;
}

// The first non-blank line of what a replica wrote to standard error.
std::string first_line(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            return line.substr(0, line.find_last_not_of('\r') + 1);
        }
        at = end + 1;
    }
    return {};
}

std::string failure_message(const Study& study, std::int64_t seed, const Finished& finished, const std::string& said)
{
    std::string why;
    if (!finished.exited) {
        why = "killed by signal " + std::to_string(finished.status);
    } else if (finished.status != 0) {
        why = "exit status " + std::to_string(finished.status);
    } else {
        why = "its table is not " + count_of(study.expected_rows(), "whole row");
    }
    return "replica " + std::to_string(seed) + " failed (" + why + ")" + (said.empty() ? "" : ": " + said);
}

}  // namespace

std::int64_t default_jobs(const Experiment& program)
{
    return program.uses_every_core ? 1 : std::min(static_cast<std::int64_t>(usable_cores()), max_jobs);
}

void check_jobs(std::int64_t jobs)
{
    if (jobs < 1 || jobs > max_jobs) {
        throw UsageError("--jobs: " + std::to_string(jobs) + " is out of range (1 to " + std::to_string(max_jobs) +
                         ")");
    }
}

void run_study(const Study& study, const fs::path& program, std::int64_t jobs)
{
    check_jobs(jobs);
    const auto start = std::chrono::steady_clock::now();
    std::error_code ignored;
    // The result of an earlier run would no longer be the study's.
    fs::remove(study.dir / "aggregate.dat", ignored);
    fs::remove(study.dir / coverage_file_name, ignored);
    std::vector<std::int64_t> pending;
    for (std::int64_t seed = 1; seed <= study.replicas; ++seed) {
        const fs::path table = study.table(seed);
        if (fs::exists(table, ignored) && !fs::is_regular_file(table, ignored)) {
            throw StudyError(table.string() + " is not a file but has a replica table's name: remove or rename it");
        }
        if (!table_complete(study.table(seed), study.expected_rows())) {
            pending.push_back(seed);
        }
    }
    jobs = std::max<std::int64_t>(std::min<std::int64_t>(jobs, std::ssize(pending)), 1);
    (void)std::fprintf(stderr, "ensemble: %s of %s in %s: %lld to run, %lld at a time\n",
                       count_of(study.replicas, "replica").c_str(), study.description().c_str(),
                       study.dir.string().c_str(), static_cast<long long>(pending.size()),
                       static_cast<long long>(pending.empty() ? 0 : jobs));

    std::map<ProcessId, std::pair<std::int64_t, std::unique_ptr<ChildProcess>>> running;  // process -> seed
    std::vector<ProcessId> ids;
    std::optional<std::string> failure;
    Progress progress(std::ssize(pending));
    std::int64_t done = 0;
    auto next = pending.begin();
    while (!running.empty() || (next != pending.end() && !failure)) {
        while (!failure && next != pending.end() && std::ssize(running) < jobs) {
            const std::int64_t seed = *next++;
            try {
                auto child = std::make_unique<ChildProcess>(program, study.arguments(seed));
                const ProcessId id = child->id();
                running.emplace(id, std::make_pair(seed, std::move(child)));
            } catch (const std::system_error& error) {
                failure = "cannot start " + program.string() + ": " + error.code().message();
            }
        }
        if (running.empty()) {
            break;
        }
        ids.resize(running.size());
        std::transform(running.begin(), running.end(), ids.begin(), [](const auto& entry) { return entry.first; });
        const Finished finished = wait_any(ids);
        const auto found = running.find(finished.id);
        const std::int64_t seed = found->second.first;
        const std::string said = first_line(found->second.second->error_output());
        running.erase(found);
        const fs::path part = study.unfinished_table(seed);
        if (finished.exited && finished.status == 0 && table_complete(part, study.expected_rows())) {
            // What had the table's name is not whole (else the replica
            // would not have run).
            fs::remove(study.table(seed), ignored);
            std::error_code error;
            fs::rename(part, study.table(seed), error);
            if (error && !failure) {
                failure = "cannot rename " + part.string() + ": " + error.message();
            }
            progress.done(++done);
            continue;
        }
        if (!failure) {
            failure = failure_message(study, seed, finished, said);
        }
        // A failed replica's file is no table; a later run redoes it.
        if (fs::is_regular_file(part, ignored)) {
            fs::remove(part, ignored);
        }
    }
    progress.finish();
    if (failure) {
        throw StudyError(*failure);
    }
    const std::int64_t replicas = collect(study.dir);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    errno = 0;
    if (std::printf("ensemble: %s run in %.1f s; the aggregate of %s is in %s\n",
                    count_of(std::ssize(pending), "replica").c_str(), took, count_of(replicas, "replica").c_str(),
                    (study.dir / "aggregate.dat").string().c_str()) < 0 ||
        std::fflush(stdout) != 0) {
        throw StudyError(std::string("cannot write to standard output: ") + std::strerror(errno != 0 ? errno : EIO));
    }
}
