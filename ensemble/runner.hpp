#pragma once

#include <cstdint>
#include <filesystem>

#include "study.hpp"
#include "suite/limits.hpp"

// Runs the replicas whose tables are not complete, `jobs` at a time (1 to
// max_jobs; UsageError otherwise), then collects. A replica that fails stops the study: no new
// one starts, those running finish, and StudyError names the first that
// failed with the program's own message; no aggregate is written then.
// Prints the study's outcome on standard output. The caller holds the
// folder's lock.
void run_study(const Study& study, const std::filesystem::path& program, std::int64_t jobs);

using suite::limits::max_jobs;

// Throws UsageError for a count of replicas at once out of 1 to max_jobs.
void check_jobs(std::int64_t jobs);

// Replicas at once by default: one per core this process may use (at most
// max_jobs), and a program that keeps every core busy by itself one at a
// time.
std::int64_t default_jobs(const Experiment& program);
