#include "program_runner.hpp"

#include <cstdio>
#include <exception>
#include <optional>
#include <span>
#include <string>

#include "experiment_runs.hpp"
#include "experiments.hpp"
#include "process_guard.hpp"
#include "program_options.hpp"
#include "progress_line.hpp"
#include "suite/table_writer.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using suite::TableWriteError;
using suite::TableWriter;

// The rows as table lines: the count, then each value with six decimals
// (every count a table holds fits in an int).
class TableSink : public RowSink {
public:
    TableSink(TableWriter& table, ProgressLine& progress) : table_(table), progress_(progress) {}

    void row(std::int64_t count, std::span<const double> values) override
    {
        table_.row(static_cast<int>(count), values);
        progress_.row_done();
    }

private:
    TableWriter& table_;
    ProgressLine& progress_;
};

// True for "-", none, or a file that is standard output itself
// (/dev/stdout, /proc/self/fd/1, or the file standard output goes to): the
// same device and inode as descriptor 1, when that is open for writing
// (not the null device that fills a closed one).
bool is_standard_output(const std::string& output)
{
    if (output.empty() || output == "-") {
        return true;
    }
#ifdef _WIN32
    return false;
#else
    struct stat named {};
    struct stat standard {};
    const int access = fcntl(STDOUT_FILENO, F_GETFL);
    return access != -1 && (access & O_ACCMODE) != O_RDONLY && stat(output.c_str(), &named) == 0 &&
           fstat(STDOUT_FILENO, &standard) == 0 && named.st_dev == standard.st_dev && named.st_ino == standard.st_ino;
#endif
}

int run(const Experiment& experiment, int argc, const char* const* argv)
{
    const char* program = experiment.name.c_str();
    const std::optional<ProgramRequest> request = parse_program_options(experiment, argc, argv);
    if (request) {
        const bool table_on_standard_output = is_standard_output(request->output);
        // No stopping signal between creating the table's temporary file
        // and watching it.
        std::optional<SignalsHeld> held(std::in_place);
        TableWriter table = table_on_standard_output ? TableWriter::standard_output(program)
                                                     : TableWriter(program, request->output.c_str());
        const WatchedTable watched(table);
        held.reset();
        if (experiment.has_option("seed")) {
            // Beside the table, never in it. A failed write leaves the
            // stream's error flag set; it is reported when standard output
            // is finished.
            (void)std::fputs("initializing the Random generator\n", table_on_standard_output ? stderr : stdout);
        }
        ProgressLine progress(experiment.name, request->settings.rows);
        TableSink sink(table, progress);
        // The settings are complete and valid: the loop runs them as they are.
        experiment.run(request->settings, sink);
        progress.finish();
        table.close();
    }
    finish_standard_output();
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
    catch_stopping_signals();
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
