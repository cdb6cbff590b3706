#include "cli.hpp"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <limits>
#include <string>

#include "option_checks.hpp"
#include "process.hpp"
#include "program_options.hpp"
#include "suite/uniform_engine.hpp"
#include "study.hpp"

namespace fs = std::filesystem;

namespace {

std::string usage()
{
    std::string programs;
    for (const StudyProgram& program : study_programs()) {
        programs.append(programs.empty() ? "" : ", ").append(program.replica.name);
    }
    return "usage:\n"
    "  ensemble PROGRAM --replicas R [--jobs J] [--dir DIR] [--rows N] [--updates-per-sample K]\n"
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
    study.program = find_study_program(arguments.program);
    if (study.program == nullptr) {
        if (arguments.program == "quadrature") {
            throw UsageError("quadrature draws no random numbers: its replicas would all be the same");
        }
        throw UsageError("no program named '" + arguments.program + "'");
    }
    study.replicas = arguments.replicas;
    study.dir = arguments.dir.empty() ? fs::path("ensemble-" + arguments.program) : fs::path(arguments.dir);
    if (app.count("--rows") > 0) {
        if (arguments.rows > study.program->max_rows) {
            throw UsageError("--rows: " + arguments.program + " writes at most " +
                             std::to_string(study.program->max_rows) + " rows");
        }
        study.rows = arguments.rows;
    }
    if (app.count("--updates-per-sample") > 0) {
        if (!study.program->takes_updates) {
            throw UsageError(arguments.program + " has no --updates-per-sample");
        }
        study.updates = arguments.updates;
    }
    return study;
}

// The program beside this one, as built or installed together; else the
// name alone, for PATH.
fs::path program_path(const char* argv0, const std::string& name)
{
    const fs::path self = own_executable(argv0);
    const fs::path beside = self.parent_path() / executable_name(name);
    std::error_code error;
    return !self.empty() && fs::is_regular_file(beside, error) ? beside : fs::path(name);
}

int parsed(CLI::App& app, int argc, char** argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success&) {
        // --help
        (void)app.exit(CLI::CallForHelp());
        return 0;
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    return -1;
}

}  // namespace

int ensemble_main(int argc, char** argv)
{
    const std::string first = argc > 1 ? argv[1] : "";
    try {
        if (first.empty() || first == "--help" || first == "-h") {
            (void)std::fputs(usage().c_str(), first.empty() ? stderr : stdout);
            return first.empty() ? 2 : 0;
        }
        if (first == "--version") {
            (void)std::printf("ensemble %s\n", SUITE_VERSION);
            return 0;
        }
        if (first == "collect") {
            CLI::App app("Aggregates the replica tables in DIR into DIR/aggregate.dat.", "ensemble collect");
            std::string dir;
            app.add_option("DIR", dir, "folder of replica tables")->required();
            if (const int status = parsed(app, argc - 1, argv + 1); status >= 0) {
                return status;
            }
            if (!fs::is_directory(dir)) {
                throw UsageError("no folder " + dir);
            }
            const std::int64_t replicas = collect(dir);
            (void)std::printf("ensemble: the aggregate of %lld replicas is in %s\n", static_cast<long long>(replicas),
                              (fs::path(dir) / "aggregate.dat").string().c_str());
            return 0;
        }
        Arguments arguments;
        const bool planning = first == "plan";
        CLI::App app(planning ? "Prints the replica runs as shell commands, one per line."
                              : "Runs replicas of a program and aggregates their tables.",
                     planning ? "ensemble plan" : "ensemble");
        add_study_options(app, arguments);
        if (!planning) {
            app.add_option("--jobs", arguments.jobs, "replicas at once (default: one per core)")
                ->transform(whole_number(1, std::numeric_limits<std::int32_t>::max()));
        }
        const int shift = planning ? 1 : 0;
        if (const int status = parsed(app, argc - shift, argv + shift); status >= 0) {
            return status;
        }
        const Study study = study_of(app, arguments);
        prepare_folder(study);
        const fs::path program = program_path(argv[0], arguments.program);
        if (planning) {
            const std::string text = plan(study, program);
            return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
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
