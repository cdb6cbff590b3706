#include "option_checks.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>

CLI::Validator whole_number()
{
    return {[](std::string& text) -> std::string {
                if (text.empty()) {
                    return {};
                }
                const char* begin = text.data();
                const char* end = begin + text.size();
                std::int64_t value = 0;
                const auto [stop, error] = std::from_chars(begin, end, value);
                if (stop == begin || stop != end) {
                    return "'" + text + "' is not a whole number";
                }
                if (error == std::errc::result_out_of_range) {
                    return text + " is out of range";
                }
                text = std::to_string(value);
                return {};
            },
            "", "whole number"};
}

std::optional<std::string> missing_or_repeated(const CLI::App& app)
{
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_expected_min() != 0 || option->get_expected_max() != 1 || option->count() == 0) {
            continue;
        }
        const std::vector<std::string>& values = option->results();
        if (option->count() > 1) {
            return option->get_name() + " is given more than once";
        }
        if (values.empty() || std::any_of(values.begin(), values.end(), [](const std::string& v) { return v.empty(); })) {
            return option->get_name() + " needs a value";
        }
    }
    return std::nullopt;
}
