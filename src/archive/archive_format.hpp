// The pak archive format: a header line, then entries back to back up to the end of the
// file. An entry is its name line, a flag byte, a file size line, a packed size line
// (only when the flag byte is 1) and its data. Lines end in CR LF when written; readers
// also accept LF, CR, NUL or the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "archive/buffered_file.hpp"

namespace mytarvo {

inline constexpr std::string_view kArchiveHeader = "Tarvo Pak 3 - Orvelund";
inline constexpr std::uint8_t kFlagPacked = 1;

// Decimal form of a signed 32-bit value: "-" for negatives, no leading zeros.
std::string format_number(std::int32_t value);
// Reads a number line: blanks, one optional sign, then "$" hex, "%" binary or decimal
// digits up to the first other character. Digits wrap modulo 2^32; no digits give 0.
std::int32_t parse_number(std::string_view text);

// The same rules fed one character at a time, so that a number line is read without
// keeping it (however long a damaged one is).
class NumberParser {
 public:
  void feed(char c);
  [[nodiscard]] std::int32_t value() const;

 private:
  enum class Stage { Blanks, Base, Digits, Done };
  Stage stage_ = Stage::Blanks;
  bool negative_ = false;
  std::uint32_t base_ = 10;
  std::uint32_t value_ = 0;
};

// The most bytes of an entry name that are kept. A longer name line is still read to its
// end; the entry is marked (EntryHeader::name_cut), never matched or extracted, and the
// listing shows the kept part followed by "...".
inline constexpr std::size_t kNameKept = 65536;
inline constexpr std::string_view kNameCutMark = "...";

// One entry as the scan yields it.
struct EntryHeader {
  std::string name;       // at most kNameKept bytes
  bool name_cut = false;  // the name line was longer: `name` is only its start
  std::uint8_t flag = 0;
  std::int32_t file_size = 0;
  std::int32_t packed_size = 0;  // meaningful only when packed()
  std::uint64_t header_offset = 0;
  std::uint64_t data_offset = 0;

  [[nodiscard]] bool packed() const { return flag == kFlagPacked; }
  // Bytes of entry data that follow the header lines.
  [[nodiscard]] std::int32_t data_length() const { return packed() ? packed_size : file_size; }
};

// Text lines. Writing puts the bytes and CR LF; reading takes bytes up to LF, CR, CR LF,
// NUL or the end of the file (the line end is consumed, not kept). On a file that is not
// open, writing does nothing and reading yields "".
// A line of any length is read to its end, but at most `keep` bytes of it are returned;
// `cut` (when given) tells whether there were more.
void write_line(BufferedFile& file, std::string_view text);
std::string read_line(BufferedFile& file, std::size_t keep = kNameKept, bool* cut = nullptr);
// Reads a number line (see parse_number) without keeping its text.
std::int32_t read_number_line(BufferedFile& file);

// One entry as the writer takes it. The packed size line (written only for flag 1) is the
// length of `data`.
struct EntryRecord {
  std::string_view name;
  std::uint8_t flag = 0;
  std::int32_t file_size = 0;
  std::span<const std::uint8_t> data;  // the packed block, or the content when stored
  // A stored entry whose content is not held in memory: `data` is then empty and the
  // content is the first `file_size` bytes of this file, copied through `chunk` when the
  // entry is appended (append_entry).
  BufferedFile* copy_from = nullptr;
  std::span<std::uint8_t> chunk{};
};

// Writes one entry at the current position of `archive`: name line, flag byte, file size
// line, packed size line when the flag is 1, then the data (not what `copy_from` holds).
void write_entry(BufferedFile& archive, const EntryRecord& entry);

// Reads up to `count` bytes of an entry's data, from its start at `data_offset`, into
// `into`; returns the number read (fewer where the archive ends). Right after the scan
// has read the entry's header the archive is already there and nothing is sought.
std::uint32_t read_entry_data(BufferedFile& archive, std::uint64_t data_offset, void* into, std::uint32_t count);

// Opens an archive for the entry scan. With open-or-create (what the C functions use) a
// missing archive is created empty, and an archive that exists but refuses writing is
// opened read-only instead: listing and extraction never write to it.
bool open_for_scan(BufferedFile& archive, const char* path, platform::OpenMode mode);

// Walks the archive open in `archive` entry by entry (a file that is not open holds no
// entry). The first line is taken as the header whatever it holds. An entry whose data
// length is negative ends the scan, so the scan never moves backwards and always ends.
class EntryScan {
 public:
  explicit EntryScan(BufferedFile& archive);
  EntryScan(const EntryScan&) = delete;
  EntryScan& operator=(const EntryScan&) = delete;

  [[nodiscard]] bool opened() const { return opened_; }
  // Whether the first line is exactly the header text (the scan reads on either way).
  [[nodiscard]] bool header_found() const { return header_found_; }
  // Moves past the previous entry's data (unless it was read through) and reads the next
  // entry's header. False when the archive holds no further entry; when the scan ended
  // at an entry with a negative size, stopped_at_bad_size() is true and `entry` holds
  // that entry's header as read.
  bool next(EntryHeader& entry);
  [[nodiscard]] bool stopped_at_bad_size() const { return bad_size_; }

 private:
  BufferedFile& archive_;
  bool opened_ = false;
  bool header_found_ = false;
  bool ended_ = false;
  bool bad_size_ = false;
  std::uint64_t next_entry_ = 0;  // where the entry after the current one starts
};

}  // namespace mytarvo
