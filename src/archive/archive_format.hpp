// The pak archive format: a header line, then entries back to back up to the end of the
// file. An entry is its name line, a flag byte, a file size line, a packed size line
// (only when the flag byte is 1) and its data. Lines end in CR LF when written; readers
// also accept LF, CR, NUL or the end of the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/library.hpp"

namespace mytarvo {

inline constexpr std::string_view kArchiveHeader = "Tarvo Pak 3 - Orvelund";
inline constexpr std::uint8_t kFlagPacked = 1;

// Decimal form of a signed 32-bit value: "-" for negatives, no leading zeros.
std::string format_number(std::int32_t value);
// Reads a number line: blanks, one optional sign, then "$" hex, "%" binary or decimal
// digits up to the first other character. Digits wrap modulo 2^32; no digits give 0.
std::int32_t parse_number(std::string_view text);

// One entry as the scan yields it.
struct EntryHeader {
  std::string name;
  std::uint8_t flag = 0;
  std::int32_t file_size = 0;
  std::int32_t packed_size = 0;  // meaningful only when packed()
  std::uint64_t header_offset = 0;
  std::uint64_t data_offset = 0;

  [[nodiscard]] bool packed() const { return flag == kFlagPacked; }
  // Bytes of entry data that follow the header lines.
  [[nodiscard]] std::int32_t data_length() const { return packed() ? packed_size : file_size; }
};

// Writes one entry at the current position of `number`: name line, flag byte, file size
// line, packed size line when the flag is 1, then `data_length` bytes of `data`.
void write_entry(Library& lib, int number, std::string_view name, std::uint8_t flag, std::int32_t file_size,
                 std::int32_t packed_size, const void* data, std::uint32_t data_length);

// Walks an archive entry by entry. The archive is opened as file 0, by default with
// open-or-create (so a missing archive is created empty; readers that must not create
// one pass read-existing), and closed when the scan object goes away. The first line is
// taken as the header whatever it holds. An entry whose data length is negative ends the
// scan, so the scan never moves backwards and always ends.
class EntryScan {
 public:
  EntryScan(Library& lib, const char* archive_path, platform::OpenMode mode = platform::OpenMode::OpenOrCreate);
  // Scans the archive already open as file 0 from its start, and leaves it open.
  explicit EntryScan(Library& lib);
  ~EntryScan();
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
  Library& lib_;
  bool opened_ = false;
  bool header_found_ = false;
  bool ended_ = false;
  bool bad_size_ = false;
  std::uint64_t next_entry_ = 0;  // where the entry after the current one starts
};

}  // namespace mytarvo
