#include "study.hpp"

#include "run_settings.hpp"

namespace fs = std::filesystem;

const Experiment& studied_program(std::string_view name)
{
    const Experiment* found = experiment_named(name);
    if (found == nullptr) {
        throw UsageError("no program named '" + std::string(name) + "'");
    }
    if (!found->has_option("seed") || found->sigma == nullptr || !found->column_with(ColumnRole::estimate)) {
        throw UsageError(found->name + " has no --seed: its replicas would all be the same");
    }
    return *found;
}

std::string count_of(std::int64_t count, const std::string& noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::vector<std::string> Study::options() const
{
    std::vector<std::string> words;
    if (rows) {
        words.insert(words.end(), {"--rows", std::to_string(*rows)});
    }
    if (updates) {
        words.insert(words.end(), {"--updates-per-sample", std::to_string(*updates)});
    }
    return words;
}

std::int64_t Study::expected_rows() const
{
    return RunSettings{.rows = rows.value_or(0)}.completed_for(*program).rows;
}

std::string Study::description() const
{
    std::string text = program->name;
    for (const std::string& word : options()) {
        text.append(" ").append(word);
    }
    return text;
}

std::string table_name(const std::string& program, std::int64_t seed)
{
    return program + "-" + std::to_string(seed) + ".dat";
}

fs::path Study::table(std::int64_t seed) const { return dir / table_name(program->name, seed); }

fs::path Study::unfinished_table(std::int64_t seed) const { return fs::path(table(seed)) += ".part"; }

std::vector<std::string> Study::arguments(std::int64_t seed) const
{
    std::vector<std::string> words{"--seed", std::to_string(seed)};
    const std::vector<std::string> more = options();
    words.insert(words.end(), more.begin(), more.end());
    words.insert(words.end(), {"--output", unfinished_table(seed).string()});
    return words;
}
