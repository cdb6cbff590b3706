#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>

// Checks of command-line values shared by the programs and the ensemble
// command (both parse with CLI11).

// A whole number from `low` to `high`, in decimal. CLI11 converts integers
// with strtoll's base 0, which would read 010 as octal and 0x10 as hex and
// skip leading blanks; only decimal digits (and a sign, so that -1 is
// reported as out of range) get through, written back in canonical form.
CLI::Validator whole_number(std::int64_t low, std::int64_t high);
