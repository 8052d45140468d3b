// Adding a file, shared by AddToPak and the C++ interface so that both write the same
// bytes: reading a source whole and deciding how it is stored (packed only when that
// makes it smaller), and appending the entry so that the archive ends up either with the
// whole entry or exactly as it was. What the callers do with a failure is theirs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/archive_format.hpp"
#include "archive/buffered_file.hpp"
#include "archive/data_buffer.hpp"
#include "archive/outcome.hpp"

namespace mytarvo {

// The pack level every added file is packed at.
inline constexpr std::int32_t kAddPackLevel = 9;

// The largest file an entry can describe: its size line holds a signed 32-bit number.
inline constexpr std::int64_t kLargestEntry = 2147483647;

// Told how far packing has got: the input position reached. Nonzero to go on.
using PackProgressFn = int (*)(std::uint32_t position, std::uint32_t bytes_stored, void* user);

// Bytes a stored source is copied through when it is appended.
inline constexpr std::uint32_t kCopyChunk = std::uint32_t{1} << 20;

// A source ready to be appended: read whole (to be packed, or stored after packing did
// not make it smaller), or streamed: stored, and copied from the open source file a chunk
// at a time when it is appended.
struct SourceEntry {
  std::string name;       // the entry name: paths::stored_name of the source path
  DataBuffer content;     // the source's bytes (none for an empty source); a chunk when streamed
  DataBuffer packed;      // room for the packed block when packing was asked for
  std::uint32_t size = 0; // bytes read into `content`; the source's length when streamed
  std::uint8_t flag = 0;  // 1: packed; otherwise stored unchanged
  std::uint32_t packed_size = 0;
  BufferedFile* streamed_from = nullptr;  // the open source when streamed

  // The entry as the writer takes it; valid while this object lives.
  [[nodiscard]] EntryRecord record() const;
};

// Opens the source at `path` and decides how it is stored. The size query is asked once;
// missing sources, directories, files too large for a size line and names a line cannot
// hold are refused before the source is opened. The source is opened in `source`, which
// the caller keeps open until the entry is appended and then closes. Buffers come from
// `buffers`. With `compress` exactly 1 the content is read whole and packed at level 9,
// and kept packed only when that is smaller (an empty source is "packed" with no block at
// all); when the memory to pack it cannot be had, it is streamed and stored with flag 0.
// Any other value streams it with its low 8 bits as the flag, except that a stored entry
// never gets flag 1 (it gets 0). `progress` (may be null) is told how far packing has got.
Outcome read_source(const std::string& path, std::int32_t compress, BufferSource& buffers, BufferedFile& source,
                    SourceEntry& entry, PackProgressFn progress = nullptr, void* user = nullptr);

// Decides how the `entry.size` bytes of `entry.content` are stored, by the rules of
// read_source (which calls it once the source is read); `entry.packed` must hold
// `entry.size` bytes when `compress` is 1.
void decide_packing(SourceEntry& entry, std::int32_t compress, PackProgressFn progress = nullptr,
                    void* user = nullptr);

// Whether `name` can stand as an entry name line: no CR, LF or NUL inside.
bool is_storable_entry_name(std::string_view name);

// Appends one entry at the end of `archive`, after the header line when the archive is
// empty (0 bytes), copying a streamed content from its file (from the file's start). When
// any write (or the flush that ends them) fails, cuts the archive back to its length before
// the call and reports WriteFailed; when the file gives fewer bytes than the entry's size
// (it shrank, or a read failed), cuts it back and reports CannotReadSource. The archive
// then holds either the whole entry or its old bytes.
Outcome append_entry(BufferedFile& archive, const EntryRecord& entry);

}  // namespace mytarvo
