#pragma once

// The reference run: the SHA-256 of every table as the suite wrote it when
// its rows were checked, and the first rows of each table, kept to show
// where a changed table first departs from it.

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "program_run.hpp"

// A program and the table it writes: its file, or for quadrature, which
// prints its table, the name the table is kept under (quadrature.dat).
struct SuiteTable {
    const char* program;
    const char* name;
    bool on_standard_output;
};

// Names the table in test output instead of dumping the struct's bytes.
void PrintTo(const SuiteTable& table, std::ostream* out);

// The programs of experiments.tsv and their tables.
const std::vector<SuiteTable>& suite_tables();

// The table that `run` of `table.program` wrote.
std::string table_text(const ProgramRun& run, const SuiteTable& table);

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
