#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The figure of a study's coverage.tsv, drawn by gnuplot from plots/
// coverage.gp (built into ensemble): against N, each error method's coverage
// with its Wilson band beside the nominal 68.27 % and the band a perfect
// method would fill with `replicas` replicas, and its mean error over the
// spread of the estimates. `title` is shown as it is. Throws FigureError;
// an older figure survives a failure.
void draw_coverage_figure(const std::filesystem::path& coverage, const std::filesystem::path& figure,
                          const std::string& title, std::int64_t replicas);
