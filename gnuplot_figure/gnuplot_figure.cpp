#include "gnuplot_figure.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A folder of our own for the data and the script, removed with it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device entropy;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::array<char, 32> name{};
            (void)std::snprintf(name.data(), name.size(), "figure-%08x", static_cast<unsigned>(entropy()));
            std::error_code error;
            path_ = fs::temp_directory_path(error) / name.data();
            if (!error && fs::create_directory(path_, error)) {
                return;
            }
        }
        throw FigureError("cannot make a temporary folder for the figure's data");
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ScratchFolder(ScratchFolder&&) = delete;
    ScratchFolder& operator=(ScratchFolder&&) = delete;
    ~ScratchFolder()
    {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void write_file(const fs::path& path, std::string_view text)
{
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        throw FigureError("cannot write the figure's data to " + path.string());
    }
}

}  // namespace

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

std::string gnuplot_string(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string literal_for_gnuplot(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (std::strchr("_^{}@&~\\", c) != nullptr) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

GnuplotFigure::GnuplotFigure(fs::path figure) : figure_(std::move(figure)), part_(fs::path(figure_) += ".part")
{
    std::FILE* file = std::fopen(part_.string().c_str(), "wb");
    if (file == nullptr) {
        const int error = errno;
        throw FigureError("cannot write the figure " + figure_.string() + ": " + std::strerror(error));
    }
    (void)std::fclose(file);
}

GnuplotFigure::~GnuplotFigure()
{
    std::error_code error;
    fs::remove(part_, error);
}

void GnuplotFigure::draw(const std::string& data_text, const std::string& settings, std::string_view script)
{
    const ScratchFolder scratch;
    const fs::path data = scratch.path() / "figure.dat";
    const fs::path script_file = scratch.path() / "figure.gp";
    write_file(data, data_text);
    write_file(script_file, "data = " + gnuplot_string(data.string()) + "\n" +
                                "figure = " + gnuplot_string(part_.string()) + "\n" + settings + std::string(script));

    // Through the shell (cmd on Windows); the one argument is a path of our
    // own making, quoted, so the shell has nothing of the user's to read.
    const std::string command = "gnuplot \"" + script_file.string() + "\"";
    (void)std::fflush(nullptr);
    const int status = std::system(command.c_str());  // NOLINT(cert-env33-c): see above
    std::error_code error;
    if (status != 0 || fs::file_size(part_, error) == 0 || error) {
        throw FigureError("gnuplot could not draw the figure " + figure_.string());
    }
    fs::rename(part_, figure_, error);
    if (error) {
        throw FigureError("cannot write the figure " + figure_.string() + ": " + error.message());
    }
}
