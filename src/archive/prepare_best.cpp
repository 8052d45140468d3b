// Packing a prepared entry in the codec's best mode: the block is kept only when it is
// smaller than the content, the rule AddToPak applies to a level-9 block.
#include <fstream>
#include <new>
#include <vector>

#include "mytarvo/archive.hpp"
#include "mytarvo/codec.hpp"

namespace mytarvo {

namespace {

// A stored entry is prepared without reading its file (it is copied when appended); the
// best mode needs the content in memory. False when it cannot be read whole: the entry
// then stays streamed, and appending it reports the file that no longer holds its size.
bool read_content(PreparedEntry& entry) {
  std::vector<std::uint8_t> content(entry.file_size);
  std::ifstream in(entry.source, std::ios::binary);
  in.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(content.size()));
  if (!in || static_cast<std::size_t>(in.gcount()) != content.size()) return false;
  entry.data = std::move(content);
  entry.streamed = false;
  return true;
}

}  // namespace

void pack_entry_best(PreparedEntry& entry) {
  if (!entry.ok() || entry.flag != 0 || entry.file_size == 0) return;
  try {
    if (entry.streamed && !read_content(entry)) return;
    std::vector<std::uint8_t> block(entry.data.size());
    const std::uint32_t size = pack_best(entry.data, block);
    if (size == 0 || size >= entry.data.size()) return;
    block.resize(size);
    entry.data = std::move(block);
    entry.flag = 1;
  } catch (const std::bad_alloc&) {
    // Stored as it was prepared.
  }
}

}  // namespace mytarvo
