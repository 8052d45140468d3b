// Number lines, text lines and the entry scan over archives assembled byte by byte.
#include <gtest/gtest.h>

#include "archive/archive_format.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using namespace test;  // Bytes, concat, TempDir, to_bytes

struct NumberCase {
  const char* text;
  std::int32_t value;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ParseNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumber, ReadsEveryAcceptedForm) { EXPECT_EQ(parse_number(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Forms, ParseNumber,
                         ::testing::Values(NumberCase{" +42", 42}, NumberCase{"$1F", 31}, NumberCase{"$1f", 31},
                                           NumberCase{"%101", 5}, NumberCase{"12abc", 12}, NumberCase{"", 0},
                                           NumberCase{"2147483648", INT32_MIN}, NumberCase{"4294967297", 1},
                                           NumberCase{"-17", -17}, NumberCase{"\t \t-$10", -16},
                                           NumberCase{"+-5", 0}, NumberCase{"--5", 0}, NumberCase{"%102", 2},
                                           NumberCase{"$", 0}, NumberCase{"-", 0}, NumberCase{"007", 7},
                                           NumberCase{"$FFFFFFFF", -1}, NumberCase{"99999999999", 1215752191},
                                           NumberCase{" 5 6", 5}, NumberCase{"-2147483648", INT32_MIN}));

TEST(FormatNumber, WritesPlainDecimal) {
  EXPECT_EQ(format_number(0), "0");
  EXPECT_EQ(format_number(5), "5");
  EXPECT_EQ(format_number(1000), "1000");
  EXPECT_EQ(format_number(2147483647), "2147483647");
  EXPECT_EQ(format_number(-2), "-2");
  EXPECT_EQ(format_number(INT32_MIN), "-2147483648");
}

// Scans `archive_bytes` and renders every entry as "name|flag|size|packed|data_offset".
std::vector<std::string> scan_bytes(const Bytes& archive_bytes) {
  TempDir dir;
  const std::string path = dir.file("a.pak");
  test::write_file(path, archive_bytes);
  BufferedFile file;
  EXPECT_TRUE(open_for_scan(file, path.c_str(), platform::OpenMode::OpenOrCreate));
  EntryScan scan(file);
  std::vector<std::string> out;
  EntryHeader e;
  while (scan.next(e)) {
    out.push_back(e.name + "|" + std::to_string(e.flag) + "|" + std::to_string(e.file_size) + "|" +
                  std::to_string(e.packed_size) + "|" + std::to_string(e.data_offset));
    if (out.size() > 1000) break;  // a scan that does not end is a failure, not a hang
  }
  return out;
}

const Bytes kHeader = to_bytes("Tarvo Pak 3 - Orvelund\r\n");

TEST(EntryScan, NewArchiveAndEmptyFileHoldNoEntry) {
  EXPECT_TRUE(scan_bytes(kHeader).empty());
  EXPECT_TRUE(scan_bytes({}).empty());
  EXPECT_TRUE(scan_bytes(to_bytes("just one line without end")).empty());
}

TEST(EntryScan, ReadsStoredPackedAndOtherFlags) {
  Bytes archive = concat({kHeader, to_bytes("a.txt\r\n"), {0x00}, to_bytes("5\r\nhello"),  //
                          to_bytes("b.dat\r\n"), {0x01}, to_bytes("1000\r\n3\r\nQZx"),      //
                          to_bytes("c\r\n"), {0x02}, to_bytes("2\r\nhi")});
  EXPECT_EQ(scan_bytes(archive), (std::vector<std::string>{"a.txt|0|5|0|35", "b.dat|1|1000|3|57", "c|2|2|0|67"}));
}

TEST(EntryScan, EmptyPackedEntryIsFollowedDirectlyByTheNext) {
  Bytes archive = concat({kHeader, to_bytes("e\r\n"), {0x01}, to_bytes("0\r\n0\r\n"), to_bytes("f\r\n"), {0x00},
                          to_bytes("1\r\nZ")});
  EXPECT_EQ(scan_bytes(archive), (std::vector<std::string>{"e|1|0|0|34", "f|0|1|0|41"}));
}

TEST(EntryScan, AcceptsEveryLineEnd) {
  // LF only, CR only, NUL, and a header ended by CR alone.
  Bytes archive = concat({to_bytes("whatever header\r"), to_bytes("n1\n"), {0x00}, to_bytes("1\nA"),
                          to_bytes("n2\r"), {0x00}, to_bytes("1\rB"), to_bytes("n3"), {0x00}, {0x00},
                          to_bytes("1"), {0x00}, to_bytes("C")});
  EXPECT_EQ(scan_bytes(archive), (std::vector<std::string>{"n1|0|1|0|22", "n2|0|1|0|29", "n3|0|1|0|36"}));
}

TEST(EntryScan, CrAsTheLastByteEndsTheLine) {
  Bytes archive = concat({kHeader, to_bytes("name\r")});
  EXPECT_EQ(scan_bytes(archive), (std::vector<std::string>{"name|0|0|0|29"}));
}

TEST(EntryScan, DuplicateNamesAreYieldedInOrder) {
  Bytes archive = concat({kHeader, to_bytes("x\r\n"), {0x00}, to_bytes("1\r\n1"), to_bytes("x\r\n"), {0x00},
                          to_bytes("1\r\n2")});
  EXPECT_EQ(scan_bytes(archive), (std::vector<std::string>{"x|0|1|0|31", "x|0|1|0|39"}));
}

TEST(EntryScan, NegativeSizesEndTheScan) {
  Bytes stored_negative = concat({kHeader, to_bytes("a\r\n"), {0x00}, to_bytes("1\r\nA"), to_bytes("b\r\n"), {0x00},
                                  to_bytes("-20\r\n"), to_bytes("c\r\n"), {0x00}, to_bytes("1\r\nC")});
  EXPECT_EQ(scan_bytes(stored_negative), (std::vector<std::string>{"a|0|1|0|31"}));
  Bytes packed_negative = concat({kHeader, to_bytes("b\r\n"), {0x01}, to_bytes("5\r\n-1\r\n")});
  EXPECT_TRUE(scan_bytes(packed_negative).empty());
  Bytes file_size_negative = concat({kHeader, to_bytes("b\r\n"), {0x01}, to_bytes("-5\r\n4\r\nQZQZ")});
  EXPECT_TRUE(scan_bytes(file_size_negative).empty());
}

TEST(EntryScan, EveryTruncationEndsAndYieldsAPrefix) {
  Bytes archive = concat({kHeader, to_bytes("a.txt\r\n"), {0x00}, to_bytes("5\r\nhello"), to_bytes("b.dat\r\n"),
                          {0x01}, to_bytes("1000\r\n26\r\n"), Bytes(26, 0x51)});
  const std::vector<std::string> full = scan_bytes(archive);
  ASSERT_EQ(full.size(), 2u);
  for (std::size_t cut = 0; cut < archive.size(); ++cut) {
    std::vector<std::string> part = scan_bytes(Bytes(archive.begin(), archive.begin() + static_cast<long>(cut)));
    ASSERT_LE(part.size(), 2u) << cut;
    // An entry whose header is complete reads the same as in the full archive.
    if (cut >= 58) {
      ASSERT_GE(part.size(), 2u) << cut;
      EXPECT_EQ(part[1], full[1]);
    }
    if (cut >= 35) {
      ASSERT_GE(part.size(), 1u) << cut;
      EXPECT_EQ(part[0], full[0]);
    }
  }
}

TEST(EntryScan, AFileThatIsNoArchiveIsScannedAllTheSame) {
  EXPECT_EQ(scan_bytes(to_bytes("#!/bin/sh\necho hi\nexit 0\n")), (std::vector<std::string>{"echo hi|101|0|0|25"}));
}

TEST(EntryScan, MissingArchiveIsCreatedEmpty) {
  TempDir dir;
  const std::string path = dir.file("new.pak");
  {
    BufferedFile file;
    EXPECT_TRUE(open_for_scan(file, path.c_str(), platform::OpenMode::OpenOrCreate));
    EntryScan scan(file);
    EXPECT_TRUE(scan.opened());
    EntryHeader e;
    EXPECT_FALSE(scan.next(e));
  }
  EXPECT_TRUE(test::file_exists(path));
  EXPECT_TRUE(test::read_file(path).empty());
}

TEST(EntryWriter, WritesTheDocumentedBytes) {
  TempDir dir;
  const std::string path = dir.file("w.pak");
  BufferedFile file;
  ASSERT_TRUE(file.open(path.c_str(), platform::OpenMode::CreateOrTruncate));
  const Bytes hello = to_bytes("hello");
  const Bytes block = to_bytes("QZ!");
  write_entry(file, {"a.txt", 0, 5, hello});
  write_entry(file, {"b.dat", 1, 1000, block});
  write_entry(file, {"", 1, 0, {}});
  ASSERT_TRUE(file.close());
  EXPECT_EQ(test::read_file(path), concat({to_bytes("a.txt\r\n"), {0x00}, to_bytes("5\r\nhello"), to_bytes("b.dat\r\n"),
                                           {0x01}, to_bytes("1000\r\n3\r\nQZ!"), to_bytes("\r\n"), {0x01},
                                           to_bytes("0\r\n0\r\n")}));
}

}  // namespace
}  // namespace mytarvo
