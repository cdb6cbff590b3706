#include "cli.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "aggregate.hpp"
#include "collect.hpp"
#include "coverage_figure.hpp"
#include "gnuplot_figure.hpp"
#include "option_checks.hpp"
#include "plan.hpp"
#include "process.hpp"
#include "run_settings.hpp"
#include "runner.hpp"
#include "suite/limits.hpp"
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
           "      aggregates the replica tables in DIR into DIR/aggregate.dat (and DIR/coverage.tsv)\n"
           "  ensemble coverage PROGRAM --replicas R [--jobs J] [--dir DIR] [--rows N] [--updates-per-sample K]\n"
           "      the same study as run, then how often each of PROGRAM's error bars holds the exact\n"
           "      value, by N: DIR/coverage.tsv, drawn into DIR/coverage.png when gnuplot is on PATH\n"
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
    value_option(app, "--replicas", arguments.replicas, "number of replicas R, seeds 1 to R")
        ->required()
        ->transform(whole_number());
    value_option(app, "--dir", arguments.dir, "folder of the replica tables (default: ensemble-PROGRAM)");
    value_option(app, "--rows", arguments.rows, "the program's --rows")->transform(whole_number());
    value_option(app, "--updates-per-sample", arguments.updates, "the program's --updates-per-sample (Metropolis)")
        ->transform(whole_number());
}

// The study the arguments ask for. Seeds 1 to R, and the program's --rows
// and --updates-per-sample, are checked as the program's own settings.
Study study_of(const CLI::App& app, const Arguments& arguments)
{
    Study study;
    study.program = &studied_program(arguments.program);
    study.replicas = arguments.replicas;
    study.dir = arguments.dir.empty() ? fs::path("ensemble-" + arguments.program) : fs::path(arguments.dir);
    if (app.get_name() == "coverage" && error_methods(*study.program).empty()) {
        throw UsageError(arguments.program + " gives no error bar of its own, so it has no coverage to measure");
    }
    RunSettings settings;
    settings.seed = arguments.replicas;
    if (app.count("--rows") > 0) {
        study.rows = arguments.rows;
    }
    if (app.count("--updates-per-sample") > 0) {
        if (!study.program->has_option("updates-per-sample")) {
            throw UsageError(arguments.program + " has no --updates-per-sample");
        }
        study.updates = settings.updates_per_sample = arguments.updates;
    }
    try {
        if (arguments.replicas < 1) {
            throw SettingError(Setting::seed, arguments.replicas, 1, suite::limits::max_seed);
        }
        if (study.rows) {
            RunSettings::check_rows(*study.program, *study.rows);
        }
        settings.validate(*study.program);
    } catch (const SettingError& error) {
        const char* option = error.setting() == Setting::seed   ? "--replicas"
                             : error.setting() == Setting::rows ? "--rows"
                                                                : "--updates-per-sample";
        throw UsageError(std::string(option) + ": " + std::to_string(error.value()) + " is out of range (" +
                         std::to_string(std::max<std::int64_t>(error.low(), 1)) + " to " +
                         std::to_string(error.high()) + ")");
    }
    return study;
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
    if (must_exist && !on_path(name)) {
        throw StudyError("cannot find the program " + name + ", neither beside ensemble (" +
                         self.parent_path().string() + ") nor on PATH");
    }
    return {name};
}

bool flushed(std::FILE* stream) { return std::fflush(stream) == 0 && std::ferror(stream) == 0; }

// The command and its three forms, bound to where their arguments go.
struct Forms {
    CLI::App app{"Runs replicas of a program and aggregates their tables.", "ensemble"};
    bool help = false;
    bool version = false;
    Arguments run_arguments;
    Arguments plan_arguments;
    Arguments coverage_arguments;
    std::string collect_dir;
    CLI::App* run = nullptr;
    CLI::App* plan = nullptr;
    CLI::App* collect = nullptr;
    CLI::App* coverage = nullptr;

    Forms()
    {
        app.set_help_flag();
        app.add_flag("-h,--help", help, "print this help and exit");
        app.add_flag("--version", version, "print the version and exit");
        app.require_subcommand(0, 1);
        // The forms have CLI11's help flag, the command itself its own.
        const auto form = [&](const char* name, const char* about) {
            CLI::App* sub = app.add_subcommand(name, about);
            sub->set_help_flag("-h,--help", "print this help and exit");
            return sub;
        };
        const auto add_jobs = [](CLI::App& sub, Arguments& arguments) {
            value_option(sub, "--jobs", arguments.jobs,
                         "replicas at once, 1 to " + std::to_string(max_jobs) +
                             " (default: one per core this process may use)")
                ->transform(whole_number());
        };
        run = form("run", "Runs replicas of a program and aggregates their tables.");
        add_study_options(*run, run_arguments);
        add_jobs(*run, run_arguments);
        plan = form("plan", "Prints the replica runs as shell commands, one per line.");
        add_study_options(*plan, plan_arguments);
        collect = form("collect", "Aggregates the replica tables in DIR into DIR/aggregate.dat.");
        collect->add_option("DIR", collect_dir, "folder of replica tables")->required();
        coverage = form("coverage",
                        "Runs the study as run does, then writes how often each of the program's error bars holds "
                        "the exact value, by N, into DIR/coverage.tsv, and draws it into DIR/coverage.png when "
                        "gnuplot is on PATH.");
        add_study_options(*coverage, coverage_arguments);
        add_jobs(*coverage, coverage_arguments);
    }

    // The form that was given, if any.
    const CLI::App* given() const
    {
        const auto forms = app.get_subcommands();
        return forms.empty() ? nullptr : forms.front();
    }
};

// CLI11's complaint in the words the programs use.
std::string problem(const Forms& forms, const CLI::ParseError& error)
{
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !forms.app.remaining(true).empty()) {
        const std::string extra = forms.app.remaining(true).front();
        return extra.starts_with("-") ? "unknown option " + extra.substr(0, extra.find('='))
                                      : "unexpected argument '" + extra + "'";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        const auto forms_given = {forms.run, forms.plan, forms.coverage};
        if (std::any_of(forms_given.begin(), forms_given.end(), [](const CLI::App* form) {
                return form->parsed() && form->get_option("PROGRAM")->count() == 0;
            })) {
            return "no program given";
        }
    }
    return error.what();
}

// `ensemble PROGRAM ...` is `ensemble run PROGRAM ...`, its options in any
// order; the words reversed, as CLI11 takes them.
std::vector<std::string> command_words(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    const std::vector<std::string> own = {"run", "plan", "collect", "coverage", "-h", "--help", "--version"};
    if (!words.empty() && std::find(own.begin(), own.end(), words[0]) == own.end()) {
        words.insert(words.begin(), "run");
    }
    return {words.rbegin(), words.rend()};
}

// Parses the words into `forms`; false when a form's --help printed its text.
bool parse(Forms& forms, std::vector<std::string> reversed_words)
{
    try {
        forms.app.parse(reversed_words);
    } catch (const CLI::CallForHelp&) {
        (void)std::fputs(forms.app.help().c_str(), stdout);
        return false;
    } catch (const CLI::ParseError& error) {
        throw UsageError(problem(forms, error));
    }
    if (const CLI::App* form = forms.given()) {
        if (const auto mistake = missing_or_repeated(*form)) {
            throw UsageError(*mistake);
        }
    }
    return true;
}

// `ensemble collect DIR`.
int collect_folder(const std::string& dir)
{
    if (!fs::is_directory(dir)) {
        throw UsageError("no folder " + dir);
    }
    std::optional<FolderLock> lock;
    if (holds_study(dir)) {
        lock.emplace(dir);
    }
    const std::int64_t replicas = collect(dir);
    errno = 0;
    (void)std::printf("ensemble: the aggregate of %s is in %s\n", count_of(replicas, "replica").c_str(),
                      (fs::path(dir) / "aggregate.dat").string().c_str());
    if (!flushed(stdout)) {
        throw StudyError(std::string("cannot write to standard output: ") + std::strerror(errno != 0 ? errno : EIO));
    }
    return 0;
}

// After `ensemble coverage`'s study: where its table is, and its figure
// when gnuplot can draw it.
void report_coverage(const Study& study)
{
    const fs::path table = study.dir / coverage_file_name;
    const fs::path figure = study.dir / "coverage.png";
    errno = 0;
    (void)std::printf("ensemble: the coverage of each error bar is in %s\n", table.string().c_str());
    if (!flushed(stdout)) {
        throw StudyError(std::string("cannot write to standard output: ") + std::strerror(errno != 0 ? errno : EIO));
    }
    if (!on_path("gnuplot")) {
        (void)std::fprintf(stderr,
                           "ensemble: %s not drawn: gnuplot is not on PATH (Debian: apt install gnuplot-nox)\n",
                           figure.string().c_str());
        return;
    }
    draw_coverage_figure(table, figure,
                         literal_for_gnuplot(study.description()) + ", " + count_of(study.replicas, "replica"),
                         study.replicas);
    (void)std::printf("ensemble: its figure is %s\n", figure.string().c_str());
    if (!flushed(stdout)) {
        throw StudyError(std::string("cannot write to standard output: ") + std::strerror(errno != 0 ? errno : EIO));
    }
}

enum class Form { run, plan, coverage };

// `ensemble run ...`, `ensemble plan ...` or `ensemble coverage ...`: the
// folder is made and recorded, then the runs are made or printed, and for
// the coverage reported.
int plan_or_run(const char* argv0, const CLI::App& form, const Arguments& arguments, Form kind)
{
    const bool plan_only = kind == Form::plan;
    Study study = study_of(form, arguments);
    const bool jobs_given = form.get_option_no_throw("--jobs") != nullptr && form.count("--jobs") > 0;
    if (jobs_given) {
        check_jobs(arguments.jobs);
    }
    // The program is found before the folder is made; a plan may be run
    // where it is, so only the run needs it here.
    const fs::path program = program_path(argv0, arguments.program, !plan_only);
    make_folder(study.dir);
    const FolderLock lock(study.dir);
    const std::int64_t replicas = record_study(study);
    if (replicas > study.replicas) {
        (void)std::fprintf(stderr, "ensemble: %s holds a study of %s; a smaller --replicas does not shrink it\n",
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
    run_study(study, program, jobs_given ? arguments.jobs : default_jobs(*study.program));
    if (kind == Form::coverage) {
        report_coverage(study);
    }
    return 0;
}

}  // namespace

int ensemble_main(int argc, char** argv)
{
    if (argc < 2) {
        (void)std::fputs(usage().c_str(), stderr);
        return 2;
    }
    try {
        Forms forms;
        if (!parse(forms, command_words(argc, argv))) {
            return flushed(stdout) ? 0 : 1;
        }
        if (forms.version) {
            (void)std::printf("ensemble %s\n", SUITE_VERSION);
            return flushed(stdout) ? 0 : 1;
        }
        if (forms.help || forms.given() == nullptr) {
            (void)std::fputs(usage().c_str(), forms.help ? stdout : stderr);
            return forms.help ? (flushed(stdout) ? 0 : 1) : 2;
        }
        if (forms.collect->parsed()) {
            return collect_folder(forms.collect_dir);
        }
        if (forms.coverage->parsed()) {
            return plan_or_run(argv[0], *forms.coverage, forms.coverage_arguments, Form::coverage);
        }
        const bool plan_only = forms.plan->parsed();
        return plan_or_run(argv[0], plan_only ? *forms.plan : *forms.run,
                           plan_only ? forms.plan_arguments : forms.run_arguments,
                           plan_only ? Form::plan : Form::run);
    } catch (const UsageError& error) {
        (void)std::fprintf(stderr, "ensemble: %s (see ensemble --help)\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "ensemble: %s\n", error.what());
        return 1;
    }
}
