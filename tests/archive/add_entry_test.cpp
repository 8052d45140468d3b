// The shared half of adding a file: what read_source reports for every kind of source,
// that the heap of the C functions and the free store of the C++ interface give the same
// entry, and what append_entry writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/add_entry.hpp"
#include "archive/library.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::TempDir;
using test::to_bytes;

struct SourceCase {
  const char* label;
  const char* name;  // created as a file unless `directory`; "" for a missing source
  bool directory;
  std::int32_t compress;
  Outcome outcome;
  std::uint8_t flag;  // when Done
};

// Text that packs well, so that packing keeps the block.
Bytes repetitive() {
  Bytes bytes;
  for (int i = 0; i < 400; ++i) {
    const Bytes line = to_bytes("line " + std::to_string(i % 7) + " of a repetitive text\n");
    bytes.insert(bytes.end(), line.begin(), line.end());
  }
  return bytes;
}

class ReadSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(ReadSource, ReportsItsOutcomeAlikeFromEitherBufferSource) {
  const SourceCase& c = GetParam();
  TempDir dir;
  std::string path = dir.file(c.name);
  if (c.directory) {
    std::filesystem::create_directory(path);
  } else if (c.name[0] != '\0') {
    test::write_file(path, repetitive());
  } else {
    path = dir.file("missing.txt");
  }
  Library lib;
  FreeStore store;
  BufferedFile from_heap_file;
  BufferedFile from_store_file;
  SourceEntry from_heap;
  SourceEntry from_store;
  ASSERT_EQ(read_source(path, c.compress, lib, from_heap_file, from_heap), c.outcome);
  ASSERT_EQ(read_source(path, c.compress, store, from_store_file, from_store), c.outcome);
  EXPECT_EQ(from_heap_file.is_open(), from_store_file.is_open());
  if (c.outcome != Outcome::Done) {
    EXPECT_FALSE(from_heap_file.is_open());  // refused before the source was opened
    return;
  }
  const EntryRecord a = from_heap.record();
  const EntryRecord b = from_store.record();
  EXPECT_EQ(a.name, c.name);
  EXPECT_EQ(a.flag, c.flag);
  EXPECT_EQ(a.file_size, static_cast<std::int32_t>(repetitive().size()));
  EXPECT_EQ(Bytes(a.data.begin(), a.data.end()), Bytes(b.data.begin(), b.data.end()));
  EXPECT_EQ(a.flag, b.flag);
  if (c.flag == 1) {
    EXPECT_LT(a.data.size(), repetitive().size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSource,
    ::testing::Values(SourceCase{"packed", "a.txt", false, 1, Outcome::Done, 1},
                      SourceCase{"stored", "a.txt", false, 0, Outcome::Done, 0},
                      SourceCase{"flagOneStoredAsZero", "a.txt", false, 257, Outcome::Done, 0},
                      SourceCase{"otherFlagKept", "a.txt", false, 7, Outcome::Done, 7},
                      SourceCase{"missing", "", false, 1, Outcome::NoSuchSource, 0},
                      SourceCase{"directory", "d", true, 1, Outcome::SourceIsDirectory, 0}),
    [](const ::testing::TestParamInfo<SourceCase>& info) { return std::string(info.param.label); });

TEST(AppendEntry, WritesTheEntryAtTheEndWhereverTheFileStands) {
  TempDir dir;
  const std::string path = dir.file("a.pak");
  test::write_file(path, to_bytes("head\r\n"));
  BufferedFile archive;
  ASSERT_TRUE(archive.open(path.c_str(), platform::OpenMode::OpenOrCreate));
  EXPECT_EQ(read_line(archive), "head");  // the position is no longer the end
  archive.seek(0);
  const Bytes data = to_bytes("xyz");
  EXPECT_EQ(append_entry(archive, {"n", 0, 3, data}), Outcome::Done);
  ASSERT_TRUE(archive.close());
  Bytes expected = to_bytes("head\r\nn\r\n");
  expected.push_back(0);
  const Bytes rest = to_bytes("3\r\nxyz");
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(test::read_file(path), expected);
}

TEST(Outcome, EveryFailureHasItsOwnDescription) {
  EXPECT_EQ(describe(Outcome::NoSuchSource), "no such file");
  EXPECT_EQ(describe(Outcome::SourceIsDirectory), "is a directory");
  EXPECT_EQ(describe(Outcome::CannotCreateArchive), "cannot be created");
  EXPECT_EQ(describe(Outcome::NoMemory), "not enough memory to read and pack it");
}

}  // namespace
}  // namespace mytarvo
