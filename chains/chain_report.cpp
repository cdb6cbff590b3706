#include "chain_report.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

std::string printed(const char* format, int digits, double value)
{
    std::array<char, 512> text{};
    (void)std::snprintf(text.data(), text.size(), format, digits, value);
    std::string out(text.data());
    // No "-0.00": a value that rounds to zero has no sign.
    if (out.starts_with("-") && out.find_first_not_of("0.", 1) == std::string::npos) {
        out.erase(0, 1);
    }
    return out;
}

// The effective samples to the precision of tau_int: N / (2 tau_int) has
// tau_int's relative error.
std::string effective_samples_text(const MethodReport& report)
{
    const double relative = report.tau_int > 0 ? report.tau_int_error / report.tau_int : 0.0;
    return round_to_error(report.effective_samples, report.effective_samples * relative).value;
}

std::string choice_text(const MethodReport& report)
{
    const std::string choice = std::to_string(report.choice);
    if (report.method == "gamma") {
        return "window W = " + choice;
    }
    if (report.method == "binning") {
        return "level " + choice + ": bins of " + std::to_string(report.bin_size);
    }
    return "blocks of " + choice + " on average";
}

std::string method_title(const std::string& method)
{
    return method == "gamma" ? "Γ-method" : method == "binning" ? "binning" : "block bootstrap";
}

// Characters on the screen: UTF-8 continuation bytes take no room.
std::size_t width(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// A JSON number, or null for what JSON cannot hold.
std::string json_number(const std::string& text) { return text == "nan" || text.find("inf") != std::string::npos ? "null" : text; }

}  // namespace

RoundedPair round_to_error(double value, double error)
{
    if (!std::isfinite(value)) {
        return {printed("%.*g", 1, value), printed("%.*g", 2, error)};
    }
    if (!(error > 0) || !std::isfinite(error)) {
        return {printed("%.*g", 17, value), printed("%.*g", 2, error)};
    }
    // The error's second significant digit is at 10^-decimals; rounding it
    // up to a power of ten (0.0996 to 0.10) moves that digit one place left.
    int decimals = 1 - static_cast<int>(std::floor(std::log10(error)));
    if (std::nearbyint(error * std::pow(10.0, decimals)) >= 100.0) {
        --decimals;
    }
    const double magnitude = std::max(std::abs(value), error);
    if (decimals >= 0 && decimals <= 12 && magnitude < 1e15) {
        return {printed("%.*f", decimals, value), printed("%.*f", decimals, error)};
    }
    if (decimals < 0 && magnitude < 1e15) {
        // Whole numbers rounded to tens, hundreds, ...
        const double unit = std::pow(10.0, -decimals);
        return {printed("%.*f", 0, std::nearbyint(value / unit) * unit), printed("%.*f", 0, std::nearbyint(error / unit) * unit)};
    }
    // Very small or very large: the value in scientific notation down to the
    // same digit.
    const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
    return {printed("%.*e", std::max(exponent + decimals, 0), value), printed("%.*e", 1, error)};
}

std::string text_report(const ChainSource& source, const std::vector<MethodReport>& reports)
{
    const std::string column = source.only_column   ? std::string()
                               : source.column == 0 ? std::string(", last column")
                                                    : ", column " + std::to_string(source.column);
    std::string out = source.name + column + ": " + std::to_string(source.values) + " values\n";
    std::vector<std::vector<std::string>> rows = {{"", "mean ± error", "τ_int ± error", "effective samples", "chosen", "naive σ/√N"}};
    for (const MethodReport& report : reports) {
        const RoundedPair mean = round_to_error(report.mean, report.error);
        const RoundedPair tau = round_to_error(report.tau_int, report.tau_int_error);
        rows.push_back({method_title(report.method), mean.value + " ± " + mean.error, tau.value + " ± " + tau.error,
                        effective_samples_text(report), choice_text(report),
                        round_to_error(report.mean, report.naive_error).error});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], width(row[c]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - width(row[c]) + 3, ' ');
            }
        }
        out += line + "\n";
    }
    return out;
}

std::string tsv_report(const std::vector<MethodReport>& reports)
{
    std::string out = "# method\tmean\terror\ttau_int\ttau_int_error\teffective_samples\twindow_or_level\tnaive_error\n";
    for (const MethodReport& report : reports) {
        const RoundedPair mean = round_to_error(report.mean, report.error);
        const RoundedPair tau = round_to_error(report.tau_int, report.tau_int_error);
        out += report.method + "\t" + mean.value + "\t" + mean.error + "\t" + tau.value + "\t" + tau.error + "\t" +
               effective_samples_text(report) + "\t" + std::to_string(report.choice) + "\t" +
               round_to_error(report.mean, report.naive_error).error + "\n";
    }
    return out;
}

std::string json_report(const std::vector<MethodReport>& reports)
{
    std::vector<std::string> objects;
    for (const MethodReport& report : reports) {
        const RoundedPair mean = round_to_error(report.mean, report.error);
        const RoundedPair tau = round_to_error(report.tau_int, report.tau_int_error);
        std::string object = R"({"method": ")" + report.method + R"(", "mean": )" + json_number(mean.value) +
                             ", \"error\": " + json_number(mean.error) + ", \"tau_int\": " + json_number(tau.value) +
                             ", \"tau_int_error\": " + json_number(tau.error) +
                             ", \"effective_samples\": " + json_number(effective_samples_text(report)) +
                             ", \"naive_error\": " + json_number(round_to_error(report.mean, report.naive_error).error) +
                             ", ";
        const std::string choice = std::to_string(report.choice);
        if (report.method == "gamma") {
            object += "\"window\": " + choice + "}";
        } else if (report.method == "binning") {
            object += "\"level\": " + choice + ", \"bin_size\": " + std::to_string(report.bin_size) + "}";
        } else {
            object += "\"block_length\": " + choice + "}";
        }
        objects.push_back(object);
    }
    if (objects.size() == 1) {
        return objects.front() + "\n";
    }
    std::string out = "[\n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        out += "  " + objects[i] + (i + 1 < objects.size() ? ",\n" : "\n");
    }
    return out + "]\n";
}
