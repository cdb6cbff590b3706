#include "chain_figure.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

// plots/chain_errors.gp, generated into the build.
extern const std::string_view chain_figure_script;

namespace {

// Whether `name` is an executable file in one of PATH's folders.
bool on_path(const std::string& name)
{
#ifdef _WIN32
    const char separator = ';';
    const std::string file = name + ".exe";
#else
    const char separator = ':';
    const std::string& file = name;
#endif
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "";
    std::size_t at = 0;
    while (at <= folders.size()) {
        const std::size_t end = std::min(folders.find(separator, at), folders.size());
        const fs::path folder = folders.substr(at, end - at);
        std::error_code error;
        if (fs::is_regular_file((folder.empty() ? fs::path(".") : folder) / file, error)) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

// A gnuplot string literal: in single quotes, a quote is written twice.
std::string gnuplot_string(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string number(double value)
{
    char text[64];
    (void)std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A folder of our own for the data and the script, removed with it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device entropy;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            (void)std::snprintf(name, sizeof name, "chain_errors-%08x", static_cast<unsigned>(entropy()));
            std::error_code error;
            path_ = fs::temp_directory_path(error) / name;
            if (!error && fs::create_directory(path_, error)) {
                return;
            }
        }
        throw FigureError("cannot make a temporary folder for the figure's data");
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void write_file(const fs::path& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        throw FigureError("cannot write the figure's data to " + path.string());
    }
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

FigureFile::FigureFile(fs::path figure) : figure_(std::move(figure))
{
    if (!on_path("gnuplot")) {
        throw FigureError("--plot needs gnuplot, which is not on PATH (Debian: apt install gnuplot-nox)");
    }
    part_ = figure_;
    part_ += ".part";
    std::FILE* file = std::fopen(part_.string().c_str(), "wb");
    if (file == nullptr) {
        const int error = errno;
        throw FigureError("cannot write the figure " + figure_.string() + ": " + std::strerror(error));
    }
    (void)std::fclose(file);
}

FigureFile::~FigureFile()
{
    std::error_code error;
    fs::remove(part_, error);
}

void FigureFile::draw(const FigureData& data)
{
    const ScratchFolder scratch;
    const fs::path table = scratch.path() / "figure.dat";
    const fs::path script = scratch.path() / "figure.gp";

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
    write_file(table, text);

    std::string settings = "data = " + gnuplot_string(table.string()) + "\n" +
                           "figure = " + gnuplot_string(part_.string()) + "\n" +
                           "title_text = " + gnuplot_string(data.title) + "\n" +
                           "chosen_level = " + std::to_string(data.chosen_level) + "\n" +
                           "binning_error = " + number(data.binning_error) + "\n" +
                           "binning_error_error = " + number(data.binning_error_error) + "\n" +
                           "chosen_window = " + std::to_string(data.window) + "\n" +
                           "tau_int = " + number(data.tau_int) + "\n" +
                           "gamma_error = " + number(data.gamma_error) + "\n";
    write_file(script, settings + std::string(chain_figure_script));

    // Through the shell (cmd on Windows); the one argument is a path of our
    // own making, quoted.
    const std::string command = "gnuplot \"" + script.string() + "\"";
    (void)std::fflush(nullptr);
    const int status = std::system(command.c_str());
    std::error_code error;
    if (status != 0 || fs::file_size(part_, error) == 0 || error) {
        throw FigureError("gnuplot could not draw the figure " + figure_.string());
    }
    fs::rename(part_, figure_, error);
    if (error) {
        throw FigureError("cannot write the figure " + figure_.string() + ": " + error.message());
    }
}
