// The error of the mean of a correlated chain from Python: the Gamma
// method, binning and block bootstraps of the library, on NumPy arrays, and
// a binning analysis fed chunk by chunk.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "array_arguments.hpp"
#include "interruptible_call.hpp"
#include "module_parts.hpp"
#include "suite/chain_errors.hpp"
#include "suite/uniform_engine.hpp"

namespace py = pybind11;

namespace {

// What every method says about the mean, and each method's own details
// (None where the method has none).
struct ChainError {
    std::string method;
    std::uint64_t count = 0;
    std::optional<std::size_t> replicas;  // chains analysed as replicas of one observable
    double mean = 0;
    double error = 0;
    double error_of_error = 0;
    double tau_int = 0;
    double tau_int_error = 0;
    double effective_samples = 0;
    // binning and block_bootstrap: the interval at `confidence`
    std::optional<double> confidence;
    std::optional<double> lower;
    std::optional<double> upper;
    // gamma
    std::optional<std::size_t> window;
    std::optional<bool> window_found;
    py::object gamma = py::none();
    py::object rho = py::none();
    py::object rho_error = py::none();
    // binning
    std::optional<std::size_t> level;
    std::optional<bool> plateau_found;
    std::optional<bool> bias_corrected;
    py::object bin_sizes = py::none();
    py::object level_errors = py::none();
    py::object level_error_of_errors = py::none();
    py::object level_tau_int = py::none();
    // block_bootstrap
    std::optional<std::size_t> block_length;
    std::optional<std::string> block_scheme;
    py::object resample_means = py::none();
};

// The numbers every method's result has.
template <class Result>
ChainError common(const char* method, const Result& r)
{
    ChainError e;
    e.method = method;
    e.count = r.count;
    e.mean = r.mean;
    e.error = r.error;
    e.error_of_error = r.error_of_error;
    e.tau_int = r.tau_int;
    e.tau_int_error = r.tau_int_error;
    e.effective_samples = r.effective_samples;
    return e;
}

template <class T>
py::array_t<T> array_of(const std::vector<T>& values)
{
    py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), out.mutable_data());
    return out;
}

ChainError from_gamma(const suite::GammaResult& r)
{
    ChainError e = common("gamma", r);
    e.replicas = r.replicas;
    e.window = r.window;
    e.window_found = r.window_found;
    e.gamma = array_of(r.gamma);
    e.rho = array_of(r.rho);
    e.rho_error = array_of(r.rho_error);
    return e;
}

ChainError from_binning(const suite::BinningResult& r, std::optional<std::size_t> replicas)
{
    ChainError e = common("binning", r);
    e.replicas = replicas;
    e.confidence = r.confidence;
    e.lower = r.lower;
    e.upper = r.upper;
    e.level = r.level;
    e.plateau_found = r.plateau_found;
    e.bias_corrected = r.bias_corrected;
    std::vector<std::uint64_t> sizes;
    std::vector<double> errors;
    std::vector<double> error_of_errors;
    std::vector<double> taus;
    for (const suite::BinningLevel& l : r.levels) {
        sizes.push_back(l.bin_size);
        errors.push_back(l.error);
        error_of_errors.push_back(l.error_of_error);
        taus.push_back(l.tau_int);
    }
    e.bin_sizes = array_of(sizes);
    e.level_errors = array_of(errors);
    e.level_error_of_errors = array_of(error_of_errors);
    e.level_tau_int = array_of(taus);
    return e;
}

const char* scheme_name(suite::BlockScheme scheme)
{
    switch (scheme) {
    case suite::BlockScheme::moving: return "moving";
    case suite::BlockScheme::circular: return "circular";
    case suite::BlockScheme::stationary: break;
    }
    return "stationary";
}

ChainError from_bootstrap(const suite::BlockBootstrapResult& r, const suite::BlockBootstrapOptions& options)
{
    ChainError e = common("block_bootstrap", r);
    e.replicas = 1;
    e.confidence = options.confidence;
    e.lower = r.lower;
    e.upper = r.upper;
    e.block_length = r.block_length;
    e.block_scheme = scheme_name(options.scheme);
    e.resample_means = array_of(r.resample_means);
    return e;
}

// The keyword options of one method, taken out one by one; any left over
// is a TypeError naming the method's options.
class Options {
public:
    Options(std::string method, const py::kwargs& given, std::set<std::string> known)
        : method_(std::move(method)), known_(std::move(known))
    {
        for (const auto& [key, value] : given) {
            const std::string name = py::str(key);
            if (known_.count(name) == 0) {
                std::string names;
                for (const std::string& k : known_) {
                    names += (names.empty() ? "" : ", ") + k;
                }
                throw py::type_error("chain_error(method=\"" + method_ + "\") takes no option " + name +
                                     "; its options are " + names);
            }
            given_[name] = py::reinterpret_borrow<py::object>(value);
        }
    }

    bool has(const std::string& name) const { return given_.count(name) != 0 && !given_.at(name).is_none(); }

    double real(const std::string& name, double fallback) const
    {
        if (!has(name)) {
            return fallback;
        }
        const py::object& value = given_.at(name);
        if (PyBool_Check(value.ptr()) || !PyNumber_Check(value.ptr())) {
            throw py::type_error(name + " must be a number");
        }
        return value.cast<double>();
    }

    std::int64_t integer(const std::string& name, std::int64_t fallback) const
    {
        if (!has(name)) {
            return fallback;
        }
        try {
            return given_.at(name).cast<Integer>().value;
        } catch (const py::cast_error&) {
            throw py::type_error(name + " must be an int");
        }
    }

    std::size_t count(const std::string& name, std::size_t fallback) const
    {
        const std::int64_t value = integer(name, static_cast<std::int64_t>(fallback));
        if (value < 0) {
            throw py::value_error(name + " must not be negative, not " + std::to_string(value));
        }
        return static_cast<std::size_t>(value);
    }

    unsigned threads() const
    {
        return thread_count(has("threads") ? std::optional(Integer{integer("threads", 1)}) : std::nullopt);
    }

    // One of `choices`, by name.
    template <class Choice>
    Choice choice(const std::string& name, const std::vector<std::pair<const char*, Choice>>& choices,
                  Choice fallback) const
    {
        if (!has(name)) {
            return fallback;
        }
        const py::object& value = given_.at(name);
        if (!py::isinstance<py::str>(value)) {
            throw py::type_error(name + " must be a str");
        }
        const std::string text = value.cast<std::string>();
        std::string names;
        for (const auto& [choice_name, choice] : choices) {
            if (text == choice_name) {
                return choice;
            }
            names += (names.empty() ? "\"" : ", \"") + std::string(choice_name) + "\"";
        }
        throw py::value_error(name + " must be one of " + names + ", not \"" + text + "\"");
    }

private:
    std::string method_;
    std::set<std::string> known_;
    std::map<std::string, py::object> given_;
};

ChainError gamma_error(const Doubles& values, const Options& options)
{
    suite::GammaOptions gamma;
    gamma.s_factor = options.real("s_factor", gamma.s_factor);
    gamma.max_lag = options.count("max_lag", 0);
    gamma.lags = options.choice<suite::LagSums>("lag_sums",
                                                {{"automatic", suite::LagSums::automatic},
                                                 {"direct", suite::LagSums::direct},
                                                 {"fourier", suite::LagSums::fourier}},
                                                suite::LagSums::automatic);
    gamma.threads = options.threads();
    // Rows of a 2-D array are replicas of one observable.
    const std::size_t rows = values.ndim() == 2 ? static_cast<std::size_t>(values.shape(0)) : 1;
    std::vector<double> data(values.data(), values.data() + values.size());
    const suite::GammaResult result = interruptible_call([data = std::move(data), rows, gamma] {
        const std::size_t length = data.size() / rows;
        std::vector<std::span<const double>> replicas;
        for (std::size_t r = 0; r < rows; ++r) {
            replicas.push_back(std::span(data).subspan(r * length, length));
        }
        return suite::gamma_analysis(std::span<const std::span<const double>>(replicas), gamma);
    });
    return from_gamma(result);
}

ChainError binning_error(const Doubles& values, const Options& options)
{
    const double confidence = options.real("confidence", 0.95);
    // Rows of a 2-D array are replicas: each row's bins, merged.
    const std::size_t rows = values.ndim() == 2 ? static_cast<std::size_t>(values.shape(0)) : 1;
    std::vector<double> data(values.data(), values.data() + values.size());
    const suite::BinningResult result = interruptible_call([data = std::move(data), rows, confidence] {
        const std::size_t length = data.size() / rows;
        suite::BinningAnalysis all;
        all.add(std::span(data).first(length));
        for (std::size_t r = 1; r < rows; ++r) {
            suite::BinningAnalysis replica;
            replica.add(std::span(data).subspan(r * length, length));
            all.merge(replica);
        }
        return all.result(confidence);
    });
    return from_binning(result, rows);
}

ChainError bootstrap_error(const Doubles& values, const Options& options)
{
    if (values.ndim() != 1) {
        throw py::value_error("method=\"block_bootstrap\" resamples one chain: values must be 1-D, not 2-D "
                              "(for replicas, take method=\"gamma\" or \"binning\")");
    }
    suite::BlockBootstrapOptions bootstrap;
    bootstrap.scheme = options.choice<suite::BlockScheme>("block_scheme",
                                                          {{"moving", suite::BlockScheme::moving},
                                                           {"circular", suite::BlockScheme::circular},
                                                           {"stationary", suite::BlockScheme::stationary}},
                                                          bootstrap.scheme);
    bootstrap.block_length = options.count("block_length", 0);
    bootstrap.resamples = options.count("resamples", bootstrap.resamples);
    bootstrap.confidence = options.real("confidence", bootstrap.confidence);
    bootstrap.threads = options.threads();
    suite::UniformEngine engine(options.integer("seed", 0));
    std::vector<double> data(values.data(), values.data() + values.size());
    const suite::BlockBootstrapResult result =
        interruptible_call([data = std::move(data), bootstrap, engine]() mutable {
            return suite::block_bootstrap(data, bootstrap, engine);
        });
    return from_bootstrap(result, bootstrap);
}

ChainError chain_error(const py::object& values, const std::string& method, const py::kwargs& given)
{
    if (method != "gamma" && method != "binning" && method != "block_bootstrap") {
        throw py::value_error("method must be \"gamma\", \"binning\" or \"block_bootstrap\", not \"" + method + "\"");
    }
    const int ndim = py::module_::import("numpy").attr("ndim")(values).cast<int>();
    const Doubles chains = real_array(values, ndim == 2 ? 2 : 1, true);
    if (method == "gamma") {
        return gamma_error(chains, Options(method, given, {"s_factor", "max_lag", "lag_sums", "threads"}));
    }
    if (method == "binning") {
        return binning_error(chains, Options(method, given, {"confidence"}));
    }
    return bootstrap_error(chains, Options(method, given, {"block_scheme", "block_length", "resamples",
                                                           "confidence", "seed", "threads"}));
}

void add_chunk(suite::BinningAnalysis& analysis, const py::object& values)
{
    const Doubles chunk = real_array(values, 1, true);
    std::vector<double> data(chunk.data(), chunk.data() + chunk.size());
    // The worker adds to a copy, which replaces the analysis once whole: an
    // interrupted add leaves it as it was.
    analysis = interruptible_call([data = std::move(data), copy = analysis]() mutable {
        copy.add(data);
        return copy;
    });
}

ChainError binning_result(const suite::BinningAnalysis& analysis, double confidence)
{
    if (analysis.count() < 2) {
        throw py::value_error("the binning analysis needs at least 2 values, not " +
                              std::to_string(analysis.count()));
    }
    return from_binning(analysis.result(confidence), std::nullopt);
}

std::string repr(const ChainError& e)
{
    std::ostringstream out;
    out.precision(6);
    out << "ChainError(method='" << e.method << "', mean=" << e.mean << ", error=" << e.error
        << ", tau_int=" << e.tau_int << " +- " << e.tau_int_error << ", count=" << e.count << ")";
    return out.str();
}

}  // namespace

void add_chain_errors(py::module_& module)
{
    using namespace pybind11::literals;
    py::class_<ChainError>(module, "ChainError",
                           "The error of the mean of a correlated chain, and the details of the method that "
                           "found it\n(None for what another method gives).")
        .def_readonly("method", &ChainError::method)
        .def_readonly("count", &ChainError::count, "N, all values")
        .def_readonly("replicas", &ChainError::replicas)
        .def_readonly("mean", &ChainError::mean)
        .def_readonly("error", &ChainError::error, "the error of the mean")
        .def_readonly("error_of_error", &ChainError::error_of_error)
        .def_readonly("tau_int", &ChainError::tau_int, "the integrated autocorrelation time (1/2 for i.i.d.)")
        .def_readonly("tau_int_error", &ChainError::tau_int_error)
        .def_readonly("effective_samples", &ChainError::effective_samples, "N / (2 tau_int)")
        .def_readonly("confidence", &ChainError::confidence)
        .def_readonly("lower", &ChainError::lower)
        .def_readonly("upper", &ChainError::upper)
        .def_readonly("window", &ChainError::window, "gamma: the summation window W")
        .def_readonly("window_found", &ChainError::window_found)
        .def_readonly("gamma", &ChainError::gamma, "gamma: Gamma(t), bias-corrected, t = 0 .. min(2W, max lag)")
        .def_readonly("rho", &ChainError::rho, "gamma: rho(t) = Gamma(t) / Gamma(0)")
        .def_readonly("rho_error", &ChainError::rho_error)
        .def_readonly("level", &ChainError::level, "binning: the chosen level j (bins of 2**j values)")
        .def_readonly("plateau_found", &ChainError::plateau_found)
        .def_readonly("bias_corrected", &ChainError::bias_corrected)
        .def_readonly("bin_sizes", &ChainError::bin_sizes, "binning: the bin size of every level")
        .def_readonly("level_errors", &ChainError::level_errors, "binning: the error of the mean at every level")
        .def_readonly("level_error_of_errors", &ChainError::level_error_of_errors)
        .def_readonly("level_tau_int", &ChainError::level_tau_int)
        .def_readonly("block_length", &ChainError::block_length, "block_bootstrap: the block length b used")
        .def_readonly("block_scheme", &ChainError::block_scheme)
        .def_readonly("resample_means", &ChainError::resample_means)
        .def("__repr__", &repr);

    module.def("chain_error", &chain_error, "values"_a, "method"_a = "gamma",
               "The error of the mean of a correlated chain, as a ChainError.\n"
               "method=\"gamma\": the Gamma method; options s_factor=1.5, max_lag (default half the chain),\n"
               "  lag_sums=\"automatic\" | \"direct\" | \"fourier\", threads. A 2-D array's rows are replicas.\n"
               "method=\"binning\": binning with the plateau found by test; option confidence=0.95. A 2-D\n"
               "  array's rows are replicas, binned apart and merged.\n"
               "method=\"block_bootstrap\": block resampling of a 1-D chain; options block_scheme=\n"
               "  \"stationary\" | \"moving\" | \"circular\", block_length (default chosen from the chain),\n"
               "  resamples=1000, confidence=0.95, seed=0, threads.\n"
               "threads defaults to every core this process may use; the results do not depend on it.\n"
               "The GIL is released while it works, and Ctrl-C stops it.");

    py::class_<suite::BinningAnalysis>(module, "BinningAnalysis",
                                       "A binning analysis fed chunk by chunk, in O(log N) memory: any cutting of\n"
                                       "a chain into add() calls gives the same numbers as adding it at once.\n"
                                       "One thread at a time adds to it (adds at the same time lose values).")
        .def(py::init<>())
        .def("add", &add_chunk, "values"_a, "Adds the next values of the chain (a 1-D array).")
        .def("merge", &suite::BinningAnalysis::merge, "other"_a,
             "Adds another, independent chain's analysis, as a replica; values added afterwards continue this "
             "chain.")
        .def_property_readonly("count", &suite::BinningAnalysis::count, "The number of values added.")
        .def("result", &binning_result, "confidence"_a = 0.95, "The analysis of the values so far, a ChainError.")
        .def("__repr__", [](const suite::BinningAnalysis& a) {
            return "<convergence_suite.BinningAnalysis of " + std::to_string(a.count()) + " values>";
        });
}
