// chain_errors: the error bar of the mean of a correlated chain, read from a
// column of a text file, a .npy array or a pipe, by the Gamma method, by
// binning, or by the block bootstrap, with the integrated autocorrelation
// time each implies.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "chain_figure.hpp"
#include "chain_input.hpp"
#include "chain_report.hpp"
#include "option_checks.hpp"
#include "suite/chain_errors.hpp"
#include "suite/limits.hpp"
#include "suite/uniform_engine.hpp"
#include "usable_cores.hpp"

namespace {

constexpr const char* program = "chain_errors";

// Below this many values no method can tell correlation from noise.
constexpr std::int64_t min_values = 16;

enum class Method { gamma, binning, block_bootstrap, all };
enum class Format { text, tsv, json };

struct Options {
    std::string file = "-";
    ColumnNumber column = last_column;
    Method method = Method::gamma;
    Format format = Format::text;
    std::string figure;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bad input: the file (or standard input) and where in it.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// CLI11's complaint in the words of the suite's programs.
std::string problem(const CLI::App& app, const CLI::ParseError& error)
{
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !app.remaining().empty()) {
        const std::string extra = app.remaining().front();
        return extra.starts_with("-") ? "unknown option " + extra.substr(0, extra.find('='))
                                      : "unexpected argument '" + extra + "'";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const std::string text = error.what();
        const std::string option = text.substr(0, text.find(':'));
        return text.ends_with("missing") ? option + " needs a value" : option + " is given more than once";
    }
    return error.what();
}

// The options, or nothing after --help.
std::optional<Options> parse_options(int argc, char** argv)
{
    Options options;
    CLI::App app("The error of the mean of a correlated chain (a Markov chain's values, one per line), with its "
                 "integrated autocorrelation time and effective number of samples.",
                 program);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.add_option("FILE", options.file,
                   "whitespace-separated text ('#' comments) or a .npy array; - or none: standard input");
    app.add_option("--column", options.column, "the column N, counted from 1 (default: the last)")
        ->type_name("N")
        ->transform(whole_number())
        ->check(CLI::Range(1, std::numeric_limits<std::int32_t>::max()));
    std::string method = "gamma";
    app.add_option("--method", method,
                   "gamma (default), binning (streams: memory stays small on any length), block-bootstrap or all")
        ->type_name("METHOD");
    std::string format = "text";
    app.add_option("--format", format, "text (default), tsv or json")->type_name("FORMAT");
    app.add_option("--plot", options.figure,
                   "draw the error against the binning level and tau_int against the window into FIGURE.png "
                   "(needs gnuplot)")
        ->type_name("FIGURE");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        (void)std::fputs(app.help().c_str(), stdout);
        return std::nullopt;
    } catch (const CLI::ParseError& error) {
        throw UsageError(problem(app, error));
    }
    if (app.count("--plot") > 0 && (options.figure.empty() || options.figure.front() == '-')) {
        throw UsageError("--plot needs a file name");
    }
    const std::map<std::string, Method> methods = {{"gamma", Method::gamma},
                                                   {"binning", Method::binning},
                                                   {"block-bootstrap", Method::block_bootstrap},
                                                   {"all", Method::all}};
    const std::map<std::string, Format> formats = {{"text", Format::text}, {"tsv", Format::tsv}, {"json", Format::json}};
    if (!methods.contains(method)) {
        throw UsageError("--method is gamma, binning, block-bootstrap or all, not '" + method + "'");
    }
    if (!formats.contains(format)) {
        throw UsageError("--format is text, tsv or json, not '" + format + "'");
    }
    options.method = methods.at(method);
    options.format = formats.at(format);
    return options;
}

bool wanted(Method chosen, Method method) { return chosen == method || chosen == Method::all; }

MethodReport gamma_report(const suite::GammaResult& result)
{
    return {"gamma", result.mean, result.error, result.tau_int, result.tau_int_error, result.effective_samples,
            result.window, 0};
}

MethodReport binning_report(const suite::BinningResult& result)
{
    return {"binning",
            result.mean,
            result.error,
            result.tau_int,
            result.tau_int_error,
            result.effective_samples,
            result.level,
            std::uint64_t{1} << result.level};
}

MethodReport bootstrap_report(const suite::BlockBootstrapResult& result)
{
    return {"block-bootstrap", result.mean,         result.error, result.tau_int, result.tau_int_error,
            result.effective_samples, result.block_length, 0};
}

void warn(const std::string& text) { (void)std::fprintf(stderr, "%s: warning: %s\n", program, text.c_str()); }

int run(const Options& options)
{
    // A figure that cannot be drawn fails the run before the chain is read.
    std::unique_ptr<FigureFile> figure;
    if (!options.figure.empty()) {
        figure = std::make_unique<FigureFile>(options.figure);
    }

    const bool from_pipe = options.file == "-";
    const std::string name = from_pipe ? "standard input" : options.file;
    std::FILE* input = stdin;
    if (from_pipe) {
#ifdef _WIN32
        (void)_setmode(_fileno(stdin), _O_BINARY);  // a .npy array must arrive byte for byte
#endif
    } else {
        input = std::fopen(options.file.c_str(), "rb");
        if (input == nullptr) {
            throw UsageError("cannot open " + options.file + ": " + std::strerror(errno));
        }
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(from_pipe ? nullptr : input, std::fclose);

    // Binning streams (and always runs: it gives the naive error and the
    // correlation check); the others, and the figure, need the whole chain.
    const bool binning = wanted(options.method, Method::binning) || figure;
    const bool whole_chain = options.method != Method::binning || figure;
    suite::BinningAnalysis binning_analysis;
    std::vector<double> chain;
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    ChainReading reading;
    try {
        reading = read_chain(input, options.column, [&](std::span<const double> values) {
            for (const double value : values) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
            binning_analysis.add(values);
            if (whole_chain) {
                chain.insert(chain.end(), values.begin(), values.end());
            }
        }, [&](std::int64_t length) {
            if (whole_chain) {
                chain.reserve(static_cast<std::size_t>(length));
            }
        });
    } catch (const ChainInputError& error) {
        throw InputError(name + ": " + error.what());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(name + ": " + error.what());
    }
    const std::string end = (reading.npy ? "row " : "line ") + std::to_string(reading.last_line);
    if (reading.values < min_values) {
        throw InputError(name + ": " + end + ": the chain ends after " + std::to_string(reading.values) +
                         (reading.values == 1 ? " value" : " values") + "; an error bar needs at least " +
                         std::to_string(min_values));
    }
    if (low == high) {
        std::array<char, 32> value{};
        (void)std::snprintf(value.data(), value.size(), "%.17g", low);
        throw InputError(name + ": " + end + ": all " + std::to_string(reading.values) + " values are " + value.data() +
                         ": a constant chain has no error bar");
    }

    std::vector<MethodReport> reports;
    suite::GammaResult gamma;
    const bool gamma_needed = wanted(options.method, Method::gamma) || figure;
    if (gamma_needed) {
        suite::GammaOptions gamma_options;
        gamma_options.threads = std::min<unsigned>(usable_cores(), suite::limits::max_threads);
        gamma = suite::gamma_analysis(chain, gamma_options);
        if (!gamma.window_found) {
            warn("the Γ-method's window criterion was not met up to lag " + std::to_string(gamma.window) +
                 ": the chain is probably too short for its autocorrelation time");
        }
        if (wanted(options.method, Method::gamma)) {
            reports.push_back(gamma_report(gamma));
        }
    }
    const suite::BinningResult binned = binning_analysis.result();
    if (binning) {
        if (!binned.plateau_found) {
            warn("binning found no plateau up to level " + std::to_string(binned.level) +
                 ": the chain is probably too short for its autocorrelation time");
        }
        if (wanted(options.method, Method::binning)) {
            reports.push_back(binning_report(binned));
        }
    }
    if (wanted(options.method, Method::block_bootstrap)) {
        suite::BlockBootstrapOptions bootstrap_options;
        bootstrap_options.threads = std::min<unsigned>(usable_cores(), suite::limits::max_threads);
        suite::UniformEngine engine;
        reports.push_back(bootstrap_report(suite::block_bootstrap(chain, bootstrap_options, engine)));
    }

    // The error of independent values, s / sqrt(N): level 0 of the binning.
    const double naive_error = binned.levels.front().error;
    for (MethodReport& report : reports) {
        report.naive_error = naive_error;
    }
    const suite::CorrelationCheck check = suite::correlation_check(binned);
    if (check.correlated) {
        std::array<char, 256> line{};
        (void)std::snprintf(line.data(), line.size(),
                            "the chain is clearly correlated (τ_int ≈ %.3g ± %.2g): the naive error σ/√N = %.3g is "
                            "too small by about √(2 τ_int) ≈ %.3g; use the methods' errors",
                            check.tau_int, check.tau_int_error, naive_error, std::sqrt(2.0 * check.tau_int));
        warn(line.data());
    }

    const ChainSource source{name, options.column, reading.npy && options.column == last_column && reading.columns == 1,
                             reading.values};
    const std::string text = options.format == Format::text  ? text_report(source, reports)
                             : options.format == Format::tsv ? tsv_report(reports)
                                                             : json_report(reports);
    errno = 0;
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        throw std::runtime_error(std::string("cannot write the results to standard output: ") +
                                 std::strerror(errno != 0 ? errno : EIO));
    }

    if (figure) {
        FigureData data;
        data.title = literal_for_gnuplot(name) + ": " + std::to_string(reading.values) + " values";
        data.levels = binned.levels;
        data.chosen_level = binned.level;
        data.binning_error = binned.error;
        data.binning_error_error = binned.error_of_error;
        data.rho = gamma.rho;
        data.window = gamma.window;
        data.tau_int = gamma.tau_int;
        data.gamma_error = gamma.error;
        data.values = static_cast<double>(reading.values);
        figure->draw(data);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const std::optional<Options> options = parse_options(argc, argv);
        if (!options) {
            return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
        }
        return run(*options);
    } catch (const UsageError& error) {
        (void)std::fprintf(stderr, "%s: %s (see %s --help)\n", program, error.what(), program);
        return 2;
    } catch (const InputError& error) {
        (void)std::fprintf(stderr, "%s: %s\n", program, error.what());
        return 2;
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "%s: %s\n", program, error.what());
        return 1;
    }
}
