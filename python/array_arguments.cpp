#include "array_arguments.hpp"

#include <cmath>
#include <optional>
#include <string>

#include "suite/limits.hpp"
#include "usable_cores.hpp"

namespace py = pybind11;

namespace pybind11::detail {

bool type_caster<Integer>::load(handle source, bool convert)
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

}  // namespace pybind11::detail

void check_finite(const Doubles& values)
{
    const double* data = values.data();
    for (py::ssize_t k = 0; k < values.size(); ++k) {
        if (!std::isfinite(data[k])) {
            throw py::value_error("values must be finite: the value at flat index " + std::to_string(k) + " is " +
                                  py::repr(py::float_(data[k])).cast<std::string>());
        }
    }
}

Doubles real_array(const py::object& values, int ndim, bool finite)
{
    const char* const shape = ndim == 1 ? "1-D" : "2-D";
    py::array array;
    try {
        array = py::module_::import("numpy").attr("asarray")(values);
    } catch (const py::error_already_set&) {
        throw py::type_error(std::string("values must be a ") + shape + " array of numbers");
    }
    const char kind = array.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
        throw py::type_error("values must be real numbers, not an array of dtype " +
                             py::str(array.dtype()).cast<std::string>());
    }
    if (array.ndim() != ndim) {
        throw py::value_error(std::string("values must be ") + shape + ", not " + std::to_string(array.ndim()) +
                              "-D");
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

std::vector<std::span<const double>> rows_of(const Doubles& values)
{
    const auto rows = static_cast<std::size_t>(values.shape(0));
    const auto length = static_cast<std::size_t>(values.shape(1));
    std::vector<std::span<const double>> spans;
    for (std::size_t r = 0; r < rows; ++r) {
        spans.emplace_back(values.data() + r * length, length);
    }
    return spans;
}

unsigned thread_count(const std::optional<Integer>& threads)
{
    if (!threads) {
        return usable_cores();
    }
    if (threads->value < 1 || threads->value > suite::limits::max_threads) {
        throw py::value_error("threads must be 1 to " + std::to_string(suite::limits::max_threads) + ", not " +
                              std::to_string(threads->value));
    }
    return static_cast<unsigned>(threads->value);
}
