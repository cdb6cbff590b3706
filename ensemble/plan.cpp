#include "plan.hpp"

namespace fs = std::filesystem;

std::string shell_quoted(const std::string& word)
{
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789_-+=./:,@%") == std::string::npos;
    if (plain) {
        return word;
    }
    std::string text = "'";
    for (const char c : word) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

std::string plan(const Study& study, const fs::path& program)
{
    std::string text;
    for (std::int64_t seed = 1; seed <= study.replicas; ++seed) {
        const std::string table = shell_quoted(study.table(seed).string());
        std::string line = "test -f " + table + " || { " + shell_quoted(program.string());
        for (const std::string& word : study.arguments(seed)) {
            line.append(" ").append(shell_quoted(word));
        }
        line.append(" >/dev/null && mv -- ").append(shell_quoted(study.unfinished_table(seed).string()));
        line.append(" ").append(table).append("; }\n");
        text += line;
    }
    return text;
}
