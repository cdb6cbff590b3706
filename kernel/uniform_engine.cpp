#include "suite/uniform_engine.hpp"

#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>

#include "stream_drawing.hpp"

namespace suite {

void UniformEngine::seed(std::int64_t seed)
{
    if (seed < 0 || seed > max_seed) {
        throw std::invalid_argument("seed " + std::to_string(seed) + " is outside 0 to " + std::to_string(max_seed));
    }
    // The single seed packs the generator's two published seeds as
    // seed = ij * 30082 + kl, which are then split into four small seeds
    // (every seed in range gives four inside the published ranges).
    const auto ij = static_cast<std::int32_t>(seed / 30082);
    const auto kl = static_cast<std::int32_t>(seed - 30082 * static_cast<std::int64_t>(ij));
    std::int32_t i = (ij / 177) % 177 + 2;
    std::int32_t j = ij % 177 + 2;
    std::int32_t k = (kl / 169) % 178 + 1;
    std::int32_t l = kl % 169;

    // Each lag-table entry collects 24 bits, most significant first, one
    // per step of a multiplicative (mod 179) and a linear congruential
    // (mod 169) sequence: the historic sum of 0.5, 0.25, ... in units.
    for (std::uint32_t& entry : lag_) {
        std::uint32_t s = 0;
        for (int bit = 23; bit >= 0; --bit) {
            const std::int32_t m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) {
                s |= std::uint32_t{1} << bit;
            }
        }
        entry = s;
    }
    c_ = 362436;
    ui_ = lag_long - 1;
    uj_ = lag_short - 1;
}

void UniformEngine::discard(unsigned long long n)
{
    // Short skips draw; longer ones jump, at the cost of about 20000 draws.
    if (n < 20000) {
        BulkDrawer drawer(*this);
        drawer.discard(static_cast<std::int64_t>(n));
        drawer.store(*this);
    } else {
        EngineJump(n).apply(*this);
    }
}

void UniformEngine::generate(std::span<result_type> out)
{
    BulkDrawer drawer(*this);
    for (std::size_t done = 0; done < out.size();) {
        const std::size_t n = std::min(BulkDrawer::block, out.size() - done);
        drawer.draw(out.data() + done, n);
        done += n;
    }
    drawer.store(*this);
}

namespace {

// Plain decimal numbers separated by white space for the span of one
// state's text, whatever flags the caller's stream had; they are restored
// however the text ends.
class DecimalText {
public:
    explicit DecimalText(std::ios_base& stream)
        : stream_(stream), saved_(stream.flags(std::ios::dec | std::ios::skipws))
    {
        stream.width(0);
    }
    ~DecimalText() { stream_.flags(saved_); }
    DecimalText(const DecimalText&) = delete;
    DecimalText& operator=(const DecimalText&) = delete;
    DecimalText(DecimalText&&) = delete;
    DecimalText& operator=(DecimalText&&) = delete;

private:
    std::ios_base& stream_;
    std::ios::fmtflags saved_;
};

}  // namespace

std::ostream& operator<<(std::ostream& out, const UniformEngine& engine)
{
    const DecimalText decimal(out);
    out << engine.c_ << ' ' << engine.ui_ << ' ' << engine.uj_;
    for (const std::uint32_t entry : engine.lag_) {
        out << ' ' << entry;
    }
    return out;
}

std::istream& operator>>(std::istream& in, UniformEngine& engine)
{
    const DecimalText decimal(in);
    UniformEngine read;
    in >> read.c_ >> read.ui_ >> read.uj_;
    for (std::uint32_t& entry : read.lag_) {
        in >> entry;
    }
    // The two lag positions always stand 64 apart on the ring.
    constexpr std::size_t lags = UniformEngine::lag_long;
    bool valid = in && read.c_ < UniformEngine::c_modulus && read.ui_ < lags && read.uj_ < lags &&
                 (read.ui_ + lags - read.uj_) % lags == lags - UniformEngine::lag_short;
    for (const std::uint32_t entry : read.lag_) {
        valid = valid && entry <= UniformEngine::unit_mask;
    }
    if (valid) {
        engine = read;
    } else {
        in.setstate(std::ios::failbit);
    }
    return in;
}

}  // namespace suite
