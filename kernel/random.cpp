#include "random.hpp"

#include <cstdio>
#include <cstdlib>

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
