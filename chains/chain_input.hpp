#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Reading a Markov chain's values: one column of a whitespace-separated text
// file, or of a NumPy .npy array. Both readers take the bytes in chunks of
// any size, so that a chain of any length streams through in constant
// memory; they hand the values on in blocks, in the order of the chain.

// Receives each block of values as it is read.
using ChainSink = std::function<void(std::span<const double>)>;

// Input that is not a chain: where() is "line 12" for text or "element 12"
// for an array, problem() what is wrong there. what() joins the two.
class ChainInputError : public std::runtime_error {
public:
    ChainInputError(std::string where, const std::string& problem);
    const std::string& where() const { return where_; }

private:
    std::string where_;
};

// The column to read, counted from 1 as in gnuplot's `using`; 0 is the last.
using ColumnNumber = std::int64_t;
inline constexpr ColumnNumber last_column = 0;

// Whitespace-separated text: a value per line in the chosen column, the
// other columns anything at all. A '#' ends a line's data, so comments and
// commented headers are skipped, and so are blank lines. The chosen field
// must be a finite decimal number. Read with the last column, every line
// must have as many fields as the first, which finds a table cut short.
class TextChainReader {
public:
    explicit TextChainReader(ColumnNumber column);

    void feed(std::string_view bytes, const ChainSink& sink);
    // The end of the input, which may end without a line break.
    void finish(const ChainSink& sink);

    std::int64_t values() const { return values_; }
    // The last line seen, counted from 1.
    std::int64_t line() const { return line_; }

private:
    void read_line(std::string_view line, const ChainSink& sink);
    void flush(const ChainSink& sink);

    ColumnNumber column_;
    std::int64_t fields_per_line_ = 0;  // with the last column: the first line's
    std::int64_t values_ = 0;
    std::int64_t line_ = 0;
    std::string partial_line_;
    std::vector<double> block_;
};

// A NumPy .npy file of version 1, 2 or 3: little-endian float64, float32 or
// integers of 1 to 8 bytes; a 1-D array, or a 2-D array from which the
// column is taken. The values need not be in any alignment in the chunks.
class NpyChainReader {
public:
    explicit NpyChainReader(ColumnNumber column);

    void feed(std::string_view bytes, const ChainSink& sink);
    void finish(const ChainSink& sink);

    std::int64_t values() const { return emitted_; }
    // The array's shape once its header has been read: rows and columns
    // (1 for a 1-D array).
    std::int64_t rows() const { return rows_; }
    std::int64_t columns() const { return columns_; }
    bool header_read() const { return header_done_; }

private:
    void read_header();
    void read_elements(std::string_view bytes, const ChainSink& sink);
    void flush(const ChainSink& sink);

    ColumnNumber column_;
    std::string header_;  // the bytes up to the end of the header
    std::size_t header_size_ = 0;  // 0 until known
    bool header_done_ = false;
    char kind_ = 'f';  // 'f' float, 'i' signed, 'u' unsigned
    std::size_t item_size_ = 8;
    std::int64_t rows_ = 0;
    std::int64_t columns_ = 1;
    // The chosen values are `rows_` elements `stride_` apart from `first_`.
    std::int64_t first_ = 0;
    std::int64_t stride_ = 1;
    std::int64_t element_ = 0;  // elements of the array seen
    std::int64_t next_wanted_ = 0;
    std::int64_t emitted_ = 0;
    std::string partial_item_;
    std::vector<double> block_;
};

// What a whole input held.
struct ChainReading {
    std::int64_t values = 0;
    bool npy = false;
    std::int64_t columns = 0;  // of a .npy array: 1 for 1-D
    // The last line of a text file, the array's length of a .npy file.
    std::int64_t last_line = 0;
};

// Reads the whole of `input` (opened in binary mode), telling the two
// formats apart by the .npy magic bytes, and hands the chosen column to
// `sink`; `expect`, if given, learns the number of values before they come
// where the input says it (a .npy header). Throws ChainInputError for input
// that is not a chain, including one without a single value, and
// std::runtime_error when reading fails.
ChainReading read_chain(std::FILE* input, ColumnNumber column, const ChainSink& sink,
                        const std::function<void(std::int64_t)>& expect = nullptr);
