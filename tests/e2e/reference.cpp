#include "reference.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "experiments.hpp"

namespace {

// A row with its tabs made visible.
std::string shown(const std::string& row)
{
    std::string text(1, '"');
    for (const char c : row) {
        if (c == '\t') {
            text.append("\\t");
        } else {
            text.push_back(c);
        }
    }
    text.push_back('"');
    return text;
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

void PrintTo(const SuiteTable& table, std::ostream* out) { *out << table.name; }

const std::vector<SuiteTable>& suite_tables()
{
    static const std::vector<SuiteTable> all = [] {
        std::vector<SuiteTable> tables;
        std::transform(experiments().begin(), experiments().end(), std::back_inserter(tables),
                       [](const Experiment& e) {
                           return SuiteTable{e.name.c_str(), e.table_file.c_str(), e.on_standard_output};
                       });
        return tables;
    }();
    return all;
}

std::string table_text(const ProgramRun& run, const SuiteTable& table)
{
    return table.on_standard_output ? run.standard_output : read_file(run.folder / table.name);
}

std::filesystem::path reference_folder() { return SUITE_REFERENCE_DIR; }

std::map<std::string, std::string> read_checksums(const std::filesystem::path& path)
{
    std::map<std::string, std::string> digests;
    for (const std::string& line : read_lines(path)) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        // sha256sum separates digest and name by a space and a mode
        // character (' ' for text, '*' for binary).
        constexpr std::size_t digest_length = 64;
        if (line.size() > digest_length + 2) {
            digests[line.substr(digest_length + 2)] = line.substr(0, digest_length);
        }
    }
    return digests;
}

std::vector<std::string> reference_excerpt(const std::string& table)
{
    return read_lines(reference_folder() / "excerpts" / (table + ".head"));
}

std::string first_difference(const std::string& table, const std::vector<std::string>& excerpt,
                             const std::string& table_text)
{
    const std::vector<std::string> rows = split_lines(table_text);
    std::ostringstream text;
    for (std::size_t r = 0; r < excerpt.size(); ++r) {
        if (r >= rows.size()) {
            text << table << " ends after " << rows.size() << " rows; reference row " << r + 1 << " is "
                 << shown(excerpt[r]);
            return text.str();
        }
        if (rows[r] != excerpt[r]) {
            text << table << " first differs at row " << r + 1 << ": reference " << shown(excerpt[r])
                 << ", this build " << shown(rows[r]);
            return text.str();
        }
    }
    text << table << " matches the reference in its first " << excerpt.size()
         << " rows; the difference lies further on (this build wrote " << rows.size() << " rows)";
    return text.str();
}
