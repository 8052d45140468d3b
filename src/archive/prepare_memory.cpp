// Preparing an entry from bytes in memory, for callers that have the content rather than
// a file: the same checks and storage decision as for a file of that content.
#include <algorithm>
#include <new>

#include "archive/add_entry.hpp"
#include "mytarvo/archive.hpp"

namespace mytarvo {

namespace {

Outcome check_content(std::string_view name, std::size_t size) {
  if (size > static_cast<std::uint64_t>(kLargestEntry)) return Outcome::SourceTooLarge;
  if (!is_storable_entry_name(name)) return Outcome::SourceNameUnstorable;
  return Outcome::Done;
}

// Copies `content` into `entry` and decides how it is stored, as read_source does.
Outcome take_content(std::span<const std::uint8_t> content, std::int32_t compress, SourceEntry& entry) {
  FreeStore buffers;
  entry.size = static_cast<std::uint32_t>(content.size());
  entry.content = buffers.take_buffer(entry.size);
  if (compress == 1) entry.packed = buffers.take_buffer(entry.size);
  if (entry.content.missing() || entry.packed.missing()) return Outcome::NoMemory;
  std::copy(content.begin(), content.end(), entry.content.data());
  decide_packing(entry, compress);
  return Outcome::Done;
}

}  // namespace

PreparedEntry prepare_entry_from_memory(std::string_view name, std::span<const std::uint8_t> content,
                                        Packing packing) {
  PreparedEntry entry;
  entry.name = name;
  if (name.empty()) {
    entry.error = "an entry name cannot be empty";
    return entry;
  }
  Outcome outcome = check_content(name, content.size());
  SourceEntry prepared;
  try {
    if (outcome == Outcome::Done) outcome = take_content(content, packing == Packing::Pack ? 1 : 0, prepared);
    if (outcome == Outcome::Done) {
      const EntryRecord record = prepared.record();
      entry.flag = record.flag;
      entry.file_size = prepared.size;
      entry.data.assign(record.data.begin(), record.data.end());
    }
  } catch (const std::bad_alloc&) {
    outcome = Outcome::NoMemory;
  }
  if (outcome != Outcome::Done) {
    entry.error = describe(outcome);
    entry.data = {};
  }
  return entry;
}

}  // namespace mytarvo
