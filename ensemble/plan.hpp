#pragma once

#include <filesystem>
#include <string>

#include "study.hpp"

// The study as shell commands (sh syntax), one line per replica in the
// order of the seeds: line r runs replica r into its .part name and renames
// it on success, and does nothing when the replica's table is already
// there, so running a plan again redoes only what is missing.
std::string plan(const Study& study, const std::filesystem::path& program);

// Quotes a word for sh when it needs it.
std::string shell_quoted(const std::string& word);
