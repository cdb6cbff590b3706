#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "chain_input.hpp"

namespace {

// Every value the reader hands on, fed `bytes` in chunks of `chunk` bytes.
template <class Reader>
std::vector<double> read_in_chunks(std::string_view bytes, ColumnNumber column, std::size_t chunk)
{
    Reader reader(column);
    std::vector<double> values;
    const ChainSink sink = [&](std::span<const double> block) { values.insert(values.end(), block.begin(), block.end()); };
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        reader.feed(bytes.substr(at, chunk), sink);
    }
    reader.finish(sink);
    EXPECT_EQ(reader.values(), static_cast<std::int64_t>(values.size()));
    return values;
}

// The text of the error that reading `bytes` whole throws, or "no error".
template <class Reader>
std::string error_of(std::string_view bytes, ColumnNumber column)
{
    try {
        (void)read_in_chunks<Reader>(bytes, column, bytes.size() + 1);
    } catch (const ChainInputError& error) {
        return error.what();
    }
    return "no error";
}

// A .npy file as NumPy writes it: magic, version, header length, the
// header's dictionary padded with blanks to a multiple of 64 bytes, data.
std::string npy_file(const std::string& descr, bool fortran, const std::string& shape, const std::string& data,
                     int major = 1)
{
    std::string dictionary = "{'descr': '" + descr + "', 'fortran_order': " + (fortran ? "True" : "False") +
                             ", 'shape': " + shape + ", }";
    const std::size_t prefix = major == 1 ? 10 : 12;
    dictionary.append(63 - (prefix + dictionary.size()) % 64, ' ').push_back('\n');
    std::string file("\x93NUMPY", 6);
    file.push_back(static_cast<char>(major));
    file.push_back('\0');
    for (std::size_t b = 0; b < prefix - 8; ++b) {
        file.push_back(static_cast<char>((dictionary.size() >> (8 * b)) & 0xff));
    }
    return file + dictionary + data;
}

template <class T>
std::string bytes_of(const std::vector<T>& values)
{
    std::string bytes(values.size() * sizeof(T), '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST(TextChainReader, ReadsAColumnOfAnyFileInChunksOfAnySize)
{
    // A table with a commented header, a comment after data, blank lines,
    // Windows line ends, tabs, a '+' sign, an exponent and no final line break.
    const std::string text =
        "\xEF\xBB\xBF# step\tvalue\tweight\n"
        "1\t0.5\t7\r\n"
        "\n"
        "  2   -1.25e2  8   # the second\n"
        "# a comment line\n"
        "3\t+3\t9";
    for (std::size_t chunk = 1; chunk <= text.size(); ++chunk) {
        EXPECT_EQ(read_in_chunks<TextChainReader>(text, 2, chunk), (std::vector<double>{0.5, -125.0, 3.0}))
            << "chunks of " << chunk;
        EXPECT_EQ(read_in_chunks<TextChainReader>(text, last_column, chunk), (std::vector<double>{7.0, 8.0, 9.0}))
            << "chunks of " << chunk;
    }
    // Blocks of values larger than one block.
    std::string lines;
    for (int i = 0; i < 10000; ++i) {
        lines += std::to_string(i) + "\n";
    }
    const std::vector<double> values = read_in_chunks<TextChainReader>(lines, 1, 1000);
    ASSERT_EQ(values.size(), 10000u);
    EXPECT_EQ(values[9999], 9999.0);
}

TEST(TextChainReader, NamesTheLineOfEachKindOfBadInput)
{
    EXPECT_EQ(error_of<TextChainReader>("1 2\n3 x4\n", 2), "line 2: 'x4' is not a number");
    EXPECT_EQ(error_of<TextChainReader>("1 2\n3 4.5.6\n", 2), "line 2: '4.5.6' is not a number");
    EXPECT_EQ(error_of<TextChainReader>("1\n\n2\nnan\n", 1), "line 4: 'nan' is not a finite number");
    EXPECT_EQ(error_of<TextChainReader>("1\n-inf\n", 1), "line 2: '-inf' is not a finite number");
    EXPECT_EQ(error_of<TextChainReader>("1\n1e400\n", 1), "line 2: '1e400' is beyond the range of a double");
    EXPECT_EQ(error_of<TextChainReader>("1 2 3\n4 5\n", 3), "line 2: has 2 fields, no column 3");
    EXPECT_EQ(error_of<TextChainReader>("# a b c\n1 2 3\n4 5", last_column),
              "line 3: has 2 fields where the first line of data has 3");
}

TEST(NpyChainReader, ReadsEachLayoutAndElementTypeInChunksOfAnySize)
{
    // Rows (1, 2), (3, 4), (5, 6): in C order row by row, in Fortran order
    // column by column.
    const std::string c_order = npy_file("<f8", false, "(3, 2)", bytes_of<double>({1, 2, 3, 4, 5, 6}));
    const std::string fortran = npy_file("<f8", true, "(3, 2)", bytes_of<double>({1, 3, 5, 2, 4, 6}), 2);
    for (std::size_t chunk = 1; chunk <= c_order.size(); ++chunk) {
        EXPECT_EQ(read_in_chunks<NpyChainReader>(c_order, 1, chunk), (std::vector<double>{1, 3, 5})) << chunk;
        EXPECT_EQ(read_in_chunks<NpyChainReader>(c_order, last_column, chunk), (std::vector<double>{2, 4, 6}))
            << chunk;
        EXPECT_EQ(read_in_chunks<NpyChainReader>(fortran, 1, chunk), (std::vector<double>{1, 3, 5})) << chunk;
        EXPECT_EQ(read_in_chunks<NpyChainReader>(fortran, 2, chunk), (std::vector<double>{2, 4, 6})) << chunk;
    }
    const auto whole = [](const std::string& file) { return read_in_chunks<NpyChainReader>(file, last_column, 7); };
    EXPECT_EQ(whole(npy_file("<f4", false, "(2,)", bytes_of<float>({0.5f, -1.5f}))), (std::vector<double>{0.5, -1.5}));
    EXPECT_EQ(whole(npy_file("<i2", false, "(3,)", bytes_of<std::int16_t>({-300, 0, 300}))),
              (std::vector<double>{-300, 0, 300}));
    EXPECT_EQ(whole(npy_file("<i8", false, "(2,)", bytes_of<std::int64_t>({-5, std::int64_t{1} << 40}))),
              (std::vector<double>{-5, 1099511627776.0}));
    EXPECT_EQ(whole(npy_file("|u1", false, "(2,)", bytes_of<std::uint8_t>({200, 7}))), (std::vector<double>{200, 7}));
}

TEST(NpyChainReader, RefusesWhatItCannotRead)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(error_of<NpyChainReader>(npy_file("<f8", false, "(3,)", bytes_of<double>({1, nan, 3})), 0),
              "row 2: not a finite number");
    EXPECT_EQ(error_of<NpyChainReader>(npy_file("<f8", false, "(3,)", bytes_of<double>({1, 2})), 0),
              "row 3: the file ends after 2 of the array's 3 rows");
    EXPECT_EQ(error_of<NpyChainReader>(npy_file("<f8", false, "(3,)", bytes_of<double>({1, 2, 3})), 2),
              "the array is 1-D: it has no column 2");
    EXPECT_EQ(error_of<NpyChainReader>(npy_file("<f8", false, "(1, 2)", bytes_of<double>({1, 2})), 3),
              "the array has 2 columns, no column 3");
    EXPECT_NE(error_of<NpyChainReader>(npy_file(">f8", false, "(1,)", std::string(8, '\0')), 0).find("big-endian"),
              std::string::npos);
    EXPECT_NE(error_of<NpyChainReader>(npy_file("<c16", false, "(1,)", std::string(16, '\0')), 0).find("'<c16'"),
              std::string::npos);
    EXPECT_NE(error_of<NpyChainReader>(npy_file("<f8", false, "(1, 1, 1)", std::string(8, '\0')), 0).find("3-dim"),
              std::string::npos);
    EXPECT_EQ(error_of<NpyChainReader>(npy_file("<f8", false, "(1,)", "").substr(0, 40), 0),
              "header: the file ends inside the header");
}

TEST(ReadChain, TellsTheFormatsApartAndRefusesAChainWithoutValues)
{
    // A file of our own rather than tmpfile(), which Windows puts in the
    // drive's root.
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "chain_input_test.bin";
    const auto read_file = [&path](const std::string& bytes, std::vector<double>& values) {
        std::FILE* file = std::fopen(path.string().c_str(), "w+b");
        EXPECT_NE(file, nullptr);
        (void)std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
        const ChainSink sink = [&](std::span<const double> block) { values.assign(block.begin(), block.end()); };
        try {
            const ChainReading reading = read_chain(file, last_column, sink);
            (void)std::fclose(file);
            return std::string(reading.npy ? "npy " : "text ") + std::to_string(reading.values);
        } catch (const ChainInputError& error) {
            (void)std::fclose(file);
            return std::string(error.what());
        }
    };
    std::vector<double> values;
    EXPECT_EQ(read_file(npy_file("<f8", false, "(2,)", bytes_of<double>({4, 5})), values), "npy 2");
    EXPECT_EQ(values, (std::vector<double>{4, 5}));
    EXPECT_EQ(read_file("4\n5\n6\n", values), "text 3");
    EXPECT_EQ(read_file("# only a comment\n\n", values), "line 2: no numbers in 2 lines");
    EXPECT_EQ(read_file("", values), "no numbers: the input is empty");
    EXPECT_EQ(read_file(npy_file("<f8", false, "(0,)", ""), values), "no numbers: the array is empty");
    std::filesystem::remove(path);
}

}  // namespace
