#include "collect.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "aggregate.hpp"
#include "experiments.hpp"
#include "study.hpp"
#include "study_folder.hpp"
#include "whole_file.hpp"

namespace fs = std::filesystem;

namespace {

const char* const aggregate_name = "aggregate.dat";

// The seed of a canonical table name's digits; 0 for anything else.
std::int64_t canonical_seed(const std::string& digits)
{
    if (digits.empty() || digits.size() > 9 || digits.front() == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::stoll(digits);
}

struct FolderTables {
    const Experiment* program = nullptr;
    std::map<std::int64_t, fs::path> by_seed;
    std::vector<std::string> unfinished;  // names of .dat.part files
};

// The replica tables of `dir`: files named <program>-<something>.dat for a
// program of the list; any other file is not the study's.
FolderTables tables_of(const fs::path& dir)
{
    FolderTables found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".dat.part")) {
            found.unfinished.push_back(name);
            continue;
        }
        const std::size_t dash = name.rfind('-');
        if (!name.ends_with(".dat") || dash == std::string::npos) {
            continue;
        }
        const Experiment* program = experiment_named(std::string_view(name).substr(0, dash));
        if (program == nullptr) {
            continue;
        }
        const std::int64_t seed = canonical_seed(name.substr(dash + 1, name.size() - dash - 1 - 4));
        if (seed == 0) {
            throw StudyError(entry.path().string() + " is not named as a replica table (" + program->name +
                             "-SEED.dat, SEED from 1 without leading zeros): rename or remove it");
        }
        std::error_code not_read;
        if (!entry.is_regular_file(not_read)) {
            throw StudyError(entry.path().string() + " is not a file but has a replica table's name: remove or " +
                             "rename it");
        }
        if (found.program != nullptr && found.program != program) {
            throw StudyError(dir.string() + " holds tables of both " + found.program->name + " and " +
                             program->name);
        }
        found.program = program;
        found.by_seed[seed] = entry.path();
    }
    if (error) {
        throw StudyError("cannot read the folder " + dir.string() + ": " + error.message());
    }
    return found;
}

// The folder's aggregate, and its text with the header in `text`.
Aggregate aggregate_of(const fs::path& dir, std::string& text)
{
    const FolderTables tables = tables_of(dir);
    FolderRecord record;
    const bool recorded = read_record(dir, record);
    const std::string recorded_program = record.description.substr(0, record.description.find(' '));
    if (tables.by_seed.empty()) {
        throw StudyError("no replica tables (<program>-<seed>.dat) in " + dir.string());
    }
    const Experiment& program = *tables.program;
    if (recorded && recorded_program != program.name) {
        throw StudyError(dir.string() + " holds tables of " + program.name + ", its study.txt says " +
                         recorded_program);
    }
    if (!tables.unfinished.empty()) {
        (void)std::fprintf(stderr, "ensemble: %s in %s left out: %s%s\n",
                           count_of(std::ssize(tables.unfinished), "unfinished table").c_str(), dir.string().c_str(),
                           tables.unfinished.front().c_str(), tables.unfinished.size() > 1 ? ", ..." : "");
    }
    const std::int64_t count = std::max(record.replicas, tables.by_seed.rbegin()->first);
    std::vector<std::int64_t> missing;
    for (std::int64_t seed = 1; seed <= count; ++seed) {
        if (tables.by_seed.count(seed) == 0) {
            missing.push_back(seed);
        }
    }
    if (!missing.empty()) {
        std::string seeds = std::to_string(missing[0]);
        for (std::size_t k = 1; k < missing.size() && k < 5; ++k) {
            seeds += ", " + std::to_string(missing[k]);
        }
        seeds += missing.size() > 5 ? ", ..." : "";
        throw StudyError(std::string(missing.size() == 1 ? "replica " : "replicas ") + seeds +
                         (missing.size() == 1 ? " is" : " are") + " missing from " + dir.string() + " (" +
                         std::to_string(missing.size()) + " of " + std::to_string(count) +
                         "): run the study again to make them");
    }

    Aggregate aggregate(program);
    for (const auto& [seed, path] : tables.by_seed) {
        if (!read_into(path, text)) {
            throw StudyError("cannot read " + path.string());
        }
        try {
            aggregate.add(text);
        } catch (const ReplicaTableError& bad) {
            throw StudyError(path.string() + ": " + bad.what());
        }
    }
    const std::string description = recorded ? record.description : program.name;
    text = "# ensemble: " + count_of(aggregate.replicas(), "replica") + " of " + description + ", seeds 1 to " +
           std::to_string(count) + "\n" + Aggregate::column_header() + aggregate.text();
    return aggregate;
}

}  // namespace

std::int64_t collect(const fs::path& dir)
{
    return collect_aggregate(dir).replicas();
}

Aggregate collect_aggregate(const fs::path& dir)
{
    const fs::path result = dir / aggregate_name;
    const fs::path coverage = dir / coverage_file_name;
    std::error_code ignored;
    std::string text;
    std::optional<Aggregate> aggregate;
    try {
        aggregate.emplace(aggregate_of(dir, text));
    } catch (const StudyError&) {
        // An earlier result would no longer be the folder's.
        fs::remove(result, ignored);
        fs::remove(coverage, ignored);
        throw;
    }
    // A program without its own error has no coverage to write.
    const bool has_coverage = !aggregate->methods().empty();
    const std::string coverage_text = has_coverage ? aggregate->coverage_text() : std::string();
    try {
        write_whole(result, text);
        if (has_coverage) {
            write_whole(coverage, coverage_text);
        } else {
            fs::remove(coverage, ignored);
        }
    } catch (const std::runtime_error& failure) {
        // An old file stays only when it says the same.
        const auto keep_only_if_same = [&](const fs::path& path, const std::string& now) {
            std::string old;
            if (!read_into(path, old) || old != now) {
                fs::remove(path, ignored);
            }
        };
        keep_only_if_same(result, text);
        if (has_coverage) {
            keep_only_if_same(coverage, coverage_text);
        } else {
            fs::remove(coverage, ignored);
        }
        throw StudyError(failure.what());
    }
    return *std::move(aggregate);
}
