#include "program_options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "option_checks.hpp"
#include "suite/uniform_engine.hpp"

namespace {

constexpr std::array<std::string_view, 5> suite_options = {"seed", "rows", "updates-per-sample", "threads", "output"};

// A file name, which a forgotten value would make the next option, or "-"
// for standard output.
CLI::Validator file_name()
{
    return {[](const std::string& text) -> std::string {
                return text != "-" && (text.empty() || text.front() == '-') ? "needs a file name" : std::string();
            },
            "", "file name"};
}

// What was wrong with the command line, in one line.
std::string problem(const Experiment& experiment, const CLI::App& app, const CLI::ParseError& error)
{
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !app.remaining().empty()) {
        // The first argument that no option took.
        const std::string extra = app.remaining().front();
        if (!extra.starts_with("-")) {
            return "unexpected argument '" + extra + "'";
        }
        const std::string option = extra.substr(0, extra.find('='));
        const bool of_the_suite =
            option.starts_with("--") &&
            std::find(suite_options.begin(), suite_options.end(), option.substr(2)) != suite_options.end();
        return of_the_suite ? option + " is not an option of " + experiment.name : "unknown option " + option;
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        // "--rows: 1 required R missing" or "--rows: At Most 1 required but
        // received 2": the option's name comes first.
        const std::string text = error.what();
        const std::string option = text.substr(0, text.find(':'));
        return text.ends_with("missing") ? option + " needs a value" : option + " is given more than once";
    }
    return error.what();
}

}  // namespace

std::optional<ProgramOptions> parse_program_options(const Experiment& experiment, const char* about, int argc,
                                                    const char* const* argv)
{
    ProgramOptions options;
    options.rows = experiment.default_rows;
    options.output = experiment.on_standard_output ? std::string() : experiment.table_file;

    CLI::App app(about, experiment.name);
    app.set_help_flag("-h,--help", "print this help and exit");
    if (experiment.has_option("seed")) {
        app.add_option("--seed", options.seed,
                       "start the random stream from seed S, 0 to " + std::to_string(suite::UniformEngine::max_seed) +
                           " (default 0)")
            ->type_name("S")
            ->transform(whole_number(0, suite::UniformEngine::max_seed));
    }
    if (experiment.has_option("rows")) {
        app.add_option("--rows", options.rows,
                       "write R rows, 1 to " + std::to_string(experiment.max_rows) + " (default " +
                           std::to_string(experiment.default_rows) +
                           "); R rows are the first R rows of any longer table")
            ->type_name("R")
            ->transform(whole_number(1, experiment.max_rows));
    }
    if (experiment.has_option("updates-per-sample")) {
        app.add_option("--updates-per-sample", options.updates_per_sample,
                       "Metropolis updates between samples, 1 to " + std::to_string(max_updates_per_sample) +
                           " (default " + std::to_string(default_updates_per_sample) + ")")
            ->type_name("K")
            ->transform(whole_number(1, max_updates_per_sample));
    }
    if (experiment.has_option("threads")) {
        app.add_option("--threads", options.threads,
                       "share the work among T threads, 1 to " + std::to_string(max_threads) +
                           " (default: one per core this process may use); the table is the same for every T")
            ->type_name("T")
            ->transform(whole_number(1, max_threads));
    }
    if (experiment.has_option("output")) {
        app.add_option("--output", options.output,
                       "write the table to FILE, - for standard output (default " +
                           (experiment.on_standard_output ? std::string("standard output") : experiment.table_file) +
                           ")")
            ->type_name("FILE")
            ->transform(file_name());
    }
    app.set_version_flag("--version", experiment.name + " " + SUITE_VERSION, "print the version and exit");
    std::string columns;
    for (const std::string& column : experiment.column_names) {
        columns += (columns.empty() ? "" : ", ") + column;
    }
    app.footer("The table (tab-separated, no header; columns " + columns + ") goes to " +
               (options.output.empty() ? std::string("standard output") : options.output) + " by default.\n");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        (void)std::fputs(app.help().c_str(), stdout);
        return std::nullopt;
    } catch (const CLI::CallForVersion& version) {
        (void)std::printf("%s\n", version.what());
        return std::nullopt;
    } catch (const CLI::ParseError& error) {
        throw CommandLineError(problem(experiment, app, error));
    }
    return options;
}

CLI::Validator whole_number(std::int64_t low, std::int64_t high)
{
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    return {[low, high, range](std::string& text) -> std::string {
                const char* begin = text.data();
                const char* end = begin + text.size();
                std::int64_t value = 0;
                const auto [stop, error] = std::from_chars(begin, end, value);
                if (stop == begin || stop != end) {
                    return "'" + text + "' is not a whole number";
                }
                if (error == std::errc::result_out_of_range || value < low || value > high) {
                    return text + " is out of range (" + range + ")";
                }
                text = std::to_string(value);
                return {};
            },
            "", "whole number"};
}
