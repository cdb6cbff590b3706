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
#include <chrono>
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
#include "suite/limits.hpp"
#include "suite/uniform_engine.hpp"
#include "usable_cores.hpp"

namespace py = pybind11;

namespace {

// An integer argument. Python's True and False are integers too (bool is a
// subclass of int), and NumPy's are taken for them, but a count or a seed
// given as one is a mistake: they are refused with the usual TypeError for
// an argument of the wrong type.
struct Integer {
    std::int64_t value = 0;
};

}  // namespace

namespace pybind11::detail {

template <>
struct type_caster<Integer> {
    PYBIND11_TYPE_CASTER(Integer, const_name("int"));

    bool load(handle source, bool convert)
    {
        if (PyBool_Check(source.ptr()) ||
            (!PyLong_CheckExact(source.ptr()) && isinstance(source, module_::import("numpy").attr("bool_")))) {
            return false;
        }
        make_caster<std::int64_t> integer;
        if (!integer.load(source, convert)) {
            return false;
        }
        value.value = cast_op<std::int64_t>(integer);
        return true;
    }

    static handle cast(Integer integer, return_value_policy, handle) { return PyLong_FromLongLong(integer.value); }
};

}  // namespace pybind11::detail

namespace {

using suite::UniformEngine;

// ---------------------------------------------------------------------------
// The experiments.

// Python's signal handlers ran and one raised (KeyboardInterrupt, for
// Ctrl-C): the exception waits in the interpreter for the run to unwind.
struct PythonSignal {};

// The table's rows written straight into a structured array's records: the
// count as int64, then the values as float64, packed. The run holds no GIL;
// every few milliseconds between rows the sink takes it back for a moment
// to let Python handle signals, and a handler's exception stops the run.
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

        const auto now = std::chrono::steady_clock::now();
        if (now >= next_signal_check_) {
            next_signal_check_ = now + std::chrono::milliseconds(5);
            const py::gil_scoped_acquire hold;
            if (PyErr_CheckSignals() != 0) {
                throw PythonSignal{};
            }
        }
    }

    std::size_t rows() const { return rows_; }

private:
    char* records_;
    std::size_t capacity_;
    std::size_t columns_;
    std::size_t rows_ = 0;
    std::chrono::steady_clock::time_point next_signal_check_ = std::chrono::steady_clock::now();
};

std::string experiment_names()
{
    std::string names;
    for (const Experiment& e : experiments()) {
        names += (names.empty() ? "" : ", ") + e.name;
    }
    return names;
}

py::array run(const std::string& name, Integer seed_argument, std::optional<Integer> rows_argument,
              Integer updates_argument)
{
    const std::int64_t seed = seed_argument.value;
    const std::int64_t updates_per_sample = updates_argument.value;
    std::optional<std::int64_t> rows;
    if (rows_argument) {
        rows = rows_argument->value;
    }
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
    } catch (const PythonSignal&) {
        throw py::error_already_set();
    }
    if (sink.rows() != static_cast<std::size_t>(capacity)) {
        throw std::logic_error("an experiment handed on fewer rows than its table has");
    }
    return table;
}

// ---------------------------------------------------------------------------
// The engine.

std::size_t count_argument(Integer count)
{
    const std::int64_t n = count.value;
    if (n < 0) {
        throw py::value_error("n must not be negative, not " + std::to_string(n));
    }
    return static_cast<std::size_t>(n);
}

UniformEngine make_engine(Integer seed_argument)
{
    const std::int64_t seed = seed_argument.value;
    if (seed < suite::limits::min_seed || seed > suite::limits::max_seed) {
        throw py::value_error("seed " + std::to_string(seed) + " is out of range (" +
                              std::to_string(suite::limits::min_seed) + " to " +
                              std::to_string(suite::limits::max_seed) + ")");
    }
    return UniformEngine(seed);
}

py::array_t<std::uint32_t> units(UniformEngine& engine, Integer count)
{
    const std::size_t n = count_argument(count);
    py::array_t<std::uint32_t> out(static_cast<py::ssize_t>(n));
    std::span<std::uint32_t> span(out.mutable_data(), n);
    // The GIL stays held: the engine belongs to a Python object that
    // another thread may draw from at the same time.
    engine.generate(span);
    return out;
}

// The historic values widened: drawn as units, then scaled exactly.
py::array_t<double> widened_values(UniformEngine& engine, Integer count)
{
    const std::size_t n = count_argument(count);
    py::array_t<double> out(static_cast<py::ssize_t>(n));
    double* values = out.mutable_data();
    std::vector<std::uint32_t> buffer(std::min<std::size_t>(n, 1 << 14));
    for (std::size_t done = 0; done < n; done += buffer.size()) {
        const std::span chunk = std::span(buffer).first(std::min(buffer.size(), n - done));
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

double jackknife_error(const py::object& values, Integer blocks_argument)
{
    const std::int64_t blocks = blocks_argument.value;
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

// The ranks, counted from 0 as in suite::BootstrapPlan, of the resample
// means at the quantiles q = (1 - c) / 2 and 1 - q of M resamples:
// floor(q M) and floor((1 - q) M), so c = 0.68 of 100 gives 16 and 84. The
// small tolerance keeps a q M that is an integer in exact arithmetic from
// rounding below it.
std::int64_t rank_at(double quantile, std::int64_t resamples)
{
    const auto rank = static_cast<std::int64_t>(std::floor(quantile * static_cast<double>(resamples) + 1e-9));
    return std::min(rank, resamples - 1);
}

struct Ranks {
    std::int64_t lower;
    std::int64_t upper;
};

// The ranks of confidence level c: each must leave at least one resample
// mean beyond it, or the interval is merely the smallest and largest mean,
// whatever c says; that needs q M > 1, more than 2 / (1 - c) resamples.
Ranks ranks_of_level(double c, std::int64_t resamples)
{
    if (!(c > 0.0 && c < 1.0)) {
        throw py::value_error("confidence_level must lie strictly between 0 and 1");
    }
    const Ranks ranks{rank_at((1.0 - c) / 2.0, resamples), rank_at((1.0 + c) / 2.0, resamples)};
    if (ranks.lower < 1 || ranks.upper > resamples - 2) {
        std::ostringstream message;
        message << "too few resamples for confidence_level " << c << ": it needs more than 2 / (1 - c) = "
                << 2.0 / (1.0 - c) << ", not " << resamples
                << " (with fewer, the interval is the smallest and largest resample mean)";
        throw py::value_error(message.str());
    }
    return ranks;
}

// The old keywords lower and upper counted from 1; they still work, with a
// DeprecationWarning, as lower_rank + 1 and upper_rank + 1.
std::optional<std::int64_t> from_one_based(const std::optional<Integer>& rank, const char* name)
{
    if (!rank) {
        return std::nullopt;
    }
    const std::string message = std::string(name) + "= counts from 1 and is deprecated: give " + name +
                                "_rank=, which counts from 0 as suite::BootstrapPlan does";
    if (PyErr_WarnEx(PyExc_DeprecationWarning, message.c_str(), 1) != 0) {
        throw py::error_already_set();
    }
    return rank->value - 1;
}

py::tuple bootstrap_interval(const py::object& values, Integer resamples_argument,
                             std::optional<Integer> lower_rank, std::optional<Integer> upper_rank, Integer seed,
                             std::optional<double> confidence_level, std::optional<Integer> threads,
                             std::optional<Integer> lower_one_based, std::optional<Integer> upper_one_based)
{
    const std::int64_t resamples = resamples_argument.value;
    if (threads && (threads->value < 1 || threads->value > suite::limits::max_threads)) {
        throw py::value_error("threads must be 1 to " + std::to_string(suite::limits::max_threads) + ", not " +
                              std::to_string(threads->value));
    }
    const unsigned workers = threads ? static_cast<unsigned>(threads->value) : usable_cores();
    const auto series_values = series(values, true);
    const auto max_resamples = static_cast<std::int64_t>(suite::limits::max_bootstrap_resamples);
    if (resamples < 1 || resamples > max_resamples) {
        throw py::value_error("resamples must be 1 to " + std::to_string(max_resamples) + ", not " +
                              std::to_string(resamples));
    }

    if ((lower_rank && lower_one_based) || (upper_rank && upper_one_based)) {
        throw py::value_error("give lower_rank and upper_rank, or the deprecated lower and upper, not both");
    }
    const std::optional<std::int64_t> lower =
        lower_rank ? std::optional(lower_rank->value) : from_one_based(lower_one_based, "lower");
    const std::optional<std::int64_t> upper =
        upper_rank ? std::optional(upper_rank->value) : from_one_based(upper_one_based, "upper");
    if (lower.has_value() != upper.has_value()) {
        throw py::value_error("give both ranks, lower_rank and upper_rank, or neither");
    }
    if (lower && confidence_level) {
        throw py::value_error("give either the ranks or confidence_level, not both");
    }
    Ranks ranks{};
    if (lower) {
        ranks = Ranks{*lower, *upper};
        if (ranks.lower < 0 || ranks.lower > ranks.upper || ranks.upper >= resamples) {
            throw py::value_error("the ranks must satisfy 0 <= lower_rank <= upper_rank < resamples, not lower_rank " +
                                  std::to_string(ranks.lower) + ", upper_rank " + std::to_string(ranks.upper) +
                                  ", resamples " + std::to_string(resamples));
        }
    } else {
        ranks = ranks_of_level(confidence_level.value_or(0.68), resamples);
    }

    UniformEngine engine = make_engine(seed);
    const suite::BootstrapPlan plan{static_cast<std::size_t>(resamples), static_cast<std::size_t>(ranks.lower),
                                    static_cast<std::size_t>(ranks.upper)};
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
    // meanwhile; another holder is a RuntimeError naming it. A folder that
    // holds nothing of a study is not locked, so that no lock file is left
    // in it.
    std::optional<FolderLock> lock;
    try {
        py::gil_scoped_release release;
        if (holds_study(folder)) {
            lock.emplace(folder);
        }
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
    // Every function takes or gives NumPy arrays: without NumPy the import
    // fails, naming the interpreter the module was built for, rather than
    // every call later.
    try {
        py::module_::import("numpy");
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) {
            throw;
        }
        throw py::import_error("convergence_suite needs NumPy, which " +
                               py::module_::import("sys").attr("executable").cast<std::string>() +
                               " cannot import; the module was built for " SUITE_PYTHON_INTERPRETER);
    }
    module.doc() = "The convergence suite's experiments, random engine and estimators on NumPy arrays.";
    module.attr("__version__") = SUITE_VERSION;

    py::list names;
    for (const Experiment& e : experiments()) {
        names.append(e.name);
    }
    module.attr("experiment_names") = py::tuple(names);

    module.def("run", &run, "name"_a, py::kw_only(), "seed"_a = 0, "rows"_a = py::none(),
               "updates_per_sample"_a = suite::limits::default_updates_per_sample,
               "Runs one experiment and returns its table as a structured array, one field per column\n"
               "(the count int64, the rest float64): the program's table, row for row. Ctrl-C stops it\n"
               "between rows.");

    py::class_<UniformEngine>(module, "Generator",
                              "The suite's uniform generator: values are integer multiples of 2**-24 in [0, 1).")
        .def(py::init(&make_engine), "seed"_a = 0)
        .def("random", &widened_values, "n"_a, "The next n values, as float64 (the historic floats widened).")
        .def("units", &units, "n"_a, "The next n values in units of 2**-24, as uint32.")
        .def(
            "discard", [](UniformEngine& e, Integer n) { e.discard(count_argument(n)); }, "n"_a,
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
    module.def("bootstrap_interval", &bootstrap_interval, "values"_a, "resamples"_a = 100, py::kw_only(),
               "lower_rank"_a = py::none(), "upper_rank"_a = py::none(), "seed"_a = 0,
               "confidence_level"_a = py::none(), "threads"_a = py::none(), "lower"_a = py::none(),
               "upper"_a = py::none(),
               "The bootstrap percentile interval of the mean: of `resamples` resample means sorted, the ones\n"
               "at lower_rank and upper_rank, counted from 0 (as in suite::BootstrapPlan), or at the ranks\n"
               "confidence_level picks (0.68 when neither is given: 16 and 84 of 100). On `threads` threads\n"
               "(by default every core this process may use); the interval is the same for any number.\n"
               "lower= and upper=, counted from 1, are deprecated.");
}
