#include "chain_figure.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "gnuplot_figure.hpp"

namespace fs = std::filesystem;

// plots/chain_errors.gp, generated into the build.
extern const std::string_view chain_figure_script;

namespace {

std::string number(double value)
{
    std::array<char, 64> text{};
    (void)std::snprintf(text.data(), text.size(), "%.17g", value);
    return text.data();
}

}  // namespace

std::vector<double> tau_int_by_window(const std::vector<double>& rho)
{
    std::vector<double> tau;
    double sum = 0.5;
    for (std::size_t w = 0; w < rho.size(); ++w) {
        sum += w == 0 ? 0.0 : rho[w];
        tau.push_back(sum);
    }
    return tau;
}

double tau_int_error(double tau_int, std::size_t window, double values)
{
    const double spread = static_cast<double>(window) + 0.5 - tau_int;
    return spread > 0 ? 2.0 * tau_int * std::sqrt(spread / values) : 0.0;
}

FigureFile::FigureFile(const fs::path& figure)
{
    if (!on_path("gnuplot")) {
        throw FigureError("--plot needs gnuplot, which is not on PATH (Debian: apt install gnuplot-nox)");
    }
    figure_.emplace(figure);
}

void FigureFile::draw(const FigureData& data)
{
    std::string text;
    for (const suite::BinningLevel& level : data.levels) {
        text += std::to_string(&level - data.levels.data()) + "\t" + std::to_string(level.bin_size) + "\t" +
                number(level.error) + "\t" + number(level.error_of_error) + "\t" + number(level.tau_int) + "\n";
    }
    text += "\n\n";
    const std::vector<double> tau = tau_int_by_window(data.rho);
    for (std::size_t w = 0; w < tau.size(); ++w) {
        text += std::to_string(w) + "\t" + number(tau[w]) + "\t" + number(tau_int_error(tau[w], w, data.values)) + "\n";
    }
    const std::string settings = "title_text = " + gnuplot_string(data.title) + "\n" +
                                 "chosen_level = " + std::to_string(data.chosen_level) + "\n" +
                                 "binning_error = " + number(data.binning_error) + "\n" +
                                 "binning_error_error = " + number(data.binning_error_error) + "\n" +
                                 "chosen_window = " + std::to_string(data.window) + "\n" +
                                 "tau_int = " + number(data.tau_int) + "\n" +
                                 "gamma_error = " + number(data.gamma_error) + "\n";
    figure_->draw(text, settings, chain_figure_script);
}
