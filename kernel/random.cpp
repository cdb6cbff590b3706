#include "random.hpp"

#include <cstdio>
#include <cstdlib>
#include <bit>
#include <cstring>

bool UniformGenerator::seed(std::int64_t seed)
{
    if (seed < 0 || seed > max_seed) {
        return false;
    }
    // The single seed packs the generator's two published seeds as
    // seed = ij * 30082 + kl, which are then split into four small seeds.
    const auto ij = static_cast<std::int32_t>(seed / 30082);
    const auto kl = static_cast<std::int32_t>(seed - 30082 * static_cast<std::int64_t>(ij));
    std::int32_t i = (ij / 177) % 177 + 2;
    std::int32_t j = ij % 177 + 2;
    std::int32_t k = (kl / 169) % 178 + 1;
    std::int32_t l = kl % 169;
    // The generator's published range checks, kept although every seed in
    // range passes them.
    // cppcheck-suppress knownConditionTrueFalse
    if (i < 1 || i > 178 || j < 1 || j > 178 || k < 1 || k > 178 || l < 0 || l > 168
        || (i == 1 && j == 1 && k == 1)) {
        return false;
    }

    // Each lag-table entry collects 24 bits, one per step of a
    // multiplicative (mod 179) and a linear congruential (mod 169) sequence.
    for (std::int32_t ii = 1; ii <= lag_long; ++ii) {
        float s = 0.0f;
        float t = 0.5f;
        for (int bit = 0; bit < 24; ++bit) {
            const std::int32_t m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) {
                s = s + t;
            }
            t = t * 0.5f;
        }
        u[static_cast<std::size_t>(ii)] = s;
    }
    c = 362436.0f / 16777216.0f;
    cd = 7654321.0f / 16777216.0f;
    cm = 16777213.0f / 16777216.0f;
    ui = lag_long;
    uj = lag_short;
    first = 1;
    return true;
}

UniformGenerator::result_type UniformGenerator::operator()()
{
    float uni = u[static_cast<std::size_t>(ui)] - u[static_cast<std::size_t>(uj)];
    if (uni < 0.0f) {
        uni = uni + 1.0f;
    }
    u[static_cast<std::size_t>(ui)] = uni;
    ui = ui - 1;
    if (ui == 0) {
        ui = lag_long;
    }
    uj = uj - 1;
    if (uj == 0) {
        uj = lag_long;
    }
    c = c - cd;
    if (c < 0.0f) {
        c = c + cm;
    }
    uni = uni - c;
    if (uni < 0.0f) {
        uni = uni + 1.0f;
    }
    return uni;
}

UniformGenerator& random_stream()
{
    static UniformGenerator stream;
    return stream;
}

float Random(std::int64_t seed)
{
    UniformGenerator& stream = random_stream();
    if (stream.first == 0 || seed != 0) {
        // A failed write leaves the stream's error flag set; the program
        // reports it when it finishes standard output.
        (void)std::fputs("initializing the Random generator\n", stdout);
        if (!stream.seed(seed)) {
            std::exit(1);
        }
    }
    return stream();
}

// ---------------------------------------------------------------------------
// Bulk drawing in integer units.

namespace {

using plain::unit_mask;

std::uint32_t to_units(float value) { return static_cast<std::uint32_t>(value * 16777216.0f); }
float from_units(std::uint32_t units) { return static_cast<float>(units) * 0x1p-24f; }

// `steps` positions down the ring 1..97.
std::int32_t ring_back(std::int32_t position, std::int32_t steps)
{
    position -= steps % UniformGenerator::lag_long;
    return position <= 0 ? position + UniformGenerator::lag_long : position;
}

}  // namespace

// history_ past the pad and the 97 values set here is written by generate()
// before it is read; clearing its 16 KiB for every drawer would be wasted.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
BulkDrawer::BulkDrawer(const UniformGenerator& g)
    : term_{to_units(g.c), to_units(g.cd), to_units(g.cm)}, ui_(g.ui), uj_(g.uj), first_(g.first),
      extend_(extend_stream_kernel()), extend_indices_(extend_stream_indices_kernel())
{
    std::fill_n(history_.begin(), pad, 0u);
    // The ring from u[ui] down to u[1], then from u[97] down to u[ui + 1].
    std::uint32_t* x = history_.data() + pad;
    for (std::int32_t position = ui_; position >= 1; --position) {
        *x++ = to_units(g.u[static_cast<std::size_t>(position)]);
    }
    for (std::int32_t position = UniformGenerator::lag_long; position > ui_; --position) {
        *x++ = to_units(g.u[static_cast<std::size_t>(position)]);
    }
}

void BulkDrawer::advance(std::size_t n)
{
    std::uint32_t* x = history_.data() + pad;
    std::memmove(x, x + n, UniformGenerator::lag_long * sizeof(std::uint32_t));
    advanced_ = static_cast<std::int32_t>((advanced_ + static_cast<std::int64_t>(n % 97)) % 97);
}

void BulkDrawer::draw(std::uint32_t* out, std::size_t n)
{
    extend_(history_.data() + pad, out, n, &term_);
    advance(n);
}

void BulkDrawer::draw_indices(std::uint32_t* out, std::size_t n, std::uint32_t range)
{
    extend_indices_(history_.data() + pad, out, n, &term_, range);
    advance(n);
}

void BulkDrawer::discard(std::int64_t n)
{
    // Draws thrown away, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, block> scratch;
    while (n > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(block)));
        draw(scratch.data(), part);
        n -= static_cast<std::int64_t>(part);
    }
}

void BulkDrawer::store(UniformGenerator& g) const
{
    const std::int32_t ui = ring_back(ui_, advanced_);
    const std::uint32_t* x = history_.data() + pad;
    for (std::int32_t position = ui; position >= 1; --position) {
        g.u[static_cast<std::size_t>(position)] = from_units(*x++);
    }
    for (std::int32_t position = UniformGenerator::lag_long; position > ui; --position) {
        g.u[static_cast<std::size_t>(position)] = from_units(*x++);
    }
    g.c = from_units(term_.c);
    g.cd = from_units(term_.cd);
    g.cm = from_units(term_.cm);
    g.ui = ui;
    g.uj = ring_back(uj_, advanced_);
    g.first = first_;
}

void draw_units(UniformGenerator& g, std::span<std::uint32_t> out)
{
    BulkDrawer drawer(g);
    for (std::size_t done = 0; done < out.size();) {
        const std::size_t n = std::min(BulkDrawer::block, out.size() - done);
        drawer.draw(out.data() + done, n);
        done += n;
    }
    drawer.store(g);
}

// ---------------------------------------------------------------------------
// Jumps ahead.

namespace {

using Polynomial = std::array<std::uint32_t, StreamJump::degree>;
constexpr std::size_t degree = StreamJump::degree;

// p * z^k for k <= 33: coefficient t moves to t + k; past 96 it wraps with
// z^97 = 1 - z^64, landing at t + k - 97 and t + k - 33, both below 97.
Polynomial times_z_power(const Polynomial& p, std::size_t k)
{
    Polynomial q{};
    for (std::size_t t = 0; t < degree; ++t) {
        if (t + k < degree) {
            q[t + k] += p[t];
        } else {
            q[t + k - degree] += p[t];
            q[t + k - 33] -= p[t];
        }
    }
    return q;
}

// p * p modulo z^97 + z^64 - 1: the full product, then its terms from the
// top down folded with z^t = z^(t-97) - z^(t-33) (t - 33 may still be 97 or
// more, and is folded later).
Polynomial squared(const Polynomial& p)
{
    std::array<std::uint32_t, 2 * degree - 1> full{};
    for (std::size_t i = 0; i < degree; ++i) {
        for (std::size_t j = 0; j < degree; ++j) {
            full[i + j] += p[i] * p[j];
        }
    }
    for (std::size_t t = full.size() - 1; t >= degree; --t) {
        full[t - degree] += full[t];
        full[t - 33] -= full[t];
    }
    Polynomial q;
    std::copy_n(full.begin(), degree, q.begin());
    return q;
}

}  // namespace

StreamJump::StreamJump(std::uint64_t distance) : distance_(distance)
{
    // z^distance from the top bit down: square, and multiply by z for a 1.
    coefficients_[0] = 1;
    for (int bit = 63 - std::countl_zero(distance | 1); bit >= 0; --bit) {
        coefficients_ = squared(coefficients_);
        if (((distance >> bit) & 1) != 0) {
            coefficients_ = times_z_power(coefficients_, 1);
        }
    }
}

void StreamJump::lengthen(std::uint64_t extra)
{
    distance_ += extra;
    for (; extra > 0;) {
        const std::uint64_t k = std::min<std::uint64_t>(extra, 33);
        coefficients_ = times_z_power(coefficients_, static_cast<std::size_t>(k));
        extra -= k;
    }
}

void StreamJump::apply(UniformGenerator& g) const
{
    // The 97 values of the ring in draw order, then 96 more by the
    // recurrence (not drawn: only needed for the combination), and room for
    // a wide loop's last vector.
    std::array<std::uint32_t, 2 * degree - 1 + 32> x{};
    for (std::size_t t = 0; t < degree; ++t) {
        x[t] = to_units(g.u[static_cast<std::size_t>(ring_back(g.ui, static_cast<std::int32_t>(t)))]);
    }
    for (std::size_t t = degree; t < 2 * degree - 1; ++t) {
        x[t] = x[t - degree] - x[t - 33];
    }
    Polynomial next;
    combine_history_kernel()(coefficients_.data(), x.data(), next.data());
    const auto turn = static_cast<std::int32_t>(distance_ % 97);
    const std::int32_t ui = ring_back(g.ui, turn);
    for (std::size_t t = 0; t < degree; ++t) {
        g.u[static_cast<std::size_t>(ring_back(ui, static_cast<std::int32_t>(t)))] = from_units(next[t] & unit_mask);
    }
    g.ui = ui;
    g.uj = ring_back(g.uj, turn);
    const std::uint32_t cd = to_units(g.cd);
    const std::uint32_t cm = to_units(g.cm);
    const auto step = static_cast<std::uint32_t>((distance_ % cm) * cd % cm);
    g.c = from_units(plain::mod_sub(to_units(g.c), step, cm));
}
