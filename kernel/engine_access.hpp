#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "suite/uniform_engine.hpp"

namespace suite {

// The engine's state for the library's own bulk loops and jumps, which
// unpack the lag table into a linear history and pack it back.
class EngineAccess {
public:
    static std::array<std::uint32_t, UniformEngine::lag_long>& lag(UniformEngine& e) { return e.lag_; }
    static const std::array<std::uint32_t, UniformEngine::lag_long>& lag(const UniformEngine& e) { return e.lag_; }
    static std::uint32_t& term(UniformEngine& e) { return e.c_; }
    static std::uint32_t term(const UniformEngine& e) { return e.c_; }
    static std::size_t& ui(UniformEngine& e) { return e.ui_; }
    static std::size_t ui(const UniformEngine& e) { return e.ui_; }
    static std::size_t& uj(UniformEngine& e) { return e.uj_; }
    static std::size_t uj(const UniformEngine& e) { return e.uj_; }
    static constexpr std::uint32_t decrement = UniformEngine::c_decrement;
    static constexpr std::uint32_t modulus = UniformEngine::c_modulus;
    static constexpr std::uint32_t unit_mask = UniformEngine::unit_mask;  // reduction mod 2^24
};

// `steps` positions down the ring 0..96 of the lag table.
inline std::size_t ring_back(std::size_t position, std::size_t steps)
{
    steps %= UniformEngine::lag_long;
    return position >= steps ? position - steps : position + UniformEngine::lag_long - steps;
}

}  // namespace suite
