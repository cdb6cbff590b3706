// The suite from Python: the experiments, the engine, the estimators and
// the error analysis of correlated chains on NumPy arrays. Every number
// comes from the same library functions the programs call; the module only
// moves data and checks what Python adds (types, shapes, dtypes).
#include <pybind11/pybind11.h>

#include <string>

#include "module_parts.hpp"

namespace py = pybind11;

PYBIND11_MODULE(convergence_suite, module)
{
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
    module.doc() = "The convergence suite's experiments, random engine, estimators and chain error analyses on "
                   "NumPy arrays.";
    module.attr("__version__") = SUITE_VERSION;
    add_experiments(module);
    add_estimators(module);
    add_study(module);
    add_chain_errors(module);
}
