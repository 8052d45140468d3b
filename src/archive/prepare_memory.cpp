// Preparing an entry from bytes in memory, for callers that have the content rather than
// a file: the same storage decision as for a file of that content.
#include <new>

#include "archive/add_entry.hpp"
#include "archive/archive_format.hpp"
#include "mytarvo/archive.hpp"

namespace mytarvo {

namespace {

std::string_view memory_problem(std::string_view name, std::size_t size) {
  if (name.empty()) return "an entry name cannot be empty";
  if (!is_storable_entry_name(name)) return "its name holds a line break or NUL and cannot be stored";
  if (size > static_cast<std::uint64_t>(kLargestEntry)) return "too large for an archive entry (2 GiB or more)";
  return {};
}

void fill_from_memory(PreparedEntry& entry, std::span<const std::uint8_t> content, Packing packing) {
  const auto size = static_cast<std::uint32_t>(content.size());
  const std::int32_t compress = packing == Packing::Pack ? 1 : 0;
  std::vector<std::uint8_t> packed(packing == Packing::Pack ? size : 0);
  const PackingDecision decision = decide_packing(content.data(), size, compress, packed.data());
  entry.flag = decision.flag;
  entry.file_size = size;
  if (decision.flag == kFlagPacked) {
    packed.resize(decision.packed_size);
    packed.shrink_to_fit();
    entry.data = std::move(packed);
  } else {
    entry.data.assign(content.begin(), content.end());
  }
}

}  // namespace

PreparedEntry prepare_entry_from_memory(std::string_view name, std::span<const std::uint8_t> content,
                                        Packing packing) {
  PreparedEntry entry;
  entry.name = name;
  entry.error = memory_problem(name, content.size());
  if (!entry.ok()) return entry;
  try {
    fill_from_memory(entry, content, packing);
  } catch (const std::bad_alloc&) {
    entry.error = "not enough memory to pack it";
    entry.data = {};
  }
  return entry;
}

}  // namespace mytarvo
