#include "coverage_figure.hpp"

#include <cstdint>
#include <string_view>

#include "gnuplot_figure.hpp"
#include "whole_file.hpp"

// plots/coverage.gp, generated into the build.
extern const std::string_view coverage_figure_script;

void draw_coverage_figure(const std::filesystem::path& coverage, const std::filesystem::path& figure,
                          const std::string& title, std::int64_t replicas)
{
    GnuplotFigure drawing(figure);
    std::string table;
    if (!read_into(coverage, table)) {
        throw FigureError("cannot read " + coverage.string());
    }
    // One block per method, as gnuplot's `index` counts them (two blank
    // lines apart); the rows come grouped by method, the header first.
    std::string data;
    std::string methods;
    std::string method;
    std::size_t at = table.find('\n');
    while (at != std::string::npos && at + 1 < table.size()) {
        const std::size_t end = table.find('\n', at + 1);
        const std::string_view row(table.data() + at + 1, (end == std::string::npos ? table.size() : end) - at - 1);
        const std::string_view name = row.substr(0, row.find('\t'));
        if (name != method) {
            data += methods.empty() ? "" : "\n\n";
            methods.append(methods.empty() ? "" : " ").append(name);
            method = name;
        }
        data.append(row).append("\n");
        at = end;
    }
    if (methods.empty()) {
        throw FigureError(coverage.string() + " has no rows to draw");
    }
    drawing.draw(data,
                 "methods = " + gnuplot_string(methods) + "\n" + "replicas = " + std::to_string(replicas) + "\n" +
                     "title_text = " + gnuplot_string(title) + "\n",
                 coverage_figure_script);
}
