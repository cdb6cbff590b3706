// The run script's helper for everything after the programs:
//   suite_report summary FOLDER   writes FOLDER/summary.md from the tables in
//                                 FOLDER and prints it;
//   suite_report constants        prints the exact values as gnuplot
//                                 assignments for the figure scripts.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "summary.hpp"

namespace {

int usage()
{
    (void)std::fputs("usage: suite_report summary FOLDER | suite_report constants\n", stderr);
    return 2;
}

int write_summary(const std::filesystem::path& folder)
{
    const std::string text = markdown(summarise_folder(folder));
    const std::filesystem::path path = folder / "summary.md";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        (void)std::fprintf(stderr, "suite_report: cannot write %s\n", path.string().c_str());
        return 1;
    }
    const bool printed = std::fputs(text.c_str(), stdout) != EOF;
    return printed && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "summary" && argc == 3) {
            return write_summary(argv[2]);
        }
        if (command == "constants" && argc == 2) {
            const bool printed = std::printf("%s\n", gnuplot_constants().c_str()) >= 0;
            return printed && std::fflush(stdout) == 0 ? 0 : 1;
        }
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "suite_report: %s\n", error.what());
        return 1;
    }
    return usage();
}
