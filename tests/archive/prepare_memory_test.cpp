// prepare_entry_from_memory: the same entry as prepare_entry makes from a file of that
// content, and the names and sizes it refuses; pack_entry_best on both kinds of entry.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/pak_builder.hpp"
#include "mytarvo/archive.hpp"
#include "mytarvo/codec.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::to_bytes;

std::vector<std::pair<std::string, Bytes>> memory_samples() {
  Bytes text;
  for (int i = 0; i < 300; ++i) {
    std::string line = "memory line ";
    line += std::to_string(i % 23);
    line += '\n';
    for (char c : line) text.push_back(static_cast<std::uint8_t>(c));
  }
  Bytes noise(2000);
  std::uint32_t state = 11;
  for (auto& b : noise) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  return {{"text", text}, {"noise", noise}, {"empty", {}}, {"fourteen", Bytes(14, 'a')}, {"fifteen", Bytes(15, 'a')}};
}

TEST(PrepareFromMemory, MakesTheEntryAFileOfThatContentMakes) {
  test::TempDir dir;
  for (const Packing packing : {Packing::Pack, Packing::Store}) {
    for (const auto& [name, content] : memory_samples()) {
      test::write_file(dir.file(name), content);
      const PreparedEntry from_file = prepare_entry(dir.file(name), packing);
      const PreparedEntry from_memory = prepare_entry_from_memory(name, content, packing);
      ASSERT_TRUE(from_memory.ok()) << from_memory.error;
      EXPECT_EQ(from_memory.name, from_file.name);
      EXPECT_EQ(from_memory.flag, from_file.flag) << name;
      EXPECT_EQ(from_memory.file_size, from_file.file_size) << name;
      // A stored file is copied from the file when appended (streamed, no data held);
      // from memory the content is the data.
      EXPECT_FALSE(from_memory.streamed);
      EXPECT_EQ(from_memory.data, from_file.streamed ? content : from_file.data) << name;
      EXPECT_TRUE(from_memory.source.empty());
    }
  }
}

// The best mode packs a stored entry, from a file (read whole) or from memory, into the
// block pack_best makes, and only where that block is smaller than the content.
TEST(PackEntryBest, KeepsTheBestBlockOnlyWhenSmaller) {
  test::TempDir dir;
  for (const auto& [name, content] : memory_samples()) {
    test::write_file(dir.file(name), content);
    Bytes block(content.size());
    const std::uint32_t size = content.empty() ? 0 : pack_best(content, block);
    const bool packs = size != 0 && size < content.size();
    block.resize(packs ? size : 0);
    for (PreparedEntry entry : {prepare_entry(dir.file(name), Packing::Store),
                                prepare_entry_from_memory(name, content, Packing::Store)}) {
      pack_entry_best(entry);
      ASSERT_TRUE(entry.ok()) << entry.error;
      EXPECT_EQ(entry.flag, packs ? 1 : 0) << name;
      if (packs || !entry.streamed) {
        EXPECT_EQ(entry.data, packs ? block : content) << name;
      }
    }
  }
  // A source that went missing after preparing stays a streamed stored entry.
  test::write_file(dir.file("gone"), memory_samples().front().second);
  PreparedEntry gone = prepare_entry(dir.file("gone"), Packing::Store);
  std::filesystem::remove(dir.file("gone"));
  pack_entry_best(gone);
  EXPECT_EQ(gone.flag, 0);
  EXPECT_TRUE(gone.streamed);
}

TEST(PrepareFromMemory, RefusesNamesThatCannotStandOnANameLine) {
  const Bytes content = to_bytes("content");
  for (const std::string& name : {std::string(), std::string("a\rb"), std::string("a\nb"), std::string("a\0b", 3)}) {
    const PreparedEntry entry = prepare_entry_from_memory(name, content, Packing::Pack);
    EXPECT_FALSE(entry.ok()) << name;
    EXPECT_TRUE(entry.data.empty());
  }
}

}  // namespace
}  // namespace mytarvo
