// The two halves of adding a file: deciding how its bytes are stored (packed only when
// that makes them smaller), and appending the entry so that the archive ends up either
// with the whole entry or exactly as it was. AddToPak and the command-line tool share
// them, so both write the same bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/library.hpp"

namespace mytarvo {

// The pack level every added file is packed at.
inline constexpr std::int32_t kAddPackLevel = 9;

struct PackingDecision {
  std::uint8_t flag = 0;          // 1: packed; otherwise stored unchanged
  std::uint32_t packed_size = 0;  // bytes of the packed block when flag is 1
};

// The largest file an entry can describe: its size line holds a signed 32-bit number.
inline constexpr std::int64_t kLargestEntry = 2147483647;

// Whether a source can become an entry, judged by the answer of the size query and the
// entry name it would get. Missing sources, directories, files too large for a size line
// and names that a line cannot hold are not added.
enum class SourceCheck { Ok, Missing, Directory, TooLarge, BadName };
[[nodiscard]] SourceCheck check_source(std::int64_t size, std::string_view name);

// Told how far packing has got: the input position reached. Nonzero to go on.
using PackProgressFn = int (*)(std::uint32_t position, std::uint32_t bytes_stored, void* user);

// With `compress` exactly 1, packs `size` bytes of `content` into `packed` (which holds
// `size` bytes) and keeps the block only when it is smaller than the content; an empty
// content stays "packed" with no block at all. Any other `compress` stores the content
// with its low 8 bits as the flag, except that a stored entry never gets flag 1 (it gets 0).
PackingDecision decide_packing(const std::uint8_t* content, std::uint32_t size, std::int32_t compress,
                               std::uint8_t* packed);
// The same decision, reporting the packing's progress to `progress` (which may be null).
// The block is exactly the one the call above makes.
PackingDecision decide_packing(const std::uint8_t* content, std::uint32_t size, std::int32_t compress,
                               std::uint8_t* packed, PackProgressFn progress, void* user);

// Whether `name` can stand as an entry name line: no CR, LF or NUL inside.
bool is_storable_entry_name(std::string_view name);

// Appends one entry at the end of the archive open as `number`. When any write (or the
// flush that ends them) fails, cuts the archive back to its length before the call and
// returns false; the archive then holds either the whole entry or its old bytes.
bool append_entry(Library& lib, int number, std::string_view name, const PackingDecision& decision,
                  const std::uint8_t* content, std::uint32_t size, const std::uint8_t* packed);

}  // namespace mytarvo
