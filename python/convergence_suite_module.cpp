// The suite from Python: the experiments, the engine and the estimators on
// NumPy arrays. Every number comes from the same library functions the
// programs call; the module only moves data and checks arguments.
#include <pybind11/numpy.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "collect.hpp"
#include "experiment_runs.hpp"
#include "experiments.hpp"
#include "study.hpp"
#include "study_folder.hpp"
#include "suite/estimators.hpp"
#include "suite/uniform_engine.hpp"
#include "usable_cores.hpp"

namespace py = pybind11;

namespace {

using suite::UniformEngine;

// ---------------------------------------------------------------------------
// The experiments.

// The table's rows written straight into a structured array's records: the
// count as int64, then the values as float64, packed.
class RecordSink : public RowSink {
public:
    RecordSink(char* records, std::size_t capacity, std::size_t columns)
        : records_(records), capacity_(capacity), columns_(columns)
    {
    }

    void row(std::int64_t count, std::span<const double> values) override
    {
        if (rows_ == capacity_ || values.size() + 1 != columns_) {
            throw std::logic_error("an experiment handed on more rows or columns than its table has");
        }
        char* record = records_ + rows_ * columns_ * sizeof(double);
        std::memcpy(record, &count, sizeof count);
        std::memcpy(record + sizeof count, values.data(), values.size_bytes());
        ++rows_;
    }

    std::size_t rows() const { return rows_; }

private:
    char* records_;
    std::size_t capacity_;
    std::size_t columns_;
    std::size_t rows_ = 0;
};

std::string experiment_names()
{
    std::string names;
    for (const Experiment& e : experiments()) {
        names += (names.empty() ? "" : ", ") + e.name;
    }
    return names;
}

py::array run(const std::string& name, std::int64_t seed, std::optional<std::int64_t> rows,
              std::int64_t updates_per_sample)
{
    const Experiment* experiment = nullptr;
    try {
        experiment = &find_experiment(name);
    } catch (const std::out_of_range&) {
        throw py::value_error("no experiment named '" + name + "'; the experiments are " + experiment_names());
    }
    const RunSettings defaults;
    if (!experiment->has_option("seed") && seed != defaults.seed) {
        throw py::value_error(name + " draws no random numbers: it takes no seed");
    }
    if (!experiment->has_option("updates-per-sample") && updates_per_sample != defaults.updates_per_sample) {
        throw py::value_error(name + " makes no Metropolis updates: it takes no updates_per_sample");
    }
    if (rows && *rows < 1) {
        throw py::value_error("rows must be at least 1, not " + std::to_string(*rows));
    }
    const RunSettings settings{seed, rows.value_or(0), updates_per_sample, 0};
    const std::int64_t capacity = rows.value_or(experiment->default_rows);
    if (capacity > experiment->max_rows) {
        throw py::value_error("rows " + std::to_string(capacity) + " is out of range for " + name + " (1 to " +
                              std::to_string(experiment->max_rows) + ")");
    }

    py::list fields;
    for (std::size_t c = 0; c < experiment->column_names.size(); ++c) {
        fields.append(py::make_tuple(experiment->column_names[c], c == 0 ? "<i8" : "<f8"));
    }
    py::array table(py::dtype::from_args(fields), std::vector<py::ssize_t>{static_cast<py::ssize_t>(capacity)});
    RecordSink sink(static_cast<char*>(table.mutable_data()), static_cast<std::size_t>(capacity),
                    experiment->columns);
    try {
        py::gil_scoped_release release;
        run_experiment(*experiment, settings, sink);
    } catch (const std::invalid_argument& error) {
        throw py::value_error(error.what());
    }
    if (sink.rows() != static_cast<std::size_t>(capacity)) {
        throw std::logic_error("an experiment handed on fewer rows than its table has");
    }
    return table;
}

// ---------------------------------------------------------------------------
// The engine.

std::size_t count_argument(std::int64_t n)
{
    if (n < 0) {
        throw py::value_error("n must not be negative, not " + std::to_string(n));
    }
    return static_cast<std::size_t>(n);
}

UniformEngine make_engine(std::int64_t seed)
{
    if (seed < 0 || seed > UniformEngine::max_seed) {
        throw py::value_error("seed " + std::to_string(seed) + " is out of range (0 to " +
                              std::to_string(UniformEngine::max_seed) + ")");
    }
    return UniformEngine(seed);
}

py::array_t<std::uint32_t> units(UniformEngine& engine, std::int64_t n)
{
    py::array_t<std::uint32_t> out(static_cast<py::ssize_t>(count_argument(n)));
    std::span<std::uint32_t> span(out.mutable_data(), static_cast<std::size_t>(n));
    // The GIL stays held: the engine belongs to a Python object that
    // another thread may draw from at the same time.
    engine.generate(span);
    return out;
}

// The historic values widened: drawn as units, then scaled exactly.
py::array_t<double> widened_values(UniformEngine& engine, std::int64_t n)
{
    py::array_t<double> out(static_cast<py::ssize_t>(count_argument(n)));
    double* values = out.mutable_data();
    std::vector<std::uint32_t> buffer(std::min<std::size_t>(static_cast<std::size_t>(n), 1 << 14));
    for (std::size_t done = 0; done < static_cast<std::size_t>(n); done += buffer.size()) {
        const std::span chunk = std::span(buffer).first(std::min(buffer.size(), static_cast<std::size_t>(n) - done));
        engine.generate(chunk);
        for (std::size_t k = 0; k < chunk.size(); ++k) {
            values[done + k] = UniformEngine::to_double(chunk[k]);
        }
    }
    return out;
}

std::string engine_state(const UniformEngine& engine)
{
    std::ostringstream out;
    out << engine;
    return out.str();
}

UniformEngine engine_from_state(const std::string& state)
{
    UniformEngine engine;
    std::istringstream in(state);
    in >> engine;
    if (!in) {
        throw py::value_error("not a state of the engine");
    }
    return engine;
}

// ---------------------------------------------------------------------------
// The estimators.

void check_finite(const py::array_t<double, py::array::c_style>& values)
{
    const double* data = values.data();
    for (py::ssize_t k = 0; k < values.size(); ++k) {
        if (!std::isfinite(data[k])) {
            throw py::value_error("values must be finite: values[" + std::to_string(k) + "] is " +
                                  py::repr(py::float_(data[k])).cast<std::string>());
        }
    }
}

// `values` as a contiguous 1-D float64 array (a copy when it is not one
// already), or TypeError/ValueError saying what is wrong with it.
py::array_t<double, py::array::c_style> series(const py::object& values, bool finite)
{
    const py::module_ numpy = py::module_::import("numpy");
    py::array array;
    try {
        array = numpy.attr("asarray")(values);
    } catch (const py::error_already_set&) {
        throw py::type_error("values must be a 1-D array of numbers");
    }
    const char kind = array.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
        throw py::type_error("values must be real numbers, not an array of dtype " +
                             py::str(array.dtype()).cast<std::string>());
    }
    if (array.ndim() != 1) {
        throw py::value_error("values must be 1-D, not " + std::to_string(array.ndim()) + "-D");
    }
    if (array.size() == 0) {
        throw py::value_error("values must not be empty");
    }
    auto doubles = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(array);
    if (finite) {
        check_finite(doubles);
    }
    return doubles;
}

std::span<const double> span_of(const py::array_t<double, py::array::c_style>& values)
{
    return {values.data(), static_cast<std::size_t>(values.size())};
}

double jackknife_error(const py::object& values, std::int64_t blocks)
{
    // A value that is not finite makes the total not finite, so the values
    // are scanned only then (it may also be an overflow of the sum).
    const auto series_values = series(values, false);
    const auto n = series_values.size();
    if (blocks < 2 || blocks > n) {
        throw py::value_error("blocks must be 2 to len(values) = " + std::to_string(n) + ", not " +
                              std::to_string(blocks));
    }
    double error = 0.0;
    {
        py::gil_scoped_release release;
        error = suite::jackknife_error(span_of(series_values), static_cast<std::size_t>(blocks));
    }
    if (!std::isfinite(error)) {
        check_finite(series_values);
        throw py::value_error("the sum of the values overflows");
    }
    return error;
}

py::array_t<double> running_mean(const py::object& values)
{
    const auto series_values = series(values, false);
    py::array_t<double> means(series_values.size());
    std::span<double> out(means.mutable_data(), static_cast<std::size_t>(means.size()));
    py::gil_scoped_release release;
    suite::running_means(span_of(series_values), out);
    return means;
}

// 1-based order statistics of `resamples` means at the quantiles (1 - c) / 2
// and (1 + c) / 2: rank floor(q M) + 1, so c = 0.68 of 100 gives 17 and 85.
// The small tolerance keeps a q M that is an integer in exact arithmetic
// from rounding below it.
std::int64_t rank_at(double quantile, std::int64_t resamples)
{
    const auto rank = static_cast<std::int64_t>(std::floor(quantile * static_cast<double>(resamples) + 1e-9)) + 1;
    return std::min(rank, resamples);
}

py::tuple bootstrap_interval(const py::object& values, std::int64_t resamples, std::int64_t lower,
                             std::int64_t upper, std::int64_t seed, std::optional<double> confidence_level,
                             std::optional<std::int64_t> threads)
{
    if (threads && *threads < 1) {
        throw py::value_error("threads must be at least 1, not " + std::to_string(*threads));
    }
    const unsigned workers =
        threads ? static_cast<unsigned>(std::min<std::int64_t>(*threads, suite::limits::max_threads)) : usable_cores();
    const auto series_values = series(values, true);
    if (resamples < 1 || resamples > static_cast<std::int64_t>(suite::limits::max_bootstrap_resamples)) {
        throw py::value_error("resamples must be 1 to 1048576, not " + std::to_string(resamples));
    }
    if (confidence_level) {
        const double c = *confidence_level;
        if (!(c > 0.0 && c < 1.0)) {
            throw py::value_error("confidence_level must lie strictly between 0 and 1");
        }
        lower = rank_at((1.0 - c) / 2.0, resamples);
        upper = rank_at((1.0 + c) / 2.0, resamples);
    }
    if (lower < 1 || lower > upper || upper > resamples) {
        throw py::value_error("the ranks must satisfy 1 <= lower <= upper <= resamples, not lower " +
                              std::to_string(lower) + ", upper " + std::to_string(upper) + ", resamples " +
                              std::to_string(resamples));
    }
    if (series_values.size() >= (py::ssize_t{1} << 29)) {
        throw py::value_error("values must hold fewer than 2**29 numbers");
    }
    UniformEngine engine = make_engine(seed);
    const suite::BootstrapPlan plan{static_cast<std::size_t>(resamples), static_cast<std::size_t>(lower - 1),
                                    static_cast<std::size_t>(upper - 1)};
    suite::BootstrapInterval interval{};
    {
        py::gil_scoped_release release;
        interval = suite::bootstrap_interval(span_of(series_values), plan, engine, workers);
    }
    return py::make_tuple(interval.lower, interval.upper);
}

// ---------------------------------------------------------------------------
// The replica study.

// Aggregates the replica tables in `folder` as `ensemble collect` does (into
// folder/aggregate.dat) and returns that table: N as int64, the rest float64.
py::array collect_folder(const std::filesystem::path& folder)
{
    // Held as `ensemble collect` holds it, so that no run adds to the folder
    // meanwhile; another holder is a RuntimeError naming it.
    std::optional<FolderLock> lock;
    try {
        py::gil_scoped_release release;
        lock.emplace(folder);
        collect(folder);
    } catch (const StudyError& error) {
        throw py::value_error(error.what());
    }
    std::ifstream in(folder / "aggregate.dat");
    std::vector<std::string> names;
    std::vector<std::int64_t> counts;
    std::vector<double> values;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string field;
        if (line.starts_with("#")) {
            names.clear();
            fields.ignore(2);  // "# "
            while (std::getline(fields, field, '\t')) {
                names.push_back(field);
            }
            continue;
        }
        std::getline(fields, field, '\t');
        counts.push_back(std::stoll(field));
        while (std::getline(fields, field, '\t')) {
            values.push_back(std::strtod(field.c_str(), nullptr));  // "nan" too
        }
    }
    if (names.size() < 2 || values.size() != counts.size() * (names.size() - 1)) {
        throw py::value_error("cannot read the aggregate in " + (folder / "aggregate.dat").string());
    }
    py::list fields;
    for (std::size_t c = 0; c < names.size(); ++c) {
        fields.append(py::make_tuple(names[c], c == 0 ? "<i8" : "<f8"));
    }
    py::array table(py::dtype::from_args(fields), std::vector<py::ssize_t>{static_cast<py::ssize_t>(counts.size())});
    auto* record = static_cast<char*>(table.mutable_data());
    const std::size_t reals = names.size() - 1;
    for (std::size_t r = 0; r < counts.size(); ++r, record += names.size() * sizeof(double)) {
        std::memcpy(record, &counts[r], sizeof(std::int64_t));
        std::memcpy(record + sizeof(std::int64_t), &values[r * reals], reals * sizeof(double));
    }
    return table;
}

}  // namespace

PYBIND11_MODULE(convergence_suite, module)
{
    using namespace pybind11::literals;
    module.doc() = "The convergence suite's experiments, random engine and estimators on NumPy arrays.";
    module.attr("__version__") = SUITE_VERSION;

    py::list names;
    for (const Experiment& e : experiments()) {
        names.append(e.name);
    }
    module.attr("experiment_names") = py::tuple(names);

    module.def("run", &run, "name"_a, py::kw_only(), "seed"_a = 0, "rows"_a = py::none(),
               "updates_per_sample"_a = 1000,
               "Runs one experiment and returns its table as a structured array, one field per column\n"
               "(the count int64, the rest float64): the program's table, row for row.");

    py::class_<UniformEngine>(module, "Generator",
                              "The suite's uniform generator: values are integer multiples of 2**-24 in [0, 1).")
        .def(py::init(&make_engine), "seed"_a = 0)
        .def("random", &widened_values, "n"_a, "The next n values, as float64 (the historic floats widened).")
        .def("units", &units, "n"_a, "The next n values in units of 2**-24, as uint32.")
        .def(
            "discard", [](UniformEngine& e, std::int64_t n) { e.discard(count_argument(n)); }, "n"_a,
            "Skips n values (a jump, in O(log n)).")
        .def("copy", [](const UniformEngine& e) { return e; })
        .def("__copy__", [](const UniformEngine& e) { return e; })
        .def("__deepcopy__", [](const UniformEngine& e, const py::object&) { return e; }, "memo"_a)
        .def(py::self == py::self)  // NOLINT(misc-redundant-expression)
        .def("state", &engine_state, "The state as text (what pickling keeps).")
        .def(py::pickle([](const UniformEngine& e) { return engine_state(e); },
                        [](const std::string& state) { return engine_from_state(state); }))
        .def("__repr__", [](const UniformEngine&) { return std::string("<convergence_suite.Generator>"); });

    module.def("collect", &collect_folder, "folder"_a,
               "Aggregates the replica tables in folder into folder/aggregate.dat, as `ensemble collect` does,\n"
               "and returns that table as a structured array.");
    module.def("jackknife_error", &jackknife_error, "values"_a, "blocks"_a = 10,
               "The blocked jackknife error of the mean of values, cut into `blocks` consecutive blocks.");
    module.def("running_mean", &running_mean, "values"_a,
               "The running means: element k is the mean of values[0] .. values[k], summed in order.");
    module.def("bootstrap_interval", &bootstrap_interval, "values"_a, "resamples"_a = 100, "lower"_a = 17,
               "upper"_a = 85, "seed"_a = 0, "confidence_level"_a = py::none(), "threads"_a = py::none(),
               "The bootstrap percentile interval of the mean: the lower-th and upper-th smallest (1-based)\n"
               "of `resamples` resample means, or the ranks confidence_level picks. On `threads` threads\n"
               "(by default every core this process may use); the interval is the same for any number.");
}
