#pragma once

// Python's arguments turned into what the library takes: integers that are
// not bools, NumPy arrays as spans of doubles. Only what Python adds is
// checked here (types, bools, shapes, dtypes, finiteness); the library
// checks its own ranges and its std::invalid_argument reaches Python as
// ValueError.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// An integer argument. Python's True and False are integers too (bool is a
// subclass of int), and NumPy's are taken for them, but a count or a seed
// given as one is a mistake: they are refused with the usual TypeError for
// an argument of the wrong type.
struct Integer {
    std::int64_t value = 0;
};

namespace pybind11::detail {

template <>
struct type_caster<Integer> {
    PYBIND11_TYPE_CASTER(Integer, const_name("int"));

    bool load(handle source, bool convert);

    static handle cast(Integer integer, return_value_policy, handle) { return PyLong_FromLongLong(integer.value); }
};

}  // namespace pybind11::detail

using Doubles = pybind11::array_t<double, pybind11::array::c_style>;

// `values` as a contiguous float64 array of `ndim` dimensions (a copy when
// it is not one already), not empty: TypeError for a dtype that is not
// real numbers, ValueError for another shape. With `finite`, every value
// must be finite (ValueError naming the first that is not).
Doubles real_array(const pybind11::object& values, int ndim, bool finite);

// ValueError naming the first value that is not finite.
void check_finite(const Doubles& values);

inline std::span<const double> span_of(const Doubles& values)
{
    return {values.data(), static_cast<std::size_t>(values.size())};
}

// The rows of a contiguous 2-D array, one span each.
std::vector<std::span<const double>> rows_of(const Doubles& values);

// A number of threads: 1 to the library's limit, or when none is given
// every core this process may use.
unsigned thread_count(const std::optional<Integer>& threads);
