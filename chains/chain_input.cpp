#include "chain_input.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

constexpr std::size_t block_values = 4096;
constexpr std::string_view npy_magic = "\x93NUMPY";

std::string counted(std::int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// `token` as a double, if the whole of it is a decimal number in the C
// locale's notation (with an optional leading '+').
bool parse_number(std::string_view token, double& value, bool& out_of_range)
{
    if (token.size() > 1 && token.front() == '+' && token[1] != '-') {
        token.remove_prefix(1);
    }
#if defined(__cpp_lib_to_chars)
    const char* end = token.data() + token.size();
    const auto [stop, error] = std::from_chars(token.data(), end, value);
    out_of_range = error == std::errc::result_out_of_range;
    return (error == std::errc() || out_of_range) && stop == end;
#else
    // A standard library without from_chars for doubles: strtod, in the C
    // locale that a program has until it calls setlocale.
    if (token.empty() || token.front() == ' ') {
        return false;
    }
    const std::string text(token);
    char* stop = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &stop);
    out_of_range = errno == ERANGE && std::abs(value) > 1.0;
    return stop == text.c_str() + text.size();
#endif
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// What each byte is to a line of text: part of a field, a blank between
// fields, or the start of a comment. A table, for speed.
enum CharClass : unsigned char { field, blank, comment };
constexpr std::array<CharClass, 256> char_classes = [] {
    std::array<CharClass, 256> classes{};
    for (const char c : {' ', '\t', '\r', '\v', '\f'}) {
        classes[static_cast<unsigned char>(c)] = blank;
    }
    classes['#'] = comment;
    return classes;
}();
CharClass class_of(char c) { return char_classes[static_cast<unsigned char>(c)]; }

std::string quoted(std::string_view text)
{
    constexpr std::size_t longest = 40;
    std::string out(1, '\'');
    out.append(text.substr(0, longest)).append(text.size() > longest ? "...'" : "'");
    return out;
}

}  // namespace

ChainInputError::ChainInputError(std::string where, const std::string& problem)
    : std::runtime_error(where.empty() ? problem : where + ": " + problem), where_(std::move(where))
{
}

// ---- text ----

TextChainReader::TextChainReader(ColumnNumber column) : column_(column) { block_.reserve(block_values); }

void TextChainReader::feed(std::string_view bytes, const ChainSink& sink)
{
    std::size_t start = 0;
    if (!partial_line_.empty()) {
        const std::size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            partial_line_.append(bytes);
            return;
        }
        partial_line_.append(bytes.substr(0, newline));
        read_line(partial_line_, sink);
        partial_line_.clear();
        start = newline + 1;
    }
    const char* const data = bytes.data();
    while (start < bytes.size()) {
        const void* found = std::memchr(data + start, '\n', bytes.size() - start);
        if (found == nullptr) {
            partial_line_.assign(data + start, bytes.size() - start);
            return;
        }
        const std::size_t newline = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        read_line(bytes.substr(start, newline - start), sink);
        start = newline + 1;
    }
}

void TextChainReader::finish(const ChainSink& sink)
{
    if (!partial_line_.empty()) {
        read_line(partial_line_, sink);
        partial_line_.clear();
    }
    flush(sink);
}

void TextChainReader::read_line(std::string_view line, const ChainSink& sink)
{
    ++line_;
    if (line_ == 1 && line.starts_with("\xEF\xBB\xBF")) {
        line.remove_prefix(3);  // a byte-order mark
    }
    // The fields up to the chosen one (or all of them, for the last), up to
    // a comment.
    std::string_view chosen;
    std::int64_t fields = 0;
    const char* at = line.data();
    const char* const end = at + line.size();
    while (true) {
        while (at != end && class_of(*at) == blank) {
            ++at;
        }
        if (at == end || class_of(*at) == comment) {
            break;
        }
        const char* const begin = at;
        while (at != end && class_of(*at) == field) {
            ++at;
        }
        ++fields;
        if (column_ == last_column || fields == column_) {
            chosen = std::string_view(begin, static_cast<std::size_t>(at - begin));
            if (fields == column_) {
                break;
            }
        }
    }
    if (fields == 0) {
        return;  // blank or a comment
    }
    const auto where = [this] { return "line " + std::to_string(line_); };
    if (column_ == last_column) {
        if (fields_per_line_ == 0) {
            fields_per_line_ = fields;
        } else if (fields != fields_per_line_) {
            throw ChainInputError(where(), "has " + counted(fields, "field", "fields") + " where the first line of data has " +
                                             std::to_string(fields_per_line_));
        }
    } else if (fields < column_) {
        throw ChainInputError(where(), "has " + counted(fields, "field", "fields") + ", no column " +
                                         std::to_string(column_));
    }
    double value = 0.0;
    bool out_of_range = false;
    if (!parse_number(chosen, value, out_of_range)) {
        throw ChainInputError(where(), quoted(chosen) + " is not a number");
    }
    if (out_of_range) {
        throw ChainInputError(where(), quoted(chosen) + " is beyond the range of a double");
    }
    if (!std::isfinite(value)) {
        throw ChainInputError(where(), quoted(chosen) + " is not a finite number");
    }
    block_.push_back(value);
    ++values_;
    if (block_.size() == block_values) {
        flush(sink);
    }
}

void TextChainReader::flush(const ChainSink& sink)
{
    if (!block_.empty()) {
        sink(block_);
        block_.clear();
    }
}

// ---- .npy ----

namespace {

// The text after `'key':` in the header's dictionary, or empty.
std::string_view dictionary_value(std::string_view header, std::string_view key)
{
    for (const char quote : {'\'', '"'}) {
        const std::string quoted_key = std::string(1, quote).append(key).append(1, quote);
        std::size_t at = header.find(quoted_key);
        if (at == std::string_view::npos) {
            continue;
        }
        at = header.find(':', at + quoted_key.size());
        if (at == std::string_view::npos) {
            return {};
        }
        ++at;
        while (at < header.size() && is_blank(header[at])) {
            ++at;
        }
        return header.substr(at);
    }
    return {};
}

[[noreturn]] void bad_header(const std::string& problem) { throw ChainInputError("header", problem); }

// An unsigned little-endian integer of `size` bytes.
std::uint64_t little_endian(const char* bytes, std::size_t size)
{
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes, size);
    } else {
        for (std::size_t b = 0; b < size; ++b) {
            value |= std::uint64_t{static_cast<unsigned char>(bytes[b])} << (8 * b);
        }
    }
    return value;
}

double element_value(const char* bytes, char kind, std::size_t size)
{
    const std::uint64_t bits = little_endian(bytes, size);
    if (kind == 'f') {
        if (size == 8) {
            return std::bit_cast<double>(bits);
        }
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    }
    if (kind == 'u') {
        return static_cast<double>(bits);
    }
    // Two's complement of `size` bytes: shift the sign bit to the top.
    const unsigned shift = static_cast<unsigned>(64 - 8 * size);
    return static_cast<double>(static_cast<std::int64_t>(bits << shift) >> shift);
}

}  // namespace

NpyChainReader::NpyChainReader(ColumnNumber column) : column_(column) { block_.reserve(block_values); }

void NpyChainReader::feed(std::string_view bytes, const ChainSink& sink)
{
    if (!header_done_) {
        // The magic string, two version bytes, then the header's length in
        // 2 bytes (version 1) or 4 (versions 2 and 3).
        while (!bytes.empty() && (header_size_ == 0 || header_.size() < header_size_)) {
            const std::size_t wanted = header_size_ == 0 ? 12 : header_size_;
            const std::size_t take = std::min(bytes.size(), wanted - header_.size());
            header_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (header_size_ == 0 && header_.size() >= 10) {
                if (!std::string_view(header_).starts_with(npy_magic)) {
                    bad_header("not a .npy file");
                }
                const auto major = static_cast<unsigned char>(header_[6]);
                if (major == 1) {
                    header_size_ = 10 + little_endian(header_.data() + 8, 2);
                } else if (major == 2 || major == 3) {
                    if (header_.size() < 12) {
                        continue;
                    }
                    header_size_ = 12 + little_endian(header_.data() + 8, 4);
                } else {
                    bad_header(".npy version " + std::to_string(major) + " is not one of 1, 2 and 3");
                }
                if (header_.size() > header_size_) {
                    // The 12 bytes read ahead reach into the data.
                    const std::string data = header_.substr(header_size_);
                    header_.resize(header_size_);
                    read_header();
                    read_elements(data, sink);
                }
            }
        }
        if (header_size_ == 0 || header_.size() < header_size_) {
            return;
        }
        if (!header_done_) {
            read_header();
        }
    }
    read_elements(bytes, sink);
}

void NpyChainReader::read_header()
{
    header_done_ = true;
    const std::string_view text = std::string_view(header_).substr(header_[6] == 1 ? 10 : 12);

    const std::string_view descr = dictionary_value(text, "descr");
    if (descr.empty() || (descr.front() != '\'' && descr.front() != '"')) {
        bad_header("no simple 'descr' (structured arrays are not read)");
    }
    const std::string_view type = descr.substr(1, descr.find(descr.front(), 1) - 1);
    if (type.size() < 3 || std::string_view("<|>=").find(type[0]) == std::string_view::npos) {
        bad_header("unknown element type '" + std::string(type) + "'");
    }
    kind_ = type[1];
    std::size_t size = 0;
    const auto [stop, error] = std::from_chars(type.data() + 2, type.data() + type.size(), size);
    const bool known_size = error == std::errc() && stop == type.data() + type.size() &&
                            (kind_ == 'f' ? size == 4 || size == 8
                                          : (kind_ == 'i' || kind_ == 'u') && (size == 1 || size == 2 || size == 4 ||
                                                                                size == 8));
    if (!known_size) {
        bad_header("element type '" + std::string(type) +
                   "' is not one read here: float64, float32 or an integer (convert with .astype('<f8'))");
    }
    if (size > 1 && type[0] != '<' && !(type[0] == '=' && std::endian::native == std::endian::little)) {
        bad_header("big-endian elements ('" + std::string(type) + "') are not read: convert with .astype('<f8')");
    }
    item_size_ = size;

    const std::string_view order = dictionary_value(text, "fortran_order");
    const bool fortran = order.starts_with("True");
    if (!fortran && !order.starts_with("False")) {
        bad_header("no 'fortran_order'");
    }

    std::string_view shape = dictionary_value(text, "shape");
    if (!shape.starts_with("(") || shape.find(')') == std::string_view::npos) {
        bad_header("no 'shape'");
    }
    shape = shape.substr(1, shape.find(')') - 1);
    std::vector<std::int64_t> extents;
    while (!shape.empty()) {
        while (!shape.empty() && (is_blank(shape.front()) || shape.front() == ',')) {
            shape.remove_prefix(1);
        }
        if (shape.empty()) {
            break;
        }
        std::int64_t extent = 0;
        const auto [end, failed] = std::from_chars(shape.data(), shape.data() + shape.size(), extent);
        if (failed != std::errc() || extent < 0) {
            bad_header("a shape that is not a tuple of sizes");
        }
        extents.push_back(extent);
        shape.remove_prefix(static_cast<std::size_t>(end - shape.data()));
    }
    if (extents.empty() || extents.size() > 2) {
        bad_header("a " + std::to_string(extents.size()) + "-dimensional array: a chain is 1-D, or a column of 2-D");
    }
    rows_ = extents[0];
    columns_ = extents.size() == 2 ? extents[1] : 1;
    if (columns_ == 0) {
        rows_ = 0;  // no column to read
    }
    if (extents.size() == 1 && column_ > 1) {
        throw ChainInputError("", "the array is 1-D: it has no column " + std::to_string(column_));
    }
    if (column_ > columns_) {
        throw ChainInputError("", "the array has " + counted(columns_, "column", "columns") + ", no column " +
                                      std::to_string(column_));
    }
    const std::int64_t index = column_ == last_column ? columns_ - 1 : column_ - 1;
    first_ = fortran ? index * rows_ : index;
    stride_ = fortran ? 1 : columns_;
    next_wanted_ = first_;
}

void NpyChainReader::read_elements(std::string_view bytes, const ChainSink& sink)
{
    const auto take = [&](const char* item) {
        if (element_ == next_wanted_ && emitted_ < rows_) {
            const double value = element_value(item, kind_, item_size_);
            if (!std::isfinite(value)) {
                throw ChainInputError("row " + std::to_string(emitted_ + 1), "not a finite number");
            }
            block_.push_back(value);
            ++emitted_;
            next_wanted_ += stride_;
            if (block_.size() == block_values) {
                flush(sink);
            }
        }
        ++element_;
    };
    if (!partial_item_.empty()) {
        const std::size_t missing = std::min(item_size_ - partial_item_.size(), bytes.size());
        partial_item_.append(bytes.substr(0, missing));
        bytes.remove_prefix(missing);
        if (partial_item_.size() < item_size_) {
            return;
        }
        take(partial_item_.data());
        partial_item_.clear();
    }
    const auto size = static_cast<std::int64_t>(item_size_);
    // `bytes` lives through the call, as every caller's buffer does (the
    // analyser follows one caller's local string into here and loses it).
    // cppcheck-suppress invalidLifetime
    const char* at = bytes.data();
    std::int64_t whole = static_cast<std::int64_t>(bytes.size()) / size;
    while (whole > 0 && emitted_ < rows_) {
        // Straight to the next element wanted.
        const std::int64_t skip = std::min(next_wanted_ - element_, whole);
        at += skip * size;
        element_ += skip;
        whole -= skip;
        if (whole > 0) {
            take(at);
            at += size;
            --whole;
        }
    }
    if (emitted_ < rows_) {
        // cppcheck-suppress invalidLifetime
        partial_item_.assign(at + whole * size, bytes.data() + bytes.size());
    }
}

void NpyChainReader::finish(const ChainSink& sink)
{
    if (!header_done_) {
        bad_header(header_.empty() ? "the file is empty" : "the file ends inside the header");
    }
    flush(sink);
    if (emitted_ < rows_) {
        throw ChainInputError("row " + std::to_string(emitted_ + 1),
                              "the file ends after " + std::to_string(emitted_) + " of the array's " +
                                  std::to_string(rows_) + " rows");
    }
}

void NpyChainReader::flush(const ChainSink& sink)
{
    if (!block_.empty()) {
        sink(block_);
        block_.clear();
    }
}

// ---- either ----

ChainReading read_chain(std::FILE* input, ColumnNumber column, const ChainSink& sink,
                        const std::function<void(std::int64_t)>& expect)
{
    // Large reads: a chain of 10^8 lines is read at the speed of the parser.
    std::vector<char> buffer(std::size_t{1} << 20);
    const auto read_more = [&] {
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), input);
        if (count < buffer.size() && std::ferror(input) != 0) {
            const int error = errno;
            throw std::runtime_error(std::string("cannot read: ") + std::strerror(error != 0 ? error : EIO));
        }
        return std::string_view(buffer.data(), count);
    };
    std::string_view bytes = read_more();
    ChainReading reading;
    if (bytes.starts_with(npy_magic)) {
        reading.npy = true;
        NpyChainReader reader(column);
        bool expected = false;
        while (!bytes.empty()) {
            reader.feed(bytes, sink);
            if (!expected && reader.header_read() && expect) {
                expect(reader.rows());
                expected = true;
            }
            bytes = read_more();
        }
        reader.finish(sink);
        reading.values = reader.values();
        reading.last_line = reader.rows();
        reading.columns = reader.columns();
        if (reading.values == 0) {
            throw ChainInputError("", "no numbers: the array is empty");
        }
        return reading;
    }
    TextChainReader reader(column);
    while (!bytes.empty()) {
        reader.feed(bytes, sink);
        bytes = read_more();
    }
    reader.finish(sink);
    reading.values = reader.values();
    reading.last_line = reader.line();
    if (reading.values == 0) {
        throw ChainInputError(reader.line() == 0 ? "" : "line " + std::to_string(reader.line()),
                              reader.line() == 0 ? "no numbers: the input is empty"
                                                 : "no numbers in " + counted(reader.line(), "line", "lines"));
    }
    return reading;
}
