// UnPak and UnPakAll on archives assembled byte by byte: stored and packed entries,
// damaged blocks, data cut short, duplicates and files that cannot be opened. Output
// files are compared byte for byte and returned paths exactly.
#include <gtest/gtest.h>

#include <fstream>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/library.hpp"
#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::concat;
using test::kBlock100Zeros;
using test::kBlock64A;
using test::kBlockAbab;
using test::packed_entry;
using test::repeated;
using test::stored_entry;
using test::TempDir;
using test::to_bytes;
using Tree = std::vector<std::string>;

class Extract : public ::testing::Test {
 protected:
  void write_archive(const Bytes& entries) { test::write_file(archive, concat({test::kPakHeader, entries})); }
  std::string unpak(const std::string& name) { return unpak_into(out, name); }
  std::string unpak_into(const std::string& directory, const std::string& name) {
    return mytarvo::unpak(lib, archive.c_str(), directory.c_str(), name.c_str());
  }
  void unpak_all() { mytarvo::unpak_all(lib, archive.c_str(), out.c_str()); }
  [[nodiscard]] std::string out_path(const std::string& name) const { return out + test::native_separator() + name; }
  [[nodiscard]] Bytes extracted(const std::string& name) const { return test::read_file(out_path(name)); }
  [[nodiscard]] Tree tree() const { return test::tree(dir.path()); }

  TempDir dir;
  Library lib;
  const std::string archive = dir.file("a.pak");
  const std::string out = dir.file("out");
};

// Every kind of entry the format knows, with the bytes it must extract to.
struct Sample {
  const char* name;
  Bytes entry;
  Bytes content;
};

std::vector<Sample> samples() {
  const Bytes abab = to_bytes("abababab");
  return {
      {"a.txt", stored_entry("a.txt", "hello"), to_bytes("hello")},
      {"abab", packed_entry("abab", 8, kBlockAbab), abab},
      {"flag2", stored_entry("flag2", to_bytes("xy"), 2), to_bytes("xy")},
      {"flagFF", stored_entry("flagFF", to_bytes("z"), 0xFF), to_bytes("z")},
      {"empty.packed", packed_entry("empty.packed", 0, {}), {}},
      {"empty.stored", stored_entry("empty.stored", ""), {}},
      {"A64", packed_entry("A64", 64, kBlock64A), repeated(64, 0x41)},
      {"zeros", packed_entry("zeros", 100, kBlock100Zeros), repeated(100, 0)},
      {"binary", stored_entry("binary", Bytes{0, 13, 10, 26, 255}), Bytes{0, 13, 10, 26, 255}},
  };
}

TEST_F(Extract, UnPakAllWritesEveryKindOfEntry) {
  Bytes entries;
  Tree expected = {"a.pak", "out/"};
  for (const Sample& s : samples()) {
    entries = concat({entries, s.entry});
    expected.push_back(std::string("out/") + s.name);
  }
  write_archive(entries);
  const Bytes before = test::read_file(archive);
  unpak_all();
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(tree(), expected);
  for (const Sample& s : samples()) EXPECT_EQ(extracted(s.name), s.content) << s.name;
  EXPECT_EQ(test::read_file(archive), before);
}

TEST_F(Extract, UnPakWritesOnlyTheEntryAskedFor) {
  Bytes entries;
  for (const Sample& s : samples()) entries = concat({entries, s.entry});
  write_archive(entries);
  for (const Sample& s : samples()) {
    fs::remove_all(out);
    EXPECT_EQ(unpak(s.name), out_path(s.name));
    EXPECT_EQ(tree(), (Tree{"a.pak", "out/", std::string("out/") + s.name}));
    EXPECT_EQ(extracted(s.name), s.content) << s.name;
  }
}

TEST_F(Extract, DuplicatesUnPakTakesTheFirstAndUnPakAllLeavesTheLast) {
  write_archive(concat({stored_entry("d", "first"), stored_entry("other", "o"), stored_entry("d", "second!")}));
  fs::create_directory(out);
  test::write_file(out_path("d"), std::string("an older and longer file"));
  EXPECT_EQ(unpak("d"), out_path("d"));
  EXPECT_EQ(extracted("d"), to_bytes("first"));
  unpak_all();
  EXPECT_EQ(extracted("d"), to_bytes("second!"));
  EXPECT_EQ(extracted("other"), to_bytes("o"));
}

TEST_F(Extract, NamesMatchExactlyAndCaseSensitively) {
  write_archive(concat({stored_entry("A.TXT", "upper"), stored_entry("a.TXT", "mixed")}));
  for (const char* name : {"a.txt", "A.txt", "A.TXT ", " A.TXT", "*.TXT", "A.TX?", "out/A.TXT", "", "A"}) {
    EXPECT_EQ(unpak(name), "") << name;
  }
  // No output file, but the directory was made.
  EXPECT_EQ(tree(), (Tree{"a.pak", "out/"}));
  EXPECT_EQ(unpak("A.TXT"), out_path("A.TXT"));
  EXPECT_EQ(extracted("A.TXT"), to_bytes("upper"));
  if (!test::windows_build()) {  // where names that differ in case are different files
    EXPECT_EQ(unpak("a.TXT"), out_path("a.TXT"));
    EXPECT_EQ(extracted("a.TXT"), to_bytes("mixed"));
    EXPECT_EQ(extracted("A.TXT"), to_bytes("upper"));
  }
}

TEST_F(Extract, BlockDamagedInItsMagicGivesFileSizeZeroBytes) {
  write_archive(concat({packed_entry("both", 8, test::damaged(kBlockAbab, 0, 2, 'X')),
                        packed_entry("first", 8, test::damaged(kBlockAbab, 0, 1, 0)),
                        packed_entry("second", 64, test::damaged(kBlock64A, 1, 1, 'Q')),
                        packed_entry("tiny", 20, to_bytes("QZ")),  // cut inside its header
                        packed_entry("text", 5, to_bytes("hello world, not a block"))}));
  unpak_all();
  EXPECT_EQ(extracted("both"), repeated(8, 0));
  EXPECT_EQ(extracted("first"), repeated(8, 0));
  EXPECT_EQ(extracted("second"), repeated(64, 0));
  EXPECT_EQ(extracted("tiny"), repeated(20, 0));
  EXPECT_EQ(extracted("text"), repeated(5, 0));
}

TEST_F(Extract, BlockWithAWrongChecksumGivesTheDecodedBytes) {
  write_archive(concat({packed_entry("wrong", 8, test::damaged(kBlockAbab, 6, 1, 0xC1)),
                        packed_entry("unverified", 8, test::damaged(kBlockAbab, 6, 4, 0)),
                        packed_entry("wrongA", 64, test::damaged(kBlock64A, 9, 1, 0x15))}));
  unpak_all();
  EXPECT_EQ(extracted("wrong"), to_bytes("abababab"));
  EXPECT_EQ(extracted("unverified"), to_bytes("abababab"));
  EXPECT_EQ(extracted("wrongA"), repeated(64, 0x41));
}

TEST_F(Extract, EntryLargerThanItsBlockGetsAZeroTail) {
  write_archive(concat({packed_entry("ab12", 12, kBlockAbab), packed_entry("A100", 100, kBlock64A)}));
  unpak_all();
  EXPECT_EQ(extracted("ab12"), concat({to_bytes("abababab"), repeated(4, 0)}));
  EXPECT_EQ(extracted("A100"), concat({repeated(64, 0x41), repeated(36, 0)}));
}

TEST_F(Extract, EntrySmallerThanItsBlockNeverGetsMoreThanItsFileSize) {
  const Bytes unverified_abab = test::damaged(kBlockAbab, 6, 4, 0);
  const Bytes unverified_64a = test::damaged(kBlock64A, 6, 4, 0);
  write_archive(concat({packed_entry("ab5", 5, kBlockAbab), packed_entry("A10", 10, kBlock64A),
                        packed_entry("ab1", 1, kBlockAbab), packed_entry("ab5u", 5, unverified_abab),
                        packed_entry("A10u", 10, unverified_64a), packed_entry("ab7u", 7, unverified_abab),
                        stored_entry("after", "next")}));
  unpak_all();
  // A block with a checksum that cannot be verified within the file size is refused whole.
  EXPECT_EQ(extracted("ab5"), repeated(5, 0));
  EXPECT_EQ(extracted("A10"), repeated(10, 0));
  EXPECT_EQ(extracted("ab1"), repeated(1, 0));
  // Without a checksum, the bytes before the first copy that would not fit are kept.
  EXPECT_EQ(extracted("ab5u"), concat({to_bytes("ab"), repeated(3, 0)}));
  EXPECT_EQ(extracted("A10u"), concat({to_bytes("A"), repeated(9, 0)}));
  EXPECT_EQ(extracted("ab7u"), concat({to_bytes("ab"), repeated(5, 0)}));
  EXPECT_EQ(extracted("after"), to_bytes("next"));
}

TEST_F(Extract, DataCutShortGetsAZeroTail) {
  const Bytes head(kBlockAbab.begin(), kBlockAbab.begin() + 14);  // header and first bit word
  for (const auto& [name, entry, content] : std::vector<Sample>{
           {"stored", concat({test::line("stored"), {0}, test::line("10"), to_bytes("abcd")}),
            concat({to_bytes("abcd"), repeated(6, 0)})},
           {"no-data", concat({test::line("no-data"), {0}, test::line("3")}), repeated(3, 0)},
           {"packed", packed_entry("packed", 8, head, 18), concat({to_bytes("ab"), repeated(6, 0)})},
           {"header-only", packed_entry("header-only", 8, {}, 18), repeated(8, 0)},
       }) {
    write_archive(entry);
    EXPECT_EQ(unpak(name), out_path(name));
    EXPECT_EQ(extracted(name), content) << name;
    unpak_all();
    EXPECT_EQ(extracted(name), content) << name;
  }
}

TEST_F(Extract, PackedSizeFarBeyondTheArchiveStillDecodes) {
  write_archive(packed_entry("huge", 8, kBlockAbab, 2000000000));
  EXPECT_EQ(unpak("huge"), out_path("huge"));
  EXPECT_EQ(extracted("huge"), to_bytes("abababab"));
}

Bytes pseudo_random(std::size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes data(size);
  for (auto& b : data) b = static_cast<std::uint8_t>(gen() >> 24);
  return data;
}

TEST_F(Extract, StoredEntriesLargerThanTheCopyBufferAreCopiedWhole) {
  const Bytes big = pseudo_random((5u << 19) + 7, 1);  // 2.5 MiB and a few bytes
  write_archive(concat({stored_entry("big", big), stored_entry("after", "tail")}));
  unpak_all();
  EXPECT_EQ(extracted("big"), big);
  EXPECT_EQ(extracted("after"), to_bytes("tail"));
}

TEST_F(Extract, LargeStoredEntryCutShortGetsAZeroTail) {
  const Bytes part = pseudo_random((3u << 19) + 3, 2);  // 1.5 MiB and a bit
  const std::size_t claimed = 3u << 20;
  write_archive(concat({test::line("cut"), {0}, test::line(std::to_string(claimed)), part}));
  EXPECT_EQ(unpak("cut"), out_path("cut"));
  EXPECT_EQ(extracted("cut"), concat({part, repeated(claimed - part.size(), 0)}));
}

TEST_F(Extract, ClaimOfNearlyTwoGibibytesGetsItsZeroTailWithoutWritingIt) {
  // A few dozen bytes of archive claim a stored entry of 2,000,000,000 bytes: the file gets
  // that size, the bytes the archive holds and then zeros, with no 2 GB of writes.
  const std::size_t claimed = 2000000000;
  write_archive(concat({test::line("claim"), {0}, test::line(std::to_string(claimed)), to_bytes("held")}));
  EXPECT_EQ(unpak("claim"), out_path("claim"));
  ASSERT_EQ(fs::file_size(out_path("claim")), claimed);
  std::ifstream in(out_path("claim"), std::ios::binary);
  char head[8] = {};
  in.read(head, sizeof head);
  EXPECT_EQ(std::string(head, sizeof head), std::string("held\0\0\0\0", 8));
  in.seekg(static_cast<std::streamoff>(claimed - 4));
  char tail[4] = {1, 1, 1, 1};
  in.read(tail, sizeof tail);
  EXPECT_EQ(std::string(tail, sizeof tail), std::string(4, '\0'));
  in.close();
  fs::remove(out_path("claim"));
}

TEST_F(Extract, NegativeSizeEndsTheScan) {
  write_archive(concat({stored_entry("before", "b"), test::line("neg"), {0}, test::line("-5"),
                        stored_entry("after", "a")}));
  unpak_all();
  EXPECT_EQ(tree(), (Tree{"a.pak", "out/", "out/before"}));
  EXPECT_EQ(unpak("after"), "");
}

TEST_F(Extract, MissingArchiveIsCreatedEmptyAndTheDirectoryMade) {
  EXPECT_EQ(unpak("x"), "");
  EXPECT_EQ(tree(), (Tree{"a.pak", "out/"}));
  EXPECT_TRUE(test::read_file(archive).empty());
  fs::remove_all(out);
  unpak_all();
  EXPECT_EQ(tree(), (Tree{"a.pak", "out/"}));
}

TEST_F(Extract, ArchiveThatCannotBeOpenedStillMakesTheDirectory) {
  fs::create_directory(archive);  // a directory where the archive should be
  EXPECT_EQ(unpak("x"), "");
  EXPECT_EQ(tree(), (Tree{"a.pak/", "out/"}));
  fs::remove_all(out);
  unpak_all();
  EXPECT_EQ(tree(), (Tree{"a.pak/", "out/"}));
}

TEST_F(Extract, OutputFileThatCannotBeCreatedIsPassedOver) {
  write_archive(concat({stored_entry("sub", "blocked"), packed_entry("abab", 8, kBlockAbab)}));
  fs::create_directories(fs::path(out) / "sub");
  EXPECT_EQ(unpak("sub"), "");  // nothing was written, so no path is reported
  unpak_all();
  EXPECT_EQ(tree(), (Tree{"a.pak", "out/", "out/abab", "out/sub/"}));
  EXPECT_EQ(extracted("abab"), to_bytes("abababab"));
}

TEST_F(Extract, MissingParentDirectoryWritesNothing) {
  write_archive(stored_entry("f", "data"));
  const std::string deep = dir.file("none") + test::native_separator() + "out";
  EXPECT_EQ(unpak_into(deep, "f"), "");
  mytarvo::unpak_all(lib, archive.c_str(), deep.c_str());
  EXPECT_EQ(tree(), Tree{"a.pak"});
}

TEST_F(Extract, ArchiveIsNeverOverwrittenByItsOwnEntry) {
  // Extracting into the archive's own directory an entry named like the archive: the
  // archive is open for reading, so its name cannot be created anew.
  write_archive(concat({stored_entry("a.pak", "would replace the archive"), stored_entry("b", "bee")}));
  const Bytes before = test::read_file(archive);
  const std::string here = dir.path().string();
  EXPECT_EQ(unpak_into(here, "a.pak"), "");
  EXPECT_EQ(test::read_file(archive), before);
  mytarvo::unpak_all(lib, archive.c_str(), here.c_str());
  EXPECT_EQ(test::read_file(archive), before);
  EXPECT_EQ(test::read_text(dir.file("b")), "bee");
}

// An entry claiming the largest size a size line holds is decoded a piece at a time: no
// buffer of its size is needed, so even a 32-bit process extracts it, decoded head and
// zero tail.
TEST_F(Extract, EntryLargerThanAnyBufferIsStillExtracted) {
  write_archive(concat({packed_entry("vast", 2147483647, kBlockAbab), stored_entry("after", "kept")}));
  EXPECT_EQ(unpak("vast"), out_path("vast"));
  EXPECT_EQ(fs::file_size(out_path("vast")), 2147483647u);
  Bytes head(16);
  std::ifstream in(out_path("vast"), std::ios::binary);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  EXPECT_EQ(head, concat({to_bytes("abababab"), repeated(8, 0)}));
  in.close();
  fs::remove(out_path("vast"));
  unpak_all();
  EXPECT_EQ(tree(), (Tree{"a.pak", "out/", "out/after", "out/vast"}));
  EXPECT_EQ(extracted("after"), to_bytes("kept"));
  EXPECT_EQ(fs::file_size(out_path("vast")), 2147483647u);
}

TEST_F(Extract, ResultStaysInTheWorkAreaUntilTheNextCall) {
  write_archive(stored_entry("x", "1"));
  const char* first = mytarvo::unpak(lib, archive.c_str(), out.c_str(), "x");
  EXPECT_EQ(first, lib.work_area().c_str());
  EXPECT_EQ(std::string(first), out_path("x"));
  const char* none = mytarvo::unpak(lib, archive.c_str(), out.c_str(), "y");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(std::string(none), "");
  EXPECT_EQ(std::string(mytarvo::unpak(lib, nullptr, nullptr, nullptr)), "");
}

}  // namespace
}  // namespace mytarvo
