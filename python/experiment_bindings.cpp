// The experiments as NumPy tables, and the suite's uniform generator.
#include <pybind11/numpy.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "array_arguments.hpp"
#include "experiment_runs.hpp"
#include "experiments.hpp"
#include "module_parts.hpp"
#include "suite/limits.hpp"
#include "suite/uniform_engine.hpp"

namespace py = pybind11;
using suite::UniformEngine;

namespace {

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

py::array run(const std::string& name, Integer seed, std::optional<Integer> rows, Integer updates_per_sample)
{
    const Experiment* experiment = experiment_named(name);
    if (experiment == nullptr) {
        throw py::value_error("no experiment named '" + name + "'; the experiments are " + experiment_names());
    }
    // Keywords the experiment's program has no option for are refused, not
    // ignored.
    const RunSettings defaults;
    if (!experiment->has_option("seed") && seed.value != defaults.seed) {
        throw py::value_error(name + " draws no random numbers: it takes no seed");
    }
    if (!experiment->has_option("updates-per-sample") && updates_per_sample.value != defaults.updates_per_sample) {
        throw py::value_error(name + " makes no Metropolis updates: it takes no updates_per_sample");
    }
    // The table is made before the run, so its length is checked here.
    const std::int64_t capacity = rows ? rows->value : experiment->default_rows;
    if (capacity < 1 || capacity > experiment->max_rows) {
        throw py::value_error("rows " + std::to_string(capacity) + " is out of range for " + name + " (1 to " +
                              std::to_string(experiment->max_rows) + ")");
    }
    const RunSettings settings{seed.value, rows ? rows->value : 0, updates_per_sample.value, 0};

    py::list fields;
    for (std::size_t c = 0; c < experiment->column_names.size(); ++c) {
        fields.append(py::make_tuple(experiment->column_names[c], c == 0 ? "<i8" : "<f8"));
    }
    py::array table(py::dtype::from_args(fields), std::vector<py::ssize_t>{static_cast<py::ssize_t>(capacity)});
    RecordSink sink(static_cast<char*>(table.mutable_data()), static_cast<std::size_t>(capacity),
                    experiment->columns);
    try {
        const py::gil_scoped_release release;
        run_experiment(*experiment, settings, sink);
    } catch (const PythonSignal&) {
        throw py::error_already_set();
    }
    if (sink.rows() != static_cast<std::size_t>(capacity)) {
        throw std::logic_error("an experiment handed on fewer rows than its table has");
    }
    return table;
}

std::size_t count_argument(Integer count)
{
    if (count.value < 0) {
        throw py::value_error("n must not be negative, not " + std::to_string(count.value));
    }
    return static_cast<std::size_t>(count.value);
}

py::array_t<std::uint32_t> units(UniformEngine& engine, Integer count)
{
    const std::size_t n = count_argument(count);
    py::array_t<std::uint32_t> out(static_cast<py::ssize_t>(n));
    // The GIL stays held: the engine belongs to a Python object that
    // another thread may draw from at the same time.
    engine.generate(std::span<std::uint32_t>(out.mutable_data(), n));
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

}  // namespace

void add_experiments(py::module_& module)
{
    using namespace pybind11::literals;
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
        .def(py::init([](Integer seed) { return UniformEngine(seed.value); }), "seed"_a = 0)
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
}
