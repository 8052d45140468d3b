// C++ access to pak archives for tools: read, verify and extract entries, prepare and
// append new ones, create empty archives. It runs on the same code as the five C
// functions of mytarvo.h, so an archive written here is byte for byte the archive those
// functions write, and it is read by the same rules.
//
// Unlike the C functions, these report what went wrong: opening an archive throws
// ArchiveError with a reason, and every entry operation returns its outcome. Objects of
// these classes are not shared between threads; prepare_entry may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mytarvo {

// An archive that cannot be opened, read or created; what() names the path and the reason.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One entry of an archive, as its header lines describe it.
struct ArchiveEntry {
  std::string name;                 // exactly as stored
  std::uint8_t flag = 0;            // 1: packed; any other value: stored unchanged
  std::uint32_t file_size = 0;      // size of the file the entry holds
  std::uint32_t packed_size = 0;    // size of the packed block; 0 unless packed()
  std::uint64_t header_offset = 0;  // where the entry's name line starts
  std::uint64_t data_offset = 0;    // where the entry's data starts

  [[nodiscard]] bool packed() const { return flag == 1; }
  // Bytes of entry data in the archive: the packed size or the file size.
  [[nodiscard]] std::uint32_t data_size() const { return packed() ? packed_size : file_size; }
};

// What is wrong with an entry's data.
enum class Damage {
  None,
  CutShort,      // the archive ends before the entry's data does
  NotABlock,     // packed data that does not start like a packed block
  SizeMismatch,  // a block that unpacks to another size than the entry's file size
  BadBlock,      // a block that does not decode, or whose checksum does not match
  Unreadable,    // the data could not be read, or there was no memory to hold it
};
// A short English description, e.g. "packed block does not decode or fails its checksum".
[[nodiscard]] std::string_view describe(Damage damage);

// An entry's file content, or the reason why it cannot be had.
struct EntryData {
  std::vector<std::uint8_t> bytes;  // file_size bytes when damage is None, else empty
  Damage damage = Damage::None;
};

// Receives an entry's content a piece at a time (ArchiveReader::stream).
class ContentSink {
 public:
  virtual ~ContentSink() = default;
  // Takes the next piece of the content; false stops the reading.
  virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
  // Drops every piece written so far, to receive the content again from its first byte;
  // false (the default) when the sink cannot. Asked only for a packed block that copies
  // from farther back than blocks written by this library ever do.
  virtual bool restart() { return false; }
};

// Reads an existing archive. Every entry header is read when the archive is opened;
// entry data is read on demand.
class ArchiveReader {
 public:
  // Opens the archive at `path` read-only; never creates a file. Throws ArchiveError
  // when nothing is there, when it is a directory or when it cannot be opened.
  explicit ArchiveReader(const std::string& path);
  ~ArchiveReader();
  ArchiveReader(ArchiveReader&&) noexcept;
  ArchiveReader& operator=(ArchiveReader&&) noexcept;

  [[nodiscard]] const std::string& path() const;
  // Whether the first line is the archive header line. Archives without it are read
  // all the same, taking their first line as the header.
  [[nodiscard]] bool has_header() const;
  // The archive's length in bytes.
  [[nodiscard]] std::uint64_t size() const;
  // Every entry, in archive order (duplicates included).
  [[nodiscard]] const std::vector<ArchiveEntry>& entries() const;
  // When the entries end at a header that gives a negative size (which no writer
  // produces, and which hides everything after it): that header, as read.
  [[nodiscard]] const std::optional<ArchiveEntry>& bad_tail() const;
  // The first entry named exactly `name` (case-sensitive), or null.
  [[nodiscard]] const ArchiveEntry* find_first(std::string_view name) const;

  // Reads an entry's data and, for a packed entry, decodes it into exactly file_size
  // bytes (the decoder never writes beyond them) and checks the block checksum.
  [[nodiscard]] EntryData read(const ArchiveEntry& entry);
  // What read() would report, without keeping the content; memory does not grow with
  // the entry's size, and damage stops the decoding as soon as the data shows it.
  [[nodiscard]] Damage verify(const ArchiveEntry& entry);
  // The entry's header exactly as stored: the bytes from its name line up to its data.
  [[nodiscard]] std::string header_bytes(const ArchiveEntry& entry);
  // Hands the entry's content to `sink` in pieces of at most 1 MiB, decoding a packed
  // entry as it goes, so that memory does not grow with the entry's size. The result is
  // what read() reports. Damage found before the end stops the pieces there; the checksum
  // of a packed entry is known only at its end, so the pieces are known good only when the
  // result is Damage::None (call verify() first to write nothing of a damaged entry). When
  // the sink returns false the reading stops and the result is Damage::None: the sink
  // knows why. A sink that cannot restart gets Damage::Unreadable for a block that needs
  // the farther history unless verify() has seen the entry first.
  [[nodiscard]] Damage stream(const ArchiveEntry& entry, ContentSink& sink);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- Writing ------------------------------------------------------------------------------

enum class Packing {
  Pack,   // packed at level 9 when that makes the file smaller (AddToPak's switch 1)
  Store,  // stored unchanged (AddToPak's switch 0)
};

// Told the input position reached while a file is packed; called on the preparing thread.
using PackProgress = std::function<void(std::uint32_t position)>;

// A file ready to be appended: its entry name, flag and the bytes that follow its size
// lines, held in memory or, for a stored file, read from the file when it is appended.
struct PreparedEntry {
  std::string source;               // the path it was read from
  std::string name;                 // the entry name: the file part of `source`
  std::string error;                // why it cannot be added; empty when it can
  std::uint8_t flag = 0;            // 1: packed; 0: stored
  std::uint32_t file_size = 0;
  std::vector<std::uint8_t> data;   // the packed block, or the content when stored
  // Stored, with `data` empty: the content is the first file_size bytes of `source`,
  // copied a chunk at a time by ArchiveAppender::append.
  bool streamed = false;

  [[nodiscard]] bool ok() const { return error.empty(); }
};

// Looks at the file at `source` and decides how it is stored exactly as AddToPak does
// (packed only when the block is smaller than the file). Packing reads the file whole; a
// file stored unchanged (asked for, or too large to pack in the memory at hand) is not
// read until it is appended: `streamed`. Touches no archive and no shared
// state, so several can run at once on different threads. On failure, `error` says why
// (no such file, a directory, too large, unreadable, not enough memory).
[[nodiscard]] PreparedEntry prepare_entry(const std::string& source, Packing packing,
                                          const PackProgress& progress = {});

// Prepares an entry named `name` from bytes already in memory, deciding how they are
// stored exactly as prepare_entry does for a file of that content. `source` stays empty.
// On failure, `error` says why (a name that cannot stand as an entry name, content of
// 2 GiB or more, not enough memory). Like prepare_entry, it may run on any thread.
[[nodiscard]] PreparedEntry prepare_entry_from_memory(std::string_view name, std::span<const std::uint8_t> content,
                                                      Packing packing);

// Packs an entry prepared with Packing::Store in the codec's best mode (pack_best: the
// smallest block it can find, about ten times slower than level 9) and keeps the block
// only when it is smaller than the content. A streamed entry is read whole first. A failed
// or empty entry, content that cannot be read or held in memory, and content the block
// would not shrink stay stored. May run on any thread, as prepare_entry.
void pack_entry_best(PreparedEntry& entry);

// Appends prepared entries to the end of an existing archive. A sequence of appends
// writes exactly what the same sequence of AddToPak calls writes.
class ArchiveAppender {
 public:
  // Opens the archive at `path` for appending; never creates a file. Throws ArchiveError
  // when nothing is there, when it is a directory or when it cannot be opened.
  explicit ArchiveAppender(const std::string& path);
  ~ArchiveAppender();
  ArchiveAppender(ArchiveAppender&&) noexcept;
  ArchiveAppender& operator=(ArchiveAppender&&) noexcept;

  // Whether the first line is the archive header line.
  [[nodiscard]] bool has_header() const;
  // Takes the exclusive writer lock that every writer of an archive holds for its whole
  // write; it goes with the appender. With `wait` false this returns false at once when
  // another writer holds it; with `wait` true it waits for the lock.
  [[nodiscard]] bool lock(bool wait);
  // True while the path this appender was opened with still names its open file. After a
  // wait for the lock, false means another writer replaced the archive meanwhile: open
  // it afresh.
  [[nodiscard]] bool still_at_path() const;
  // Where the archive stops holding whole entries: nullopt when its last entry (or, with
  // none, its header line) ends exactly at the end of the file, so that a new entry can
  // follow; otherwise the offset of the first entry header that is cut short, gives a
  // negative size or has data missing or left over behind it.
  [[nodiscard]] std::optional<std::uint64_t> torn_at();
  // The archive's length in bytes, pending writes included.
  [[nodiscard]] std::uint64_t length();
  // Cuts the archive to `length` bytes at once, past every buffer. It makes only system
  // calls that may be made from a signal handler (or from another thread while the
  // writing one is stopped), so that an interrupted writer can put the archive back as it
  // was; the appender is not to be used afterwards.
  bool cut_to(std::uint64_t length) noexcept;
  // Appends one entry (which must be ok()), copying a streamed one from its source a
  // chunk at a time. When writing fails, or a streamed source no longer holds file_size
  // bytes, the archive is cut back to its length before the call and the result is false.
  [[nodiscard]] bool append(const PreparedEntry& entry);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Replaces whatever is at `path` with an archive holding no entry: the same bytes that
// CreatePakFile writes. Throws ArchiveError when the archive cannot be written.
void create_archive(const std::string& path);

// ---- Extracting ---------------------------------------------------------------------------

// Whether an entry name must not be joined to an output directory: names with a
// directory part, a drive part, parent-directory parts, or names the system reserves.
// The library's own extraction refuses the same names.
[[nodiscard]] bool is_unsafe_entry_name(std::string_view name);

enum class ExtractOutcome {
  Written,      // the file is in place
  Kept,         // a file of that name existed and was left alone
  Unsafe,       // the entry name is unsafe; nothing was written
  Damaged,      // the entry's data is damaged (see `damage`); nothing was written
  WriteFailed,  // the file could not be written or moved into place
};

struct ExtractResult {
  ExtractOutcome outcome = ExtractOutcome::Written;
  std::string path;  // the output path (empty for an unsafe name)
  Damage damage = Damage::None;
  std::string reason;  // WriteFailed: the system's description of the failure
};

// Writes an entry's content to `directory` (the current directory when empty) under the
// entry's name. The content goes to a temporary file in that directory first and is
// renamed into place only once it is complete, so a failed or interrupted extraction
// never leaves a partial file under the real name. With `keep_existing`, a file already
// there is left alone.
[[nodiscard]] ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry,
                                          const std::string& directory, bool keep_existing);

// A directory to extract into, opened once: every file goes into this very directory,
// even when its path is renamed or replaced by another while extraction runs.
class OutputDirectory {
 public:
  // Opens the directory at `path` (the current directory when empty). Throws
  // ArchiveError when it is not a directory that can be opened.
  explicit OutputDirectory(const std::string& path);
  ~OutputDirectory();
  OutputDirectory(OutputDirectory&&) noexcept;
  OutputDirectory& operator=(OutputDirectory&&) noexcept;

  [[nodiscard]] const std::string& path() const;
  // Whether a file marked read-only (Windows) is replaced: by default it is left alone and
  // its extraction fails with the reason "read-only".
  void replace_read_only(bool replace);

 private:
  friend ExtractResult extract_entry(ArchiveReader&, const ArchiveEntry&, OutputDirectory&, bool,
                                     const std::function<void(const std::string&)>&);
  struct State;
  std::unique_ptr<State> state_;
};

// Told the path of the temporary file just before it is created, and "" once it is gone
// again (renamed into place or deleted) or could not be made, so that a caller
// interrupted in between can remove it.
using TemporaryWatch = std::function<void(const std::string& temporary)>;
[[nodiscard]] ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry,
                                          const std::string& directory, bool keep_existing,
                                          const TemporaryWatch& watch);
// The same into a directory opened beforehand.
[[nodiscard]] ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry,
                                          OutputDirectory& directory, bool keep_existing,
                                          const TemporaryWatch& watch = {});

}  // namespace mytarvo

#include "mytarvo/archive_edit.hpp"  // editing: remove, replace, rename, repair
