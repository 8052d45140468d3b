// tarvo add --best: packs a file read for storing in the best mode, and keeps the block
// only when it is smaller than the file (as AddToPak keeps a level-9 block).
#include <new>

#include "mytarvo/codec.hpp"
#include "prepare_pipeline.hpp"

namespace tarvo {

void pack_best(mytarvo::PreparedEntry& entry) {
  if (!entry.ok() || entry.flag != 0 || entry.data.empty()) return;
  try {
    std::vector<std::uint8_t> block(entry.data.size());
    const std::uint32_t size = mytarvo::pack_best(entry.data, block);
    if (size == 0 || size >= entry.data.size()) return;
    block.resize(size);
    entry.data = std::move(block);
    entry.flag = 1;
  } catch (const std::bad_alloc&) {
    // Stored as it was read.
  }
}

}  // namespace tarvo
