// Packing decision and failure-safe append of one archive entry.
#include "archive/add_entry.hpp"

#include "archive/archive_format.hpp"
#include "codec/block_encoder.hpp"

namespace mytarvo {

SourceCheck check_source(std::int64_t size, std::string_view name) {
  if (size == -2) return SourceCheck::Directory;
  if (size < 0) return SourceCheck::Missing;
  if (size > kLargestEntry) return SourceCheck::TooLarge;
  if (!is_storable_entry_name(name)) return SourceCheck::BadName;
  return SourceCheck::Ok;
}

PackingDecision decide_packing(const std::uint8_t* content, std::uint32_t size, std::int32_t compress,
                               std::uint8_t* packed) {
  return decide_packing(content, size, compress, packed, nullptr, nullptr);
}

PackingDecision decide_packing(const std::uint8_t* content, std::uint32_t size, std::int32_t compress,
                               std::uint8_t* packed, PackProgressFn progress, void* user) {
  PackingDecision decision;
  if (compress != 1) {
    const auto low = static_cast<std::uint8_t>(compress & 0xFF);
    decision.flag = low == kFlagPacked ? 0 : low;  // a stored entry must never read as packed
    return decision;
  }
  decision.flag = kFlagPacked;
  if (size == 0) return decision;  // an empty file is "packed" with no block at all
  const std::uint32_t result = progress == nullptr
                                    ? codec::pack(content, packed, size, kAddPackLevel)
                                    : codec::pack(content, packed, size, kAddPackLevel, progress, user);
  if (result == 0 || result >= size) return PackingDecision{};  // not smaller: store unchanged
  decision.packed_size = result;
  return decision;
}

bool is_storable_entry_name(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool append_entry(Library& lib, int number, std::string_view name, const PackingDecision& decision,
                  const std::uint8_t* content, std::uint32_t size, const std::uint8_t* packed) {
  const std::uint64_t old_length = lib.length(number);
  lib.seek(number, old_length);
  const bool is_packed = decision.flag == kFlagPacked;
  write_entry(lib, number, name, decision.flag, static_cast<std::int32_t>(size),
              static_cast<std::int32_t>(decision.packed_size), is_packed ? packed : content,
              is_packed ? decision.packed_size : size);
  BufferedFile& file = lib.file(number);
  if (file.flush()) return true;
  // Half an entry would hide every entry appended after it from readers: cut it off.
  // Once cut off, the failed bytes are gone: later appends start clean.
  if (file.truncate(old_length)) file.forget_write_failure();
  return false;
}

}  // namespace mytarvo
