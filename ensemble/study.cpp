#include "study.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>
#include <thread>

#include "process.hpp"
#include "experiments.hpp"

namespace fs = std::filesystem;

namespace {

const char* const manifest_name = "study.txt";
const char* const aggregate_name = "aggregate.dat";

// The whole file into `text` (kept by the caller, so one buffer serves
// every table); false when it cannot be read.
bool read_into(const fs::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    text.resize(static_cast<std::size_t>(std::max<std::streamoff>(size, 0)));
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(in);
}

// Writes `text` to `path` through a temporary name, so that the file is
// either whole or absent.
void write_whole(const fs::path& path, const std::string& text)
{
    fs::path part = path;
    part += ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            throw StudyError("cannot write " + part.string());
        }
    }
    std::error_code error;
    fs::remove(path, error);
    fs::rename(part, path, error);
    if (error) {
        throw StudyError("cannot write " + path.string() + ": " + error.message());
    }
}

// The first non-empty line of a replica's standard error.
std::string first_line(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            return line;
        }
    }
    return {};
}

std::string seconds(double s)
{
    std::array<char, 32> text{};
    if (s < 60) {
        (void)std::snprintf(text.data(), text.size(), "%.0f s", s);
    } else {
        (void)std::snprintf(text.data(), text.size(), "%d min %02d s", static_cast<int>(s) / 60,
                            static_cast<int>(s) % 60);
    }
    return text.data();
}

// Replicas done of those to run, elapsed and estimated remaining time: one
// line rewritten in place on a terminal, else a line per tenth.
class Progress {
public:
    explicit Progress(std::int64_t total)
        : total_(total), terminal_(standard_error_is_terminal()), start_(std::chrono::steady_clock::now())
    {
    }

    void done(std::int64_t count)
    {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double left = elapsed / static_cast<double>(count) * static_cast<double>(total_ - count);
        const std::int64_t tenth = count * 10 / total_;
        if (!terminal_ && tenth == last_tenth_) {
            return;
        }
        last_tenth_ = tenth;
        std::string line = "ensemble: " + std::to_string(count) + " of " + std::to_string(total_) +
                           " replicas done, " + seconds(elapsed) + " elapsed";
        if (count < total_) {
            line += ", about " + seconds(left) + " left";
        }
        if (terminal_) {
            // Blanks cover the end of a longer line before.
            const std::size_t width = std::max(line.size(), shown_);
            shown_ = line.size();
            line.resize(width, ' ');
            (void)std::fprintf(stderr, "\r%s%s", line.c_str(), count == total_ ? "\n" : "");
        } else {
            (void)std::fprintf(stderr, "%s\n", line.c_str());
        }
        (void)std::fflush(stderr);
    }

    // Ends the rewritten line before another message.
    void interrupt()
    {
        if (terminal_ && shown_ > 0) {
            (void)std::fputs("\n", stderr);
            shown_ = 0;
        }
    }

private:
    std::int64_t total_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    std::int64_t last_tenth_ = 0;
    std::size_t shown_ = 0;
};

std::string failure_message(const Study& study, std::int64_t seed, const Finished& finished)
{
    const std::string said = first_line(fs::path(study.unfinished_table(seed)) += ".stderr");
    std::string why;
    if (!finished.exited) {
        why = "killed by signal " + std::to_string(finished.status);
    } else if (finished.status != 0) {
        why = "exit status " + std::to_string(finished.status);
    } else {
        why = "its table is not " + std::to_string(study.expected_rows()) + " whole rows";
    }
    return "replica " + std::to_string(seed) + " failed (" + why + ")" + (said.empty() ? "" : ": " + said);
}

}  // namespace

const std::vector<StudyProgram>& study_programs()
{
    // The experiments that take a seed, read from the list: a counter that
    // starts at 2 ("counter", montecarlo1d) holds one sample fewer than it
    // says; a jackknife error or an interval's ends follow the estimate.
    static const std::vector<StudyProgram> all = [] {
        std::vector<StudyProgram> programs;
        for (const Experiment& e : experiments()) {
            if (!e.has_option("seed") || e.sigma == nullptr || e.columns < 2) {
                continue;
            }
            const std::vector<std::string>& names = e.column_names;
            OwnError own = OwnError::none;
            if (names.size() == 3 && names[2] == "jackknife_error") {
                own = OwnError::jackknife;
            } else if (names.size() == 4 && names[2] == "lower" && names[3] == "upper") {
                own = OwnError::bootstrap;
            }
            programs.push_back({{e.name, e.columns, names[0] == "counter" ? 1.0 : 0.0, own, e.exact(), e.sigma()},
                                e.default_rows,
                                e.max_rows,
                                e.has_option("updates-per-sample"),
                                e.uses_every_core});
        }
        return programs;
    }();
    return all;
}

const StudyProgram* find_study_program(std::string_view name)
{
    const std::vector<StudyProgram>& all = study_programs();
    const auto found =
        std::find_if(all.begin(), all.end(), [&](const StudyProgram& program) { return program.replica.name == name; });
    return found == all.end() ? nullptr : &*found;
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

std::int64_t Study::expected_rows() const { return rows.value_or(program->default_rows); }

std::string Study::description() const
{
    std::string text = program->replica.name;
    for (const std::string& word : options()) {
        text.append(" ").append(word);
    }
    return text;
}

fs::path Study::table(std::int64_t seed) const
{
    return dir / (program->replica.name + "-" + std::to_string(seed) + ".dat");
}

fs::path Study::unfinished_table(std::int64_t seed) const { return fs::path(table(seed)) += ".part"; }

std::vector<std::string> Study::arguments(std::int64_t seed) const
{
    std::vector<std::string> words{"--seed", std::to_string(seed)};
    const std::vector<std::string> more = options();
    words.insert(words.end(), more.begin(), more.end());
    words.insert(words.end(), {"--output", unfinished_table(seed).string()});
    return words;
}

void prepare_folder(const Study& study)
{
    std::error_code error;
    fs::create_directories(study.dir, error);
    if (error || !fs::is_directory(study.dir)) {
        throw UsageError("cannot create the folder " + study.dir.string() +
                         (error ? ": " + error.message() : ": a file has that name"));
    }
    const fs::path manifest = study.dir / manifest_name;
    std::string recorded;
    const std::string wanted = study.description() + "\n";
    if (read_into(manifest, recorded) && recorded != wanted) {
        throw UsageError(study.dir.string() + " holds replicas of '" + recorded.substr(0, recorded.find('\n')) +
                         "', not of '" + study.description() + "'; give another --dir");
    }
    // Writing the record proves the folder can be written.
    try {
        write_whole(manifest, wanted);
    } catch (const StudyError& failure) {
        throw UsageError(std::string("the folder cannot be written: ") + failure.what());
    }
}

bool table_complete(const fs::path& path, std::int64_t rows)
{
    std::string text;
    return read_into(path, text) && complete_rows(text) == rows;
}

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
        std::string line = shell_quoted(program.string());
        for (const std::string& word : study.arguments(seed)) {
            line.append(" ").append(shell_quoted(word));
        }
        line.append(" >/dev/null && mv ").append(shell_quoted(study.unfinished_table(seed).string()));
        line.append(" ").append(shell_quoted(study.table(seed).string())).append("\n");
        text += line;
    }
    return text;
}

std::int64_t default_jobs(const StudyProgram& program)
{
    const auto cores = static_cast<std::int64_t>(std::max(1U, std::thread::hardware_concurrency()));
    return program.threaded ? 1 : cores;
}

void run_study(const Study& study, const fs::path& program, std::int64_t jobs)
{
    const auto start = std::chrono::steady_clock::now();
    // The result of an earlier run would no longer be the study's.
    std::error_code ignored;
    fs::remove(study.dir / aggregate_name, ignored);

    std::vector<std::int64_t> pending;
    for (std::int64_t seed = 1; seed <= study.replicas; ++seed) {
        if (!table_complete(study.table(seed), study.expected_rows())) {
            pending.push_back(seed);
        }
    }
    (void)std::fprintf(stderr, "ensemble: %lld replicas of %s in %s: %lld to run, %lld at a time\n",
                       static_cast<long long>(study.replicas), study.description().c_str(), study.dir.string().c_str(),
                       static_cast<long long>(pending.size()),
                       static_cast<long long>(std::min<std::int64_t>(jobs, std::ssize(pending))));

    // At most 64 at once: the most Windows waits for in one call.
    jobs = std::clamp<std::int64_t>(jobs, 1, 64);
    std::map<ProcessId, std::int64_t> running;  // process -> seed
    std::vector<ProcessId> ids;
    std::optional<std::string> failure;
    Progress progress(std::ssize(pending));
    std::int64_t done = 0;
    auto next = pending.begin();
    while (!running.empty() || (next != pending.end() && !failure)) {
        while (!failure && next != pending.end() && std::ssize(running) < jobs) {
            const std::int64_t seed = *next++;
            const fs::path errors = fs::path(study.unfinished_table(seed)) += ".stderr";
            try {
                running[start_process(program, study.arguments(seed), errors)] = seed;
            } catch (const std::system_error& error) {
                failure = "cannot start " + program.string() + ": " + error.code().message();
                fs::remove(errors, ignored);
            }
        }
        if (running.empty()) {
            break;
        }
        ids.clear();
        for (const auto& [id, seed] : running) {
            ids.push_back(id);
        }
        const Finished finished = wait_any(ids);
        const std::int64_t seed = running[finished.id];
        running.erase(finished.id);
        const fs::path part = study.unfinished_table(seed);
        const fs::path errors = fs::path(part) += ".stderr";
        if (finished.exited && finished.status == 0 && table_complete(part, study.expected_rows())) {
            fs::remove(study.table(seed), ignored);
            std::error_code error;
            fs::rename(part, study.table(seed), error);
            if (error && !failure) {
                failure = "cannot rename " + part.string() + ": " + error.message();
            }
            progress.done(++done);
        } else if (!failure) {
            failure = failure_message(study, seed, finished);
        }
        fs::remove(errors, ignored);
    }
    if (failure) {
        progress.interrupt();
        throw StudyError(*failure);
    }
    const std::int64_t replicas = collect(study.dir, study.replicas);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    (void)std::printf("ensemble: %lld replicas run in %.1f s; the aggregate of %lld is in %s\n",
                      static_cast<long long>(pending.size()), took, static_cast<long long>(replicas),
                      (study.dir / aggregate_name).string().c_str());
}

std::int64_t collect(const fs::path& dir, std::optional<std::int64_t> last_seed)
{
    // The replica tables by seed: <program>-<seed>.dat.
    std::map<std::int64_t, fs::path> tables;
    const StudyProgram* program = nullptr;
    std::int64_t unfinished = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".dat.part")) {
            ++unfinished;
            continue;
        }
        const std::size_t dash = name.rfind('-');
        if (!name.ends_with(".dat") || dash == std::string::npos) {
            continue;
        }
        const std::string digits = name.substr(dash + 1, name.size() - dash - 1 - 4);
        const StudyProgram* found = find_study_program(name.substr(0, dash));
        if (found == nullptr || digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        if (program != nullptr && program != found) {
            throw StudyError(dir.string() + " holds tables of both " + program->replica.name + " and " +
                             found->replica.name);
        }
        program = found;
        const std::int64_t seed = std::stoll(digits);
        if (!last_seed || seed <= *last_seed) {
            tables[seed] = entry.path();
        }
    }
    if (error) {
        throw StudyError("cannot read the folder " + dir.string() + ": " + error.message());
    }
    if (tables.empty()) {
        throw StudyError("no replica tables (<program>-<seed>.dat) in " + dir.string());
    }
    if (unfinished > 0) {
        (void)std::fprintf(stderr, "ensemble: %lld unfinished tables (.dat.part) in %s left out\n",
                           static_cast<long long>(unfinished), dir.string().c_str());
    }

    Aggregate aggregate(program->replica);
    std::string text;
    for (const auto& [seed, path] : tables) {
        if (!read_into(path, text)) {
            throw StudyError("cannot read " + path.string());
        }
        try {
            aggregate.add(text);
        } catch (const ReplicaTableError& bad) {
            throw StudyError(path.string() + ": " + bad.what());
        }
    }
    std::string description = program->replica.name;
    if (read_into(dir / manifest_name, text) && text.find('\n') != std::string::npos) {
        description = text.substr(0, text.find('\n'));
    }
    const std::string header = "# ensemble: " + std::to_string(aggregate.replicas()) + " replicas of " + description +
                               ", seeds " + std::to_string(tables.begin()->first) + " to " +
                               std::to_string(tables.rbegin()->first) + "\n" + Aggregate::column_header();
    write_whole(dir / aggregate_name, header + aggregate.text());
    return aggregate.replicas();
}
