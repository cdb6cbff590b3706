#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

// A figure drawn by gnuplot in a child process, from a script built into the
// program and data it writes into a scratch folder of its own.

// Whether the program `name` (without ".exe", which Windows adds) is an
// executable file in one of PATH's folders.
bool on_path(const std::string& name);

// A gnuplot string literal: in single quotes, a quote is written twice.
std::string gnuplot_string(const std::string& text);

// Text as gnuplot's enhanced mode shows it literally (an underscore is not a
// subscript).
std::string literal_for_gnuplot(const std::string& text);

// A figure that cannot be drawn: a file that cannot be written, gnuplot
// failing.
class FigureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The figure's file, claimed when made: its sibling FIGURE.part must be
// writable, so a run that could not draw it fails at once. The figure is
// drawn into FIGURE.part and renamed over `figure` only when gnuplot
// succeeds, so an older figure survives any failure.
class GnuplotFigure {
public:
    explicit GnuplotFigure(std::filesystem::path figure);
    GnuplotFigure(const GnuplotFigure&) = delete;
    GnuplotFigure& operator=(const GnuplotFigure&) = delete;
    ~GnuplotFigure();

    // Runs gnuplot on `script` after `settings` and two variables of its
    // own: `data`, a file holding `data_text`, and `figure`, the file to
    // write. Throws FigureError.
    void draw(const std::string& data_text, const std::string& settings, std::string_view script);

private:
    std::filesystem::path figure_;
    std::filesystem::path part_;
};
