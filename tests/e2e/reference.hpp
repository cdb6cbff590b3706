#pragma once

// The reference run: the SHA-256 of every table as the suite wrote it when
// its rows were checked, and the first rows of each table, kept to show
// where a changed table first departs from it.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The folder holding checksums.sha256 and the excerpts.
std::filesystem::path reference_folder();

// Table name -> digest, read from lines "<64 hex digits>  <table>" (the
// format sha256sum writes and checks). Lines starting with '#' are comments.
std::map<std::string, std::string> read_checksums(const std::filesystem::path& path);

// The reference excerpt of `table`: its first rows, as the reference run
// wrote them.
std::vector<std::string> reference_excerpt(const std::string& table);

// Where `table_text` first departs from `excerpt`: the row number with both
// rows, or, when the excerpt is matched, a note that the difference lies
// further on.
std::string first_difference(const std::string& table, const std::vector<std::string>& excerpt,
                             const std::string& table_text);
