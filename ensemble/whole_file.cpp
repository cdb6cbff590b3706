#include "whole_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

bool read_into(const fs::path& path, std::string& text)
{
    // A folder opens as a stream on some systems, of a nonsense size.
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    text.resize(static_cast<std::size_t>(std::max<std::streamoff>(size, 0)));
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(in);
}

void write_whole(const fs::path& path, const std::string& text)
{
    fs::path part = path;
    part += ".part";
    // C streams, for errno: a full disk or a file-size limit says so.
    errno = 0;
    std::FILE* out = std::fopen(part.string().c_str(), "wb");
    if (out == nullptr) {
        throw std::runtime_error("cannot write " + part.string() + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
    const int reason = errno;
    const bool closed = std::fclose(out) == 0;
    std::error_code error;
    if (!written || !closed) {
        const int why = !written ? reason : errno;
        fs::remove(part, error);
        throw std::runtime_error("cannot write " + part.string() + ": " + std::strerror(why != 0 ? why : EIO));
    }
    // rename replaces the old file in one step; where the C library's
    // rename will not replace a file, the system's own replacing move does,
    // so that there is never a moment without the file.
    fs::rename(part, path, error);
#ifdef _WIN32
    if (error && MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
        error.clear();
    }
#endif
    if (error) {
        std::error_code ignored;
        fs::remove(part, ignored);
        throw std::runtime_error("cannot write " + path.string() + ": " + error.message());
    }
}
