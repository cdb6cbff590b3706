#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

// Options shared by the programs and the ensemble command (both parse with
// CLI11): how a value is read and how a mistake is worded. The ranges are
// not checked here: RunSettings::validate() owns them.

// A whole number in decimal. CLI11 converts integers with strtoll's base 0,
// which would read 010 as octal and 0x10 as hex and skip leading blanks;
// only decimal digits (and a sign, so that -1 reaches the range check) get
// through, written back in canonical form. An empty value passes, for
// missing_or_repeated() to name.
CLI::Validator whole_number();

// An option that takes one value. It is parsed leniently, so that a value
// left out or an option given twice reaches missing_or_repeated() instead
// of a message of CLI11's.
template <class T>
CLI::Option* value_option(CLI::App& app, const std::string& name, T& target, const std::string& description)
{
    return app.add_option(name, target, description)
        ->expected(0, 1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// After a parse: "--rows needs a value" or "--rows is given more than once"
// for the first value option of `app` left without its value or given
// twice; nothing when every one was given right.
std::optional<std::string> missing_or_repeated(const CLI::App& app);
