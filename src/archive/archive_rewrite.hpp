// Rewriting an archive safely: the common engine of removing, replacing, renaming and
// repairing entries. The archive's writer lock is held from the start to the end, so no
// other writer appends to the file while it is being replaced; a writer that waited for
// the lock finds afterwards that the path names a new file and opens that one. The new
// archive is written to a temporary file in the archive's directory, untouched entries
// copied as raw bytes in chunks, flushed to the disk and renamed over the old archive:
// whenever the process stops, the path holds the old archive or the new one, whole. A
// failed or interrupted rewrite removes its temporary file and leaves the archive as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mytarvo/archive.hpp"
#include "support/interrupt.hpp"
#include "support/platform.hpp"

namespace mytarvo {

// The entries of a locked archive, as the entry scan reads them.
struct LockedArchive {
  std::uint64_t size = 0;
  bool has_header = false;
  std::uint64_t header_end = 0;  // where the first entry starts
  std::vector<ArchiveEntry> entries;
  std::optional<ArchiveEntry> bad_tail;
};

// Where an entry's bytes end: after its data, or at the end of the archive when its data
// is cut short.
[[nodiscard]] std::uint64_t entry_end(const ArchiveEntry& entry, std::uint64_t archive_size);

class ArchiveRewrite {
 public:
  static constexpr std::uint32_t kChunk = 1u << 20;            // bytes copied through the buffer at a time
  static constexpr std::uint32_t kSystemCopyStep = 16u << 20;  // bytes the system copies at a time

  // Opens the archive at `path` and waits for its writer lock. Throws ArchiveError when
  // it cannot be opened, or when `require_header` and its first line is not the header.
  ArchiveRewrite(std::string path, bool require_header);
  ~ArchiveRewrite();  // without commit(): removes the temporary file; the archive stays
  ArchiveRewrite(const ArchiveRewrite&) = delete;
  ArchiveRewrite& operator=(const ArchiveRewrite&) = delete;

  [[nodiscard]] const LockedArchive& archive() const { return archive_; }
  // Reads up to `count` bytes of the old archive at `offset`; the number read.
  [[nodiscard]] std::uint32_t read_old(std::uint64_t offset, void* buffer, std::uint32_t count);

  // Creates the temporary file the new archive is written to. The calls below throw
  // ArchiveError when writing fails or the process is interrupted; the archive then
  // stays as it was and the temporary file is gone.
  void begin();
  // Appends bytes [from, to) of the old archive.
  void copy(std::uint64_t from, std::uint64_t to);
  void write(const void* data, std::size_t count);
  void write(std::string_view text) { write(text.data(), text.size()); }
  // Makes the new archive the archive: flush, sync, permissions, rename.
  void commit();
  // Abandons the rewrite (the temporary file is removed) and throws ArchiveError.
  [[noreturn]] void fail(const std::string& what);

 private:
  void open_locked();
  void scan();
  void remove_stale_temporaries();
  void flush_output();
  void check_interrupt();
  void discard();

  std::string shown_;  // the path as given, for messages
  std::string path_;   // the file it leads to
  platform::FileHandle old_ = platform::kNoFile;
  LockedArchive archive_;
  std::unique_ptr<platform::InterruptGuard> guard_;
  std::string temporary_;
  platform::FileHandle new_ = platform::kNoFile;
  std::uint64_t written_ = 0;
  bool system_copy_ = true;  // until the system turns out not to copy between the files
  std::vector<std::uint8_t> buffer_;  // bytes waiting to be written to the new archive
};

}  // namespace mytarvo
