#include "program_options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "option_checks.hpp"
#include "suite/limits.hpp"

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
    return error.what();
}

// The option that sets `setting`.
const char* option_of(Setting setting)
{
    switch (setting) {
    case Setting::seed:
        return "--seed";
    case Setting::rows:
        return "--rows";
    case Setting::updates_per_sample:
        return "--updates-per-sample";
    case Setting::threads:
        break;
    }
    return "--threads";
}

std::string range_of(std::int64_t low, std::int64_t high)
{
    return std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace

std::optional<ProgramRequest> parse_program_options(const Experiment& experiment, int argc, const char* const* argv)
{
    using namespace suite::limits;
    ProgramRequest request;
    request.output = experiment.on_standard_output ? std::string() : experiment.table_file;
    RunSettings& settings = request.settings;

    CLI::App app(experiment.about, experiment.name);
    app.set_help_flag("-h,--help", "print this help and exit");
    if (experiment.has_option("seed")) {
        value_option(app, "--seed", settings.seed, "start the random stream from seed S, " + range_of(min_seed, max_seed) + " (default 0)")
            ->type_name("S")
            ->transform(whole_number());
    }
    CLI::Option* rows = nullptr;
    if (experiment.has_option("rows")) {
        rows = value_option(app, "--rows", settings.rows,
                     "write R rows, " + range_of(1, experiment.max_rows) + " (default " +
                         std::to_string(experiment.default_rows) + "); R rows are the first R rows of any longer table")
            ->type_name("R")
            ->transform(whole_number());
    }
    if (experiment.has_option("updates-per-sample")) {
        value_option(app, "--updates-per-sample", settings.updates_per_sample,
                     "Metropolis updates between samples, " + range_of(1, max_updates_per_sample) + " (default " +
                         std::to_string(default_updates_per_sample) + ")")
            ->type_name("K")
            ->transform(whole_number());
    }
    if (experiment.has_option("threads")) {
        value_option(app, "--threads", settings.threads,
                     "share the work among T threads, " + range_of(1, max_threads) +
                         " (default, or 0: one per core this process may use); the table is the same for every T")
            ->type_name("T")
            ->transform(whole_number());
    }
    if (experiment.has_option("output")) {
        value_option(app, "--output", request.output,
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
               (request.output.empty() ? std::string("standard output") : request.output) + " by default.\n");
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
    if (const auto mistake = missing_or_repeated(app)) {
        throw CommandLineError(*mistake);
    }
    try {
        if (rows != nullptr && rows->count() > 0) {
            RunSettings::check_rows(experiment, settings.rows);
        }
        settings = settings.completed_for(experiment);
    } catch (const SettingError& error) {
        throw CommandLineError(std::string(option_of(error.setting())) + " " + std::to_string(error.value()) +
                               " is out of range (" + range_of(error.low(), error.high()) + ")");
    }
    return request;
}
