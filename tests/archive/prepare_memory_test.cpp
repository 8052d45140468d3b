// prepare_entry_from_memory: the same entry as prepare_entry makes from a file of that
// content, and the names and sizes it refuses.
#include <gtest/gtest.h>

#include "archive/pak_builder.hpp"
#include "mytarvo/archive.hpp"

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
