// CreatePakFile and AddToPak: whole archives compared byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using namespace test;  // Bytes, concat, TempDir, to_bytes

const Bytes kHeader = to_bytes("Tarvo Pak 3 - Orvelund\r\n");

class CreateAdd : public ::testing::Test {
 protected:
  std::string archive() const { return dir.file("a.pak"); }
  Bytes archive_bytes() const { return test::read_file(archive()); }
  std::string source(const std::string& name, const Bytes& content) const {
    test::write_file(dir.file(name), content);
    return dir.file(name);
  }
  void add(const std::string& path, std::int32_t compress) {
    add_to_pak(lib, archive().c_str(), path.c_str(), "ignored", compress);
  }

  TempDir dir;
  Library lib;
};

TEST_F(CreateAdd, CreateMakesTheHeaderOnlyArchive) {
  create_pak_file(archive().c_str());
  EXPECT_EQ(archive_bytes(), kHeader);
  EXPECT_EQ(kHeader.size(), 24u);
}

TEST_F(CreateAdd, CreateReplacesAnExistingFile) {
  test::write_file(archive(), Bytes(10000, 0x55));
  create_pak_file(archive().c_str());
  EXPECT_EQ(archive_bytes(), kHeader);
}

TEST_F(CreateAdd, CreateOnADirectoryWritesNothing) {
  std::filesystem::create_directory(dir.file("d"));
  EXPECT_EQ(create_pak_file(dir.file("d").c_str()), Outcome::CannotCreateArchive);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("d")));
  // The empty path: nothing to create.
  EXPECT_EQ(create_pak_file(nullptr), Outcome::CannotCreateArchive);
}

TEST_F(CreateAdd, StoredFiveByteFileAppendsSixteenBytes) {
  create_pak_file(archive().c_str());
  add(source("a.txt", to_bytes("hello")), 0);
  EXPECT_EQ(archive_bytes(), concat({kHeader, to_bytes("a.txt\r\n"), {0x00}, to_bytes("5\r\nhello")}));
}

struct SwitchCase {
  std::int32_t compress;
  std::string content;
  Bytes entry;  // what the add appends after the header
};

class AddSwitch : public CreateAdd, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(AddSwitch, AppendsTheExpectedEntry) {
  create_pak_file(archive().c_str());
  add(source("f.bin", to_bytes(GetParam().content)), GetParam().compress);
  EXPECT_EQ(archive_bytes(), concat({kHeader, GetParam().entry}));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, AddSwitch,
    ::testing::Values(
        // An empty file asked to be packed: flag 1, sizes 0 and 0, no data.
        SwitchCase{1, "", concat({to_bytes("f.bin\r\n"), {0x01}, to_bytes("0\r\n0\r\n")})},
        SwitchCase{0, "", concat({to_bytes("f.bin\r\n"), {0x00}, to_bytes("0\r\n")})},
        // 14 bytes never pack below their length: stored with flag 0.
        SwitchCase{1, "abcdefghijklmn", concat({to_bytes("f.bin\r\n"), {0x00}, to_bytes("14\r\nabcdefghijklmn")})},
        SwitchCase{2, "xyz", concat({to_bytes("f.bin\r\n"), {0x02}, to_bytes("3\r\nxyz")})},
        SwitchCase{-1, "xyz", concat({to_bytes("f.bin\r\n"), {0xFF}, to_bytes("3\r\nxyz")})},
        SwitchCase{258, "xyz", concat({to_bytes("f.bin\r\n"), {0x02}, to_bytes("3\r\nxyz")})},
        // Low 8 bits of 1 without the switch being 1: never flag 1 for a stored entry.
        SwitchCase{257, "xyz", concat({to_bytes("f.bin\r\n"), {0x00}, to_bytes("3\r\nxyz")})},
        SwitchCase{-255, "xyz", concat({to_bytes("f.bin\r\n"), {0x00}, to_bytes("3\r\nxyz")})}));

TEST_F(CreateAdd, PackedEntryHoldsTheBlockOfLevelNine) {
  Bytes content;
  for (int i = 0; i < 5000; ++i) content.push_back(static_cast<std::uint8_t>("pak archive "[i % 12]));
  Bytes block(content.size());
  const std::uint32_t n = codec::pack(content.data(), block.data(), static_cast<std::uint32_t>(content.size()), 9);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, content.size());
  block.resize(n);

  create_pak_file(archive().c_str());
  add(source("text.txt", content), 1);
  EXPECT_EQ(archive_bytes(), concat({kHeader, to_bytes("text.txt\r\n"), {0x01},
                                     to_bytes("5000\r\n" + std::to_string(n) + "\r\n"), block}));
  Bytes decoded(content.size());
  EXPECT_EQ(codec::decode(block.data(), block.size(), decoded.data(), decoded.size()), content.size());
  EXPECT_EQ(decoded, content);
}

TEST_F(CreateAdd, IncompressibleDataIsStored) {
  Bytes noise(3000);
  std::uint32_t x = 12345;
  for (auto& b : noise) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  create_pak_file(archive().c_str());
  add(source("noise", noise), 1);
  EXPECT_EQ(archive_bytes(), concat({kHeader, to_bytes("noise\r\n"), {0x00}, to_bytes("3000\r\n"), noise}));
}

TEST_F(CreateAdd, SameSourceTwiceGivesTwoEntries) {
  create_pak_file(archive().c_str());
  const std::string path = source("a.txt", to_bytes("hello"));
  add(path, 0);
  add(path, 0);
  const Bytes entry = concat({to_bytes("a.txt\r\n"), {0x00}, to_bytes("5\r\nhello")});
  EXPECT_EQ(archive_bytes(), concat({kHeader, entry, entry}));
}

TEST_F(CreateAdd, SourceWithDirectoriesIsStoredUnderItsBareName) {
  std::filesystem::create_directories(dir.path() / "sub" / "deeper");
  test::write_file((dir.path() / "sub" / "deeper" / "n.txt").string(), to_bytes("N"));
  create_pak_file(archive().c_str());
  const std::string forward = dir.path().string() + "/sub/deeper/n.txt";
  const std::string native = dir.path().string() + test::native_separator() + "sub" + test::native_separator() +
                             "deeper" + test::native_separator() + "n.txt";
  add(forward, 0);
  add(native, 0);
  const Bytes entry = concat({to_bytes("n.txt\r\n"), {0x00}, to_bytes("1\r\nN")});
  EXPECT_EQ(archive_bytes(), concat({kHeader, entry, entry}));
}

TEST_F(CreateAdd, SourcesThatCannotBeAddedLeaveTheArchiveAsItWas) {
  create_pak_file(archive().c_str());
  add(source("a.txt", to_bytes("hello")), 0);
  const Bytes before = archive_bytes();
  std::filesystem::create_directory(dir.file("folder"));
  const std::string quoted = std::string(1, '"').append(dir.file("a.txt")).append(1, '"');
  for (const std::string& path : {dir.file("missing.txt"), quoted, dir.file("folder"),
                                  dir.file("folder") + test::native_separator(), std::string()}) {
    add(path, 0);
    add(path, 1);
    EXPECT_EQ(archive_bytes(), before) << path;
  }
  EXPECT_EQ(add_to_pak(lib, archive().c_str(), nullptr, nullptr, 1), Outcome::NoSuchSource);
  EXPECT_EQ(add_to_pak(lib, archive().c_str(), dir.file("folder").c_str(), nullptr, 1), Outcome::SourceIsDirectory);
  EXPECT_EQ(archive_bytes(), before);
}

TEST_F(CreateAdd, SourceOfTwoGibibytesIsSkipped) {
  create_pak_file(archive().c_str());
  const std::string big = dir.file("big.bin");
  test::write_file(big, Bytes{});
  std::filesystem::resize_file(big, std::uintmax_t{1} << 31);  // sparse: no real disk use
  add(big, 0);
  add(big, 1);
  EXPECT_EQ(archive_bytes(), kHeader);
}

TEST_F(CreateAdd, AddingToAMissingArchiveStartsWithTheHeaderLine) {
  add(source("a.txt", to_bytes("hello")), 0);
  EXPECT_EQ(archive_bytes(),
            concat({to_bytes("Tarvo Pak 3 - Orvelund\r\na.txt\r\n"), {0x00}, to_bytes("5\r\nhello")}));
  std::filesystem::remove(archive());
  add(dir.file("missing.txt"), 0);
  EXPECT_TRUE(archive_bytes().empty());  // created empty, source not looked at further
}

TEST_F(CreateAdd, AppendsAfterWhateverTheArchiveHolds) {
  test::write_file(archive(), to_bytes("no header, no line end"));
  add(source("a.txt", to_bytes("hello")), 0);
  EXPECT_EQ(archive_bytes(), concat({to_bytes("no header, no line end"), to_bytes("a.txt\r\n"), {0x00},
                                     to_bytes("5\r\nhello")}));
}

}  // namespace
}  // namespace mytarvo
