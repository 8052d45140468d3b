// MakeListFiles: whole listings compared byte for byte.
#include <gtest/gtest.h>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using namespace test;  // Bytes, concat, TempDir, to_bytes

const std::string kBanner =
    "-=* Tarvo Pak 3 *=-\r\n"
    "-=*   Orvelund  *=-\r\n"
    "\r\n"
    "-=*  File List  *=-\r\n"
    "\r\n";
const Bytes kHeader = to_bytes("Tarvo Pak 3 - Orvelund\r\n");

std::string list_bytes(const Bytes& archive) {
  TempDir dir;
  test::write_file(dir.file("a.pak"), archive);
  make_list_files(dir.file("a.pak").c_str(), dir.file("list.txt").c_str());
  return test::read_text(dir.file("list.txt"));
}

TEST(MakeListFiles, BannerAloneIs67Bytes) {
  EXPECT_EQ(kBanner.size(), 67u);
  EXPECT_EQ(list_bytes(kHeader), kBanner);
  EXPECT_EQ(list_bytes({}), kBanner);
}

TEST(MakeListFiles, ListsEveryEntryInOrder) {
  Bytes archive = concat({kHeader, to_bytes("a.txt\r\n"), {0x00}, to_bytes("5\r\nhello"),    //
                          to_bytes("b.dat\r\n"), {0x01}, to_bytes("1000\r\n3\r\nQZ!"),        //
                          to_bytes("flag2\r\n"), {0x02}, to_bytes("2\r\nhi"),                 //
                          to_bytes("empty\r\n"), {0x01}, to_bytes("0\r\n0\r\n"),              //
                          to_bytes("a.txt\r\n"), {0x00}, to_bytes("0\r\n")});
  EXPECT_EQ(list_bytes(archive), kBanner +
                                     "a.txt    5    Compression: (No)\r\n"
                                     "b.dat    1000    Compression: (Yes)\r\n"
                                     "flag2    2    Compression: (No)\r\n"
                                     "empty    0    Compression: (Yes)\r\n"
                                     "a.txt    0    Compression: (No)\r\n");
  EXPECT_EQ(std::string("a.txt    5    Compression: (No)").size(), 31u);
}

TEST(MakeListFiles, MissingArchiveIsCreatedEmptyAndListedAsBannerOnly) {
  TempDir dir;
  make_list_files(dir.file("missing.pak").c_str(), dir.file("list.txt").c_str());
  EXPECT_EQ(test::read_text(dir.file("list.txt")), kBanner);
  EXPECT_TRUE(test::file_exists(dir.file("missing.pak")));
  EXPECT_TRUE(test::read_file(dir.file("missing.pak")).empty());
}

TEST(MakeListFiles, ReplacesAnOldListingAndIsRepeatable) {
  TempDir dir;
  test::write_file(dir.file("list.txt"), std::string(500, 'x'));
  test::write_file(dir.file("a.pak"), concat({kHeader, to_bytes("q\r\n"), {0x00}, to_bytes("1\r\nQ")}));
  make_list_files(dir.file("a.pak").c_str(), dir.file("list.txt").c_str());
  const std::string first = test::read_text(dir.file("list.txt"));
  make_list_files(dir.file("a.pak").c_str(), dir.file("list.txt").c_str());
  EXPECT_EQ(first, kBanner + "q    1    Compression: (No)\r\n");
  EXPECT_EQ(test::read_text(dir.file("list.txt")), first);
}

TEST(MakeListFiles, ListingThatCannotBeCreatedStillScansTheArchive) {
  TempDir dir;
  const std::string listing = dir.file("no-such-dir") + test::native_separator() + "list.txt";
  EXPECT_EQ(make_list_files(dir.file("created.pak").c_str(), listing.c_str()), Outcome::WriteFailed);
  EXPECT_FALSE(test::file_exists(listing));
  EXPECT_TRUE(test::file_exists(dir.file("created.pak")));
}

TEST(MakeListFiles, NullArgumentsActAsEmptyStrings) {
  // Nothing can be opened; must simply return.
  EXPECT_EQ(make_list_files(nullptr, nullptr), Outcome::WriteFailed);
}

TEST(MakeListFiles, DamagedArchiveIsListedAsFarAsItReads) {
  Bytes archive = concat({kHeader, to_bytes("ok\r\n"), {0x00}, to_bytes("2\r\nOK"), to_bytes("cut\r\n"), {0x00},
                          to_bytes("900\r\nonly a few bytes")});
  EXPECT_EQ(list_bytes(archive), kBanner + "ok    2    Compression: (No)\r\ncut    900    Compression: (No)\r\n");
}

TEST(MakeListFiles, ManyEntriesAcrossBufferBoundaries) {
  Bytes archive = kHeader;
  std::string expected = kBanner;
  for (int i = 0; i < 3000; ++i) {
    std::string name = "file" + std::to_string(i) + ".bin";
    std::string data(static_cast<std::size_t>(i % 37), static_cast<char>('a' + i % 26));
    const std::uint8_t flags[] = {0, 2, 7};  // every stored-flag value reads alike
    Bytes entry = concat({to_bytes(name + "\r\n"), {flags[i % 3]}, to_bytes(std::to_string(data.size()) + "\r\n"),
                          to_bytes(data)});
    archive.insert(archive.end(), entry.begin(), entry.end());
    expected += name + "    " + std::to_string(data.size()) + "    Compression: (No)\r\n";
  }
  EXPECT_EQ(list_bytes(archive), expected);
}

}  // namespace
}  // namespace mytarvo
