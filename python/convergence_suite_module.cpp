// The suite from Python: the experiments, the engine and the estimators on
// NumPy arrays.
#include <pybind11/pybind11.h>

namespace py = pybind11;

PYBIND11_MODULE(convergence_suite, module)
{
    module.doc() = "The convergence suite's experiments, random engine and estimators on NumPy arrays.";
    module.attr("__version__") = SUITE_VERSION;
}
