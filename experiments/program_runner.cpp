#include "program_runner.hpp"

#include <cstdio>
#include <exception>
#include <optional>
#include <span>

#include "experiment_runs.hpp"
#include "experiments.hpp"
#include "program_options.hpp"
#include "suite/table_writer.hpp"

namespace {

using suite::TableWriteError;
using suite::TableWriter;
using suite::finish_standard_output;
using suite::guard_standard_streams;

// The rows as table lines: the count, then each value with six decimals
// (every count a table holds fits in an int).
class TableSink : public RowSink {
public:
    explicit TableSink(TableWriter& table) : table_(table) {}

    void row(std::int64_t count, std::span<const double> values) override
    {
        table_.row(static_cast<int>(count), values);
    }

private:
    TableWriter& table_;
};

TableWriter open_table(const Experiment& experiment, const ProgramOptions& options)
{
    if (options.output.empty()) {
        return TableWriter::standard_output(experiment.name.c_str());
    }
    return {experiment.name.c_str(), options.output.c_str()};
}

int run(const Experiment& experiment, int argc, const char* const* argv)
{
    const std::optional<ProgramOptions> options =
        parse_program_options(experiment, experiment_about(experiment), argc, argv);
    if (options) {
        TableWriter table = open_table(experiment, *options);
        if (experiment.has_option("seed")) {
            // A failed write leaves the stream's error flag set; it is
            // reported when standard output is finished.
            (void)std::fputs("initializing the Random generator\n", stdout);
        }
        TableSink sink(table);
        run_experiment(experiment,
                       {options->seed, options->rows, options->updates_per_sample, static_cast<unsigned>(options->threads)}, sink);
        table.close();
    }
    finish_standard_output(experiment.name.c_str());
    return 0;
}

}  // namespace

int run_program(std::string_view name, int argc, const char* const* argv)
{
    const Experiment& experiment = find_experiment(name);
    const char* program = experiment.name.c_str();
    if (!guard_standard_streams()) {
        (void)std::fprintf(stderr, "%s: cannot open the null device for a closed standard stream\n", program);
        return 1;
    }
    try {
        return run(experiment, argc, argv);
    } catch (const CommandLineError& error) {
        (void)std::fprintf(stderr, "%s: %s (see %s --help)\n", program, error.what(), program);
        return 2;
    } catch (const TableWriteError& error) {
        if (!error.quiet()) {
            (void)std::fprintf(stderr, "%s: %s\n", program, error.what());
        }
        return 1;
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "%s: %s\n", program, error.what());
        return 1;
    }
}
