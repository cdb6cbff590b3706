#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gnuplot_figure.hpp"
#include "suite/chain_errors.hpp"

// The figure of chain_errors --plot, drawn by gnuplot from plots/
// chain_errors.gp (built into the program) in a child process.

// What the figure shows.
struct FigureData {
    std::string title;
    std::vector<suite::BinningLevel> levels;
    std::size_t chosen_level = 0;
    double binning_error = 0;  // at the chosen level, with its bias correction
    double binning_error_error = 0;
    // The Gamma method's rho(t), t = 0, 1, ..., its window, tau_int, error
    // and the chain's length.
    std::vector<double> rho;
    std::size_t window = 0;
    double tau_int = 0;
    double gamma_error = 0;
    double values = 0;
};

// The figure's file, claimed before the chain is read: a run that cannot
// draw it (no gnuplot, a file that cannot be written) fails at once with
// FigureError. An older figure survives any failure.
class FigureFile {
public:
    explicit FigureFile(const std::filesystem::path& figure);

    void draw(const FigureData& data);

private:
    std::optional<GnuplotFigure> figure_;
};

// tau_int(W) = 1/2 + sum_{t=1}^W rho(t) for W = 0 .. rho.size() - 1, and its
// error 2 tau_int(W) sqrt((W + 1/2 - tau_int(W)) / N) (Wolff's estimate,
// zero where the root's argument is negative).
std::vector<double> tau_int_by_window(const std::vector<double>& rho);
double tau_int_error(double tau_int, std::size_t window, double values);
