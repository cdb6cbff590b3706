#include "experiment_runs.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "error_checkpoints.hpp"
#include "growing_series.hpp"
#include "suite/estimators.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"
#include "usable_cores.hpp"

namespace {

using suite::Point3;
using suite::UniformEngine;

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

}  // namespace

// The experiments' loops, named by experiments.tsv. Their settings are
// checked and completed: rows is the row count itself.

void run_montecarlo1d(const RunSettings& settings, RowSink& sink)
{
    UniformEngine engine(settings.seed);
    running_means_of(2, settings.rows, sink, [&] { return sine_pi(engine.next_double()); });
}

void run_montecarlo3d(const RunSettings& settings, RowSink& sink) { uniform_cube(settings, sink, cubic_polynomial); }

void run_montecarlo3d_weighted(const RunSettings& settings, RowSink& sink)
{
    uniform_cube(settings, sink, weighted_moment);
}

// Row k is for n = 2^k intervals of [0, 1].
void run_quadrature(const RunSettings& settings, RowSink& sink)
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
void run_metropolis(const RunSettings& settings, RowSink& sink)
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
void run_metropolis_jackknife(const RunSettings& settings, RowSink& sink)
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

// A chain grown by one point per row, with the bootstrap interval of its
// mean. The rows go in batches of about 2^26 resample draws (a few hundredths
// of a second), and at least a row per thread, each handed on before the
// next begins, so that a sink that stops the run stops it soon: first the
// batch's chain points, jumping over
// the rows' resample draws; then its rows, on the cores the process may use
// (or the threads asked for), each from its own place in the stream (row N's
// N M draws, then the next point's sweep of 4 K draws).
void run_metropolis_bootstrap(const RunSettings& settings, RowSink& sink)
{
    constexpr std::uint64_t batch_draws = std::uint64_t{1} << 26;
    const auto rows = static_cast<std::size_t>(settings.rows);
    const suite::BootstrapPlan& plan = historic::bootstrap_plan;
    const std::int64_t gap = 4 * settings.updates_per_sample;
    const unsigned threads = settings.threads != 0 ? static_cast<unsigned>(settings.threads) : usable_cores();
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

namespace {

// The stream the resamples of a coverage chain draw from: the chain's own,
// 2^56 draws on, where no chain of the suite's lengths reaches.
UniformEngine resampling_engine(const UniformEngine& chain)
{
    UniformEngine resampling = chain;
    resampling.discard(std::uint64_t{1} << 56);
    return resampling;
}

// A coverage chain: values from `next` until the last checkpoint, the row of
// every error method at each checkpoint N = base^k, k = 1 .. rows.
template <class NextValue>
void checkpoint_rows(std::int64_t rows, std::int64_t base, const UniformEngine& engine, RowSink& sink,
                     NextValue&& next)
{
    std::int64_t last = 1;
    for (std::int64_t k = 0; k < rows; ++k) {
        last *= base;
    }
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(last));
    ErrorCheckpoints errors(resampling_engine(engine));
    for (std::int64_t n = base; n <= last; n *= base) {
        while (static_cast<std::int64_t>(values.size()) < n) {
            values.push_back(next());
        }
        sink.row(n, errors.row(values));
    }
}

// x_t = phi x_{t-1} + u_t, u_t = sqrt(3) ((2 units + 1) 2^-24 - 1): the draw's
// midpoint mapped onto (-sqrt 3, sqrt 3), so that the 2^24 innovations lie
// symmetric about 0, mean exactly 0 and variance 1 - 2^-48; x_0 = u_0 /
// sqrt(1 - phi^2) starts the chain at its stationary variance. Only
// arithmetic and square roots: the same chain everywhere.
void ar1_chain(double phi, const RunSettings& settings, RowSink& sink)
{
    UniformEngine engine(settings.seed);
    const double root_three = std::sqrt(3.0);
    const auto innovation = [&] {
        return root_three * ((2.0 * static_cast<double>(engine()) + 1.0) * 0x1p-24 - 1.0);
    };
    const UniformEngine start = engine;
    double x = innovation() / std::sqrt(1.0 - phi * phi);
    bool first = true;
    checkpoint_rows(settings.rows, 2, start, sink, [&] {
        if (!first) {
            x = phi * x + innovation();
        }
        first = false;
        return x;
    });
}

}  // namespace

// AR(1) chains of known mean 0, variance of the mean and tau_int, row k at
// N = 2^k.
void run_ar1_phi05(const RunSettings& settings, RowSink& sink) { ar1_chain(0.5, settings, sink); }
void run_ar1_phi09(const RunSettings& settings, RowSink& sink) { ar1_chain(0.9, settings, sink); }
void run_ar1_phi099(const RunSettings& settings, RowSink& sink) { ar1_chain(0.99, settings, sink); }

// The Metropolis chain of run_metropolis, with every error method at N = 10^k.
void run_metropolis_errors(const RunSettings& settings, RowSink& sink)
{
    UniformEngine engine(settings.seed);
    Point3 current;
    suite::draw_point(current, engine);
    suite::GaussianSweeper sampler(weight_normalisation);
    const UniformEngine start = engine;
    checkpoint_rows(settings.rows, 10, start, sink, [&] {
        sampler.sweep(current, settings.updates_per_sample, engine);
        return moment_observable(current);
    });
}

void run_experiment(const Experiment& experiment, const RunSettings& settings, RowSink& sink)
{
    experiment.run(settings.completed_for(experiment), sink);
}
