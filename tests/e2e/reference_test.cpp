// Every build must write the tables of the reference run byte for byte: the
// arithmetic is fixed operation by operation, so any difference is a fault
// (a contracted multiply-add, a reordered sum, another format).

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "reference.hpp"
#include "sha256.hpp"

namespace {

TEST(ReferenceChecksums, ListExactlyTheSuiteTables)
{
    const auto digests = read_checksums(reference_folder() / "checksums.sha256");
    std::vector<std::string> listed;
    for (const auto& [name, digest] : digests) {
        listed.emplace_back(name);
        EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos) << name;
    }
    std::vector<std::string> expected;
    for (const SuiteTable& table : suite_tables()) {
        expected.emplace_back(table.name);
        EXPECT_FALSE(reference_excerpt(table.name).empty()) << "no excerpt of " << table.name;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

class ReferenceTable : public testing::TestWithParam<SuiteTable> {};

TEST_P(ReferenceTable, MatchesItsChecksum)
{
    const SuiteTable& table = GetParam();
    const ProgramRun& run = shared_run(table.program);
    ASSERT_EQ(run.exit_status, 0) << table.program << ": " << run.standard_error;
    const std::string text = table_text(run, table);
    const std::string digest = sha256_hex(text);
    const auto digests = read_checksums(reference_folder() / "checksums.sha256");
    const auto expected = digests.find(table.name);
    ASSERT_NE(expected, digests.end()) << table.name << " has no reference checksum";
    EXPECT_EQ(digest, expected->second) << first_difference(table.name, reference_excerpt(table.name), text);
}

INSTANTIATE_TEST_SUITE_P(SuiteTables, ReferenceTable, testing::ValuesIn(suite_tables()),
                         [](const testing::TestParamInfo<SuiteTable>& info) { return std::string(info.param.program); });

// The report on a mismatch must lead to the row that changed.
TEST(FirstDifference, NamesTheTableAndTheChangedRow)
{
    const std::vector<std::string> excerpt = {"1\t0.5", "2\t0.25", "3\t0.125"};
    const std::string changed = first_difference("t.dat", excerpt, "1\t0.5\n2\t0.26\n3\t0.125\n");
    EXPECT_NE(changed.find("t.dat"), std::string::npos) << changed;
    EXPECT_NE(changed.find("row 2"), std::string::npos) << changed;
    EXPECT_NE(changed.find("\"2\\t0.25\""), std::string::npos) << changed;
    EXPECT_NE(changed.find("\"2\\t0.26\""), std::string::npos) << changed;

    const std::string short_table = first_difference("t.dat", excerpt, "1\t0.5\n");
    EXPECT_NE(short_table.find("ends after 1 rows"), std::string::npos) << short_table;

    const std::string later = first_difference("t.dat", excerpt, "1\t0.5\n2\t0.25\n3\t0.125\n4\t9\n");
    EXPECT_NE(later.find("further on"), std::string::npos) << later;
    EXPECT_NE(later.find("4 rows"), std::string::npos) << later;
}

TEST(ReadChecksums, ReadsTheFormatOfSha256sum)
{
    const auto folder = fresh_folder();
    {
        std::ofstream out(folder / "sums");
        out << "# comment\n"
            << std::string(64, 'a') << "  one.dat\n"
            << std::string(64, 'b') << " *two.dat\n";
    }
    const auto digests = read_checksums(folder / "sums");
    ASSERT_EQ(digests.size(), 2U);
    EXPECT_EQ(digests.at("one.dat"), std::string(64, 'a'));
    EXPECT_EQ(digests.at("two.dat"), std::string(64, 'b'));
}

}  // namespace
