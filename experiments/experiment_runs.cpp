#include "experiment_runs.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "historic_estimators.hpp"
#include "historic_quadrature.hpp"
#include "suite/estimators.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"
#include "usable_cores.hpp"

namespace {

using suite::Point3;
using suite::UniformEngine;

// The largest number of Metropolis updates between samples.
using suite::limits::max_updates_per_sample;

// Deviates of the engine drawn in bulk (the same values, in the same order,
// as one call at a time), handed out one at a time.
class BulkDeviates {
public:
    // The buffer is written by generate() before it is read.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    explicit BulkDeviates(UniformEngine& engine) : engine_(engine) {}

    double operator()()
    {
        if (next_ == buffer_.size()) {
            engine_.generate(buffer_);
            next_ = 0;
        }
        return UniformEngine::to_double(buffer_[next_++]);
    }

private:
    static constexpr std::size_t size = std::size_t{3} * 1024;  // three coordinates a point
    UniformEngine& engine_;
    std::array<UniformEngine::result_type, size> buffer_;
    std::size_t next_ = size;
};

// Uniform Monte Carlo: for each counter value i = first, first + 1, ...,
// add one sample to a running sum from 0 and hand on i and sum / i. The
// counter is the divisor, so a run that starts at 2 divides k samples by
// k + 1. Only as many deviates are drawn as the samples take.
template <class Sample>
void running_means_of(std::int64_t first, std::int64_t rows, RowSink& sink, Sample&& sample)
{
    double sum = 0.0;
    for (std::int64_t i = first; i < first + rows; ++i) {
        sum = sum + sample();
        const double mean = sum / static_cast<double>(i);
        sink.row(i, std::span(&mean, 1));
    }
}

void montecarlo1d(const RunSettings& settings, RowSink& sink)
{
    UniformEngine engine(settings.seed);
    running_means_of(2, settings.rows, sink, [&] { return sine_pi(engine.next_double()); });
}

template <class Integrand>
void uniform_cube(const RunSettings& settings, RowSink& sink, Integrand&& f)
{
    UniformEngine engine(settings.seed);
    BulkDeviates deviates(engine);
    running_means_of(1, settings.rows, sink, [&] {
        Point3 p;
        suite::draw_point(p, deviates);
        return f(p);
    });
}

void montecarlo3d(const RunSettings& settings, RowSink& sink) { uniform_cube(settings, sink, cubic_polynomial); }

void montecarlo3d_weighted(const RunSettings& settings, RowSink& sink)
{
    uniform_cube(settings, sink, weighted_moment);
}

// Row k is for n = 2^k intervals of [0, 1].
void quadrature(const RunSettings& settings, RowSink& sink)
{
    constexpr double a = 0.0;
    constexpr double b = 1.0;
    const std::int64_t last = std::int64_t{1} << settings.rows;
    for (std::int64_t n = 2; n <= last; n = n * 2) {
        const historic::ThreeRules rules = historic::three_rules(sine_pi, a, b, n);
        const std::array<double, 3> estimates = {rules.rectangle, rules.trapezoid, rules.simpson_weighted};
        sink.row(n, estimates);
    }
}

// One value of the observable after every sweep of K updates; the third
// column traces the chain's y.
void metropolis(const RunSettings& settings, RowSink& sink)
{
    UniformEngine engine(settings.seed);
    Point3 current;
    suite::draw_point(current, engine);
    suite::GaussianSweeper sampler(weight_normalisation);
    double sum = 0.0;
    for (std::int64_t i = 1; i <= settings.rows; ++i) {
        sampler.sweep(current, settings.updates_per_sample, engine);
        sum = sum + moment_observable(current);
        const std::array<double, 2> row = {sum / static_cast<double>(i), current.y};
        sink.row(i, row);
    }
}

// The same chain, with the ten-block jackknife error of the running mean
// over all values so far after every sample.
void metropolis_jackknife(const RunSettings& settings, RowSink& sink)
{
    const auto n = static_cast<std::size_t>(settings.rows);
    std::vector<double> values(n);
    // prefix[k]: the running sum of the first k values, from 0.
    std::vector<double> prefix(n + 1);
    UniformEngine engine(settings.seed);
    Point3 current;
    suite::draw_point(current, engine);
    suite::GaussianSweeper sampler(weight_normalisation);
    suite::GrowingJackknifeSums jackknife;
    double sum = 0.0;
    for (std::size_t i = 1; i <= n; ++i) {
        sampler.sweep(current, settings.updates_per_sample, engine);
        const double v = moment_observable(current);
        values[i - 1] = v;
        sum = sum + v;
        prefix[i] = sum;
        const double mean = sum / static_cast<double>(i);
        const auto& sums = jackknife.leave_one_out_sums(std::span(values).first(i), std::span(prefix).first(i + 1));
        const std::array<double, 2> row = {mean, historic::jackknife_error_from_sums(sums, static_cast<std::int32_t>(i), mean)};
        sink.row(static_cast<std::int64_t>(i), row);
    }
}

// The chain of the bootstrap experiment: values[0] = f(point) for the
// initial point, and for each later row N one sweep made after row N-1's
// (N-1) M resample draws, which are jumped over; values[N-1] = f(point).
// `engine` starts just after the initial point was drawn, which is where row
// 1's draws begin. It grows a batch of rows at a time.
class BootstrapChain {
public:
    BootstrapChain(const Point3& point, std::int64_t steps, std::size_t resamples, UniformEngine& engine)
        : point_(point), steps_(steps), resamples_(resamples), engine_(engine)
    {
    }

    // values[first - 1 .. last - 1] for rows first to last, in order from row 1.
    void grow(std::span<double> values, std::size_t first, std::size_t last)
    {
        for (std::size_t row = first; row <= last; ++row) {
            if (row >= 2) {
                past_row_.lengthen(resamples_);
                past_row_.apply(engine_);
                sampler_.sweep(point_, steps_, engine_);
            }
            values[row - 1] = moment_observable(point_);
        }
    }

private:
    Point3 point_;
    std::int64_t steps_;
    std::size_t resamples_;
    UniformEngine& engine_;
    suite::GaussianSweeper sampler_{weight_normalisation};
    suite::EngineJump past_row_{0};
};

// A chain grown by one point per row, with the bootstrap interval of its
// mean. The rows go in batches of about 2^26 resample draws (a few hundredths
// of a second), and at least a row per thread, each handed on before the
// next begins, so that a sink that stops the run stops it soon: first the
// batch's chain points, jumping over
// the rows' resample draws; then its rows, on the cores the process may use
// (or the threads asked for), each from its own place in the stream (row N's
// N M draws, then the next point's sweep of 4 K draws).
void metropolis_bootstrap(const RunSettings& settings, RowSink& sink)
{
    constexpr std::uint64_t batch_draws = std::uint64_t{1} << 26;
    const auto rows = static_cast<std::size_t>(settings.rows);
    const suite::BootstrapPlan& plan = historic::bootstrap_plan;
    const std::int64_t gap = 4 * settings.updates_per_sample;
    const unsigned threads = settings.threads != 0 ? settings.threads : usable_cores();
    std::vector<double> values(rows);
    std::vector<suite::BootstrapInterval> intervals(rows);
    UniformEngine engine(settings.seed);
    Point3 point;
    suite::draw_point(point, engine);
    UniformEngine batch_start = engine;  // at the first draw of the batch's first row
    BootstrapChain chain(point, settings.updates_per_sample, plan.resamples, engine);

    // The chain mean re-sums the values from 0 in every row; a running sum
    // makes the same additions in the same order.
    double sum = 0.0;
    for (std::size_t first = 1; first <= rows;) {
        std::size_t last = first;
        std::uint64_t draws = first * plan.resamples;
        while (last < rows && (draws < batch_draws || last - first + 1 < threads)) {
            ++last;
            draws += last * plan.resamples;
        }
        chain.grow(values, first, last);
        suite::bootstrap_intervals(std::span(values).first(last), batch_start, static_cast<std::int64_t>(first), plan,
                                   gap, std::span(intervals).subspan(first - 1, last - first + 1), threads);
        for (std::size_t n = first; n <= last; ++n) {
            sum = sum + values[n - 1];
            const std::array<double, 3> row = {sum / static_cast<double>(n), intervals[n - 1].lower,
                                               intervals[n - 1].upper};
            sink.row(static_cast<std::int64_t>(n), row);
        }
        if (last < rows) {
            suite::EngineJump(draws + (last - first + 1) * static_cast<std::uint64_t>(gap)).apply(batch_start);
        }
        first = last + 1;
    }
}

struct ExperimentRun {
    std::string_view name;
    const char* about;
    void (*run)(const RunSettings&, RowSink&);
};

constexpr std::array<ExperimentRun, 7> runs = {{
    {"montecarlo1d", "Uniform Monte Carlo estimate of the integral of sin(pi x) over [0, 1].", montecarlo1d},
    {"montecarlo3d", "Uniform Monte Carlo estimate of the integral of 3x^2 y + 2z^3 over the unit cube.",
     montecarlo3d},
    {"montecarlo3d_weighted",
     "Uniform Monte Carlo estimate of the integral of exp(-(x^2 + y^2 + z^2)) 128 x^3 y^2 z / 0.416538 over the "
     "unit cube.",
     montecarlo3d_weighted},
    {"quadrature",
     "The rectangle, trapezoid and Simpson-weighted rules for the integral of sin(pi x) over [0, 1]; row k is for "
     "2^k intervals.",
     quadrature},
    {"metropolis",
     "Metropolis estimate of <128 x^3 y^2 z> under the weight exp(-(x^2 + y^2 + z^2)) on the unit cube.",
     metropolis},
    {"metropolis_jackknife", "The Metropolis estimate of <128 x^3 y^2 z> with a ten-block jackknife error.",
     metropolis_jackknife},
    {"metropolis_bootstrap",
     "A Metropolis chain grown by one point per row, with a 100-fold bootstrap interval of its mean.",
     metropolis_bootstrap},
}};

const ExperimentRun& run_of(const Experiment& experiment)
{
    const auto* run = std::find_if(runs.begin(), runs.end(), [&](const ExperimentRun& r) { return r.name == experiment.name; });
    if (run == runs.end()) {
        throw std::invalid_argument("no loop for the experiment " + experiment.name);
    }
    return *run;
}

void check_range(const char* what, std::int64_t value, std::int64_t low, std::int64_t high)
{
    if (value < low || value > high) {
        throw std::invalid_argument(std::string(what) + " " + std::to_string(value) + " is out of range (" +
                                    std::to_string(low) + " to " + std::to_string(high) + ")");
    }
}

}  // namespace

const char* experiment_about(const Experiment& experiment) { return run_of(experiment).about; }

void run_experiment(const Experiment& experiment, const RunSettings& settings, RowSink& sink)
{
    const ExperimentRun& run = run_of(experiment);
    RunSettings checked = settings;
    if (checked.rows == 0) {
        checked.rows = experiment.default_rows;
    }
    check_range("rows", checked.rows, 1, experiment.max_rows);
    check_range("seed", checked.seed, 0, UniformEngine::max_seed);
    check_range("updates per sample", checked.updates_per_sample, 1, max_updates_per_sample);
    run.run(checked, sink);
}
