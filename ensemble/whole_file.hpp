#pragma once

#include <filesystem>
#include <string>

// Whole-file reads and writes of the study's small files.

// The whole file into `text` (kept by the caller, so one buffer serves
// every table); false when it cannot be read or is not a file.
bool read_into(const std::filesystem::path& path, std::string& text);

// Writes `text` to `path` through PATH.part, renamed over `path` only once
// it is whole and closed, so that `path` is either its old self or the new
// text. Throws std::runtime_error with the system's reason ("cannot write
// PATH.part: No space left on device"), leaving no .part behind.
void write_whole(const std::filesystem::path& path, const std::string& text);
