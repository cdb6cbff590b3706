#include "suite/metropolis_update.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "stream_drawing.hpp"
#include "update_kernels.hpp"

// Why the fast decisions are metropolis_step()'s decisions.
//
// For a point let s = (x x + y y) + z z. The coordinates are multiples of
// 2^-24 below 1, so each square is a multiple of 2^-48 below 1 (48
// significant bits) and both sums stay below 3 with at most 50 bits: s is
// exact, and P = fl(G(-s) / Z) with G the C library's exp and Z the
// normalisation. metropolis_step()
// accepts when r = fl(P_p / P_c) >= u (p the proposal, c the current point);
// the exact ratio of the weights is rho = exp(s_c - s_p).
//
// (A) Assume |G(x) / e^x - 1| <= lambda = 2^-32 for -3 <= x <= 0, and that
//     the library's log is as good. (That asks for about 2^20 ulp; glibc
//     documents less than one.) Then r = rho (1 + theta) with
//     |theta| <= 2 lambda + 3 eps < 2^-30.9 (two library results and three
//     roundings, eps = 2^-53), whatever Z.
// (B) For u = k 2^-24 > 0, the estimate L of ln u has |L - ln u| <= eta =
//     2^-32.3: with k = 2^e m, m in [1, 2) and m0 = 1 + i/16 <= m < m0 + 1/16
//     (all exact bit manipulations), ln u = (e - 24) ln 2 + ln m0 + ln(1 + q)
//     with q = (m - m0)/m0, |q| < 1/16. The table ln m0 (library, error
//     below 2^-32.5), the degree-8 series of ln(1 + q) (remainder
//     |q|^9/9 < 2^-39, q formed with a rounded 1/m0: 2^-57), (e - 24) ln 2
//     with ln 2 rounded (at most 24 * 2^-54) and a few roundings of numbers
//     below 17 (2^-49 each) stay below eta.
//
// The fast path forms A = fl(s_p + L) (error at most 2^-49) and the
// thresholds hi = fl(A + 2^-26), lo = fl(A - 2^-26), so that
//   hi >= s_p + ln u + 2^-26 - eta - 2^-47.9 and lo <= s_p + ln u - (same).
//   s_c >= hi: rho = e^(s_c - s_p) >= u e^(2^-26 - 2^-32.2), so
//     r >= rho (1 - 2^-30.9) > u: metropolis_step() accepts.
//   s_c < lo: rho < u e^-(2^-26 - 2^-32.2), so r <= rho (1 + 2^-30.9) < u:
//     metropolis_step() rejects.
//   lo <= s_c < hi (u within a relative 2^-25 of rho: for uniform u, below
//     one update in 2^25) is left open, and metropolis_step()'s own expression
// decides. For u = 0, lo = hi = -inf: accepted, as in metropolis_step()
// since r > 0.
// s is never negative, so comparing it with any double gives the same answer
// as comparing their bit patterns read as signed 64-bit integers; the chain
// runs on those.

namespace suite {

namespace {

constexpr std::size_t block_updates = BulkDrawer::block / 4;

Point3 proposal_at(const std::uint32_t* draws, std::size_t update)
{
    const std::uint32_t* d = draws + 4 * update;
    return {UniformEngine::to_double(d[0]), UniformEngine::to_double(d[1]), UniformEngine::to_double(d[2])};
}

std::int64_t square_sum_bits(const Point3& p)
{
    return std::bit_cast<std::int64_t>((p.x * p.x + p.y * p.y) + p.z * p.z);
}

// metropolis_step()'s decision in its own words, for an update the
// estimates leave open.
[[gnu::noinline]] bool step_accepts(const Point3& current, const Point3& proposal, std::uint32_t u_units,
                                    double normalisation)
{
    const double r = gaussian_weight(proposal, normalisation) / gaussian_weight(current, normalisation);
    const double u = UniformEngine::to_double(u_units);
    return r >= u;
}

#if defined(__GNUC__)
#define SUITE_COIN_TOSS(condition) __builtin_expect_with_probability((condition), 1, 0.5)
#else
#define SUITE_COIN_TOSS(condition) (condition)
#endif

// The sequential part: s of the current point against each update's `hi`.
// Whether an update is accepted is a coin toss to a branch predictor, so it
// is a conditional move. The value of s before each update is kept, so that
// the open updates, and which were accepted (before >= hi), can be found
// afterwards, off this chain of dependences.
void decide_quickly(std::int64_t s_current, std::size_t n, const std::int64_t* s, const std::int64_t* hi,
                    std::int64_t* before)
{
    std::int64_t c = s_current;
    for (std::size_t t = 0; t < n; ++t) {
        before[t] = c;
        // Both values loaded, and told that the outcome is a coin toss, the
        // compilers select without a branch (a conditional move on x86-64,
        // csel on aarch64).
        const std::int64_t proposal = s[t];
        c = SUITE_COIN_TOSS(c >= hi[t]) ? proposal : c;
    }
}

// The same decisions one at a time, asking step() where the estimates leave
// an update open. Returns how many were.
std::int64_t decide_carefully(const Point3& incoming, const std::uint32_t* draws, std::size_t n,
                              const std::int64_t* s, const std::int64_t* lo, const std::int64_t* hi,
                              std::uint8_t* accepted, double normalisation)
{
    std::int64_t c = square_sum_bits(incoming);
    std::int64_t at = -1;
    std::int64_t open = 0;
    for (std::size_t t = 0; t < n; ++t) {
        bool accept = c >= hi[t];
        if (!accept && c >= lo[t]) {
            ++open;
            const Point3 current = at < 0 ? incoming : proposal_at(draws, static_cast<std::size_t>(at));
            accept = step_accepts(current, proposal_at(draws, t), draws[4 * t + 3], normalisation);
        }
        if (accept) {
            c = s[t];
            at = static_cast<std::int64_t>(t);
        }
        accepted[t] = accept ? 1 : 0;
    }
    return open;
}

}  // namespace

struct GaussianSweeper::State {
    LogTables tables{};
    PrepareUpdates* prepare;
    AnyOpen* any_open;
    double normalisation;
    std::int64_t open_decisions = 0;

    void run_block(Point3& current, const std::uint32_t* draws, std::size_t updates, std::uint8_t* accepted);
};

GaussianSweeper::GaussianSweeper(double normalisation)
    : state_(std::make_unique<State>(State{{}, prepare_updates_kernel(), any_open_kernel(), normalisation}))
{
    for (std::size_t i = 0; i < 16; ++i) {
        const double m0 = 1.0 + static_cast<double>(i) / 16.0;
        state_->tables.log[i] = std::log(m0);
        state_->tables.inverse[i] = 1.0 / m0;
    }
}

GaussianSweeper::GaussianSweeper(GaussianSweeper&&) noexcept = default;
GaussianSweeper& GaussianSweeper::operator=(GaussianSweeper&&) noexcept = default;
GaussianSweeper::~GaussianSweeper() = default;

double GaussianSweeper::log_estimate(std::uint32_t u_units) const { return plain::log_units(state_->tables, u_units); }

std::int64_t GaussianSweeper::open_decisions() const { return state_->open_decisions; }

double GaussianSweeper::normalisation() const { return state_->normalisation; }

void GaussianSweeper::State::run_block(Point3& current, const std::uint32_t* draws, std::size_t updates,
                                       std::uint8_t* accepted)
{
    // Scratch for one block, each entry written before it is read: clearing
    // 33 KiB per block would be wasted.
    // NOLINTBEGIN(cppcoreguidelines-pro-type-member-init)
    alignas(64) std::array<std::int64_t, block_updates> s;
    alignas(64) std::array<std::int64_t, block_updates> lo;
    alignas(64) std::array<std::int64_t, block_updates> hi;
    alignas(64) std::array<std::int64_t, block_updates> before;
    std::array<std::uint8_t, block_updates> flags;
    // NOLINTEND(cppcoreguidelines-pro-type-member-init)
    prepare(tables, draws, updates, {s.data(), lo.data(), hi.data()});
    decide_quickly(square_sum_bits(current), updates, s.data(), hi.data(), before.data());
    const bool open = any_open(updates, before.data(), lo.data(), hi.data());
    if (open) [[unlikely]] {
        open_decisions +=
            decide_carefully(current, draws, updates, s.data(), lo.data(), hi.data(), flags.data(), normalisation);
    }
    const auto is_accepted = [&](std::size_t t) { return open ? flags[t] != 0 : before[t] >= hi[t]; };
    // The current point is the last accepted proposal, if any.
    for (std::size_t t = updates; t-- > 0;) {
        if (is_accepted(t)) {
            current = proposal_at(draws, t);
            break;
        }
    }
    if (accepted != nullptr) {
        for (std::size_t t = 0; t < updates; ++t) {
            accepted[t] = is_accepted(t) ? 1 : 0;
        }
    }
}

void GaussianSweeper::run(Point3& current, std::span<const std::uint32_t> draws, std::span<std::uint8_t> accepted)
{
    const std::size_t updates = draws.size() / 4;
    for (std::size_t done = 0; done < updates;) {
        const std::size_t n = std::min(block_updates, updates - done);
        state_->run_block(current, draws.data() + 4 * done, n, accepted.empty() ? nullptr : accepted.data() + done);
        done += n;
    }
}

void GaussianSweeper::sweep(Point3& current, std::int64_t steps, UniformEngine& engine)
{
    draw_unit_blocks(engine, 4 * steps, BulkDrawer::block, [&](std::span<const std::uint32_t> block) {
        state_->run_block(current, block.data(), block.size() / 4, nullptr);
    });
}

}  // namespace suite
