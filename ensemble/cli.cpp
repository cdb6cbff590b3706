#include "cli.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "collect.hpp"
#include "option_checks.hpp"
#include "plan.hpp"
#include "process.hpp"
#include "program_options.hpp"
#include "runner.hpp"
#include "suite/uniform_engine.hpp"
#include "study.hpp"
#include "study_folder.hpp"

namespace fs = std::filesystem;

namespace {

std::string usage()
{
    std::string programs;
    for (const Experiment& e : experiments()) {
        if (e.has_option("seed")) {
            programs.append(programs.empty() ? "" : ", ").append(e.name);
        }
    }
    return "usage:\n"
           "  ensemble [run] PROGRAM --replicas R [--jobs J] [--dir DIR] [--rows N] [--updates-per-sample K]\n"
           "      runs PROGRAM with seeds 1 to R, J at a time, keeping each table in DIR, and\n"
           "      aggregates them into DIR/aggregate.dat; run again, it reruns only what is missing\n"
           "  ensemble plan PROGRAM --replicas R [--dir DIR] [--rows N] [--updates-per-sample K]\n"
           "      prints the same runs as shell commands, one per line, to run elsewhere\n"
           "  ensemble collect DIR\n"
           "      aggregates the replica tables in DIR into DIR/aggregate.dat\n"
           "PROGRAM is one of " +
           programs + ".\nSee --help of each form for more.\n";
}

// The options of a study, shared by the run and the plan.
struct Arguments {
    std::string program;
    std::int64_t replicas = 0;
    std::int64_t jobs = 0;
    std::string dir;
    std::int64_t rows = 0;
    std::int64_t updates = 0;
};

void add_study_options(CLI::App& app, Arguments& arguments)
{
    app.add_option("PROGRAM", arguments.program, "the program to run")->required();
    app.add_option("--replicas", arguments.replicas, "number of replicas R, seeds 1 to R")
        ->required()
        ->transform(whole_number(1, suite::UniformEngine::max_seed));
    app.add_option("--dir", arguments.dir, "folder of the replica tables (default: ensemble-PROGRAM)");
    app.add_option("--rows", arguments.rows, "the program's --rows")
        ->transform(whole_number(1, std::numeric_limits<std::int32_t>::max()));
    app.add_option("--updates-per-sample", arguments.updates, "the program's --updates-per-sample (Metropolis)")
        ->transform(whole_number(1, max_updates_per_sample));
}

Study study_of(const CLI::App& app, const Arguments& arguments)
{
    Study study;
    study.program = &studied_program(arguments.program);
    study.replicas = arguments.replicas;
    if (app.count("--dir") > 0 && arguments.dir.empty()) {
        throw UsageError("--dir needs a folder name");
    }
    study.dir = arguments.dir.empty() ? fs::path("ensemble-" + arguments.program) : fs::path(arguments.dir);
    if (app.count("--rows") > 0) {
        if (arguments.rows > study.program->max_rows) {
            throw UsageError("--rows: " + arguments.program + " writes at most " +
                             count_of(study.program->max_rows, "row"));
        }
        study.rows = arguments.rows;
    }
    if (app.count("--updates-per-sample") > 0) {
        if (!study.program->has_option("updates-per-sample")) {
            throw UsageError(arguments.program + " has no --updates-per-sample");
        }
        study.updates = arguments.updates;
    }
    return study;
}

// Whether `name` is an executable file in one of PATH's folders.
bool on_path(const std::string& name)
{
    const char* path = std::getenv("PATH");
#ifdef _WIN32
    const char separator = ';';
#else
    const char separator = ':';
#endif
    std::string folders = path != nullptr ? path : "";
    std::size_t at = 0;
    while (at <= folders.size()) {
        const std::size_t end = std::min(folders.find(separator, at), folders.size());
        const fs::path folder = folders.substr(at, end - at);
        std::error_code error;
        if (fs::is_regular_file((folder.empty() ? fs::path(".") : folder) / name, error)) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

// The program beside this one, as built or installed together; else the
// name alone, for PATH. With `must_exist`, a program found in neither place
// is an error.
fs::path program_path(const char* argv0, const std::string& name, bool must_exist)
{
    const fs::path self = own_executable(argv0);
    fs::path beside = self.parent_path() / executable_name(name);
    std::error_code error;
    if (!self.empty() && fs::is_regular_file(beside, error)) {
        return beside;
    }
    if (must_exist && !on_path(executable_name(name))) {
        throw StudyError("cannot find the program " + name + ", neither beside ensemble (" +
                         self.parent_path().string() + ") nor on PATH");
    }
    return {name};
}

// CLI11's complaint in the words the programs use.
std::string problem(const CLI::App& app, const CLI::ParseError& error)
{
    std::string text = error.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !app.remaining(true).empty()) {
        const std::string extra = app.remaining(true).front();
        return extra.starts_with("-") ? "unknown option " + extra.substr(0, extra.find('='))
                                      : "unexpected argument '" + extra + "'";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        // "--replicas: 1 required R missing", "--replicas: At Most 1
        // required but received 2": the option's name comes first.
        const std::string option = text.substr(0, text.find(':'));
        return text.ends_with("missing") ? option + " needs a value" : option + " is given more than once";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr && text == "A subcommand is required") {
        return "no program given";
    }
    return text;
}

bool flushed(std::FILE* stream) { return std::fflush(stream) == 0 && std::ferror(stream) == 0; }

}  // namespace

int ensemble_main(int argc, char** argv)
{
    // `ensemble PROGRAM ...` is `ensemble run PROGRAM ...`, its options in
    // any order.
    std::vector<std::string> words(argv + 1, argv + argc);
    const std::vector<std::string> own = {"run", "plan", "collect", "-h", "--help", "--version"};
    if (!words.empty() && std::find(own.begin(), own.end(), words[0]) == own.end()) {
        words.insert(words.begin(), "run");
    }
    if (words.empty()) {
        (void)std::fputs(usage().c_str(), stderr);
        return 2;
    }
    try {
        CLI::App app("Runs replicas of a program and aggregates their tables.", "ensemble");
        app.set_help_flag();
        bool help = false;
        bool version = false;
        app.add_flag("-h,--help", help, "print this help and exit");
        app.add_flag("--version", version, "print the version and exit");
        app.require_subcommand(0, 1);

        Arguments run_arguments;
        // The forms have CLI11's help flag, the command itself its own.
        const auto form = [&](const char* name, const char* about) {
            CLI::App* sub = app.add_subcommand(name, about);
            sub->set_help_flag("-h,--help", "print this help and exit");
            return sub;
        };
        CLI::App* run = form("run", "Runs replicas of a program and aggregates their tables.");
        add_study_options(*run, run_arguments);
        run->add_option("--jobs", run_arguments.jobs,
                        "replicas at once, 1 to " + std::to_string(max_jobs) +
                            " (default: one per core this process may use)")
            ->transform(whole_number(1, max_jobs));

        Arguments plan_arguments;
        CLI::App* planning = form("plan", "Prints the replica runs as shell commands, one per line.");
        add_study_options(*planning, plan_arguments);

        std::string collect_dir;
        CLI::App* collecting = form("collect", "Aggregates the replica tables in DIR into DIR/aggregate.dat.");
        collecting->add_option("DIR", collect_dir, "folder of replica tables")->required();

        try {
            std::vector<std::string> reversed(words.rbegin(), words.rend());
            app.parse(reversed);
        } catch (const CLI::CallForHelp&) {
            // A form's --help: that form's text.
            (void)std::fputs(app.help().c_str(), stdout);
            return flushed(stdout) ? 0 : 1;
        } catch (const CLI::ParseError& error) {
            throw UsageError(problem(app, error));
        }
        if (help || version || app.get_subcommands().empty()) {
            if (version) {
                (void)std::printf("ensemble %s\n", SUITE_VERSION);
            } else {
                (void)std::fputs(usage().c_str(), help ? stdout : stderr);
            }
            return !help && !version ? 2 : flushed(stdout) ? 0 : 1;
        }

        if (collecting->parsed()) {
            if (!fs::is_directory(collect_dir)) {
                throw UsageError("no folder " + collect_dir);
            }
            std::optional<FolderLock> lock;
            if (holds_study(collect_dir)) {
                lock.emplace(collect_dir);
            }
            const std::int64_t replicas = collect(collect_dir);
            errno = 0;
            (void)std::printf("ensemble: the aggregate of %s is in %s\n", count_of(replicas, "replica").c_str(),
                              (fs::path(collect_dir) / "aggregate.dat").string().c_str());
            if (!flushed(stdout)) {
                throw StudyError(std::string("cannot write to standard output: ") +
                                 std::strerror(errno != 0 ? errno : EIO));
            }
            return 0;
        }
        const bool plan_only = planning->parsed();
        const Arguments& arguments = plan_only ? plan_arguments : run_arguments;
        Study study = study_of(plan_only ? *planning : *run, arguments);
        // The program is found before the folder is made; a plan may be run
        // where it is, so only the run needs it here.
        const fs::path program = program_path(argv[0], arguments.program, !plan_only);
        make_folder(study.dir);
        const FolderLock lock(study.dir);
        const std::int64_t replicas = record_study(study);
        if (replicas > study.replicas) {
            (void)std::fprintf(stderr,
                               "ensemble: %s holds a study of %s; a smaller --replicas does not shrink it\n",
                               study.dir.string().c_str(), count_of(replicas, "replica").c_str());
            study.replicas = replicas;
        }
        if (plan_only) {
            errno = 0;
            const std::string text = plan(study, program);
            if (std::fputs(text.c_str(), stdout) < 0 || !flushed(stdout)) {
                throw StudyError(std::string("cannot write the plan to standard output: ") +
                                 std::strerror(errno != 0 ? errno : EIO));
            }
            return 0;
        }
        run_study(study, program, arguments.jobs > 0 ? arguments.jobs : default_jobs(*study.program));
        return 0;
    } catch (const UsageError& error) {
        (void)std::fprintf(stderr, "ensemble: %s (see ensemble --help)\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "ensemble: %s\n", error.what());
        return 1;
    }
}
