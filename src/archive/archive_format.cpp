// Reading and writing the lines, numbers and entries of pak archives.
#include "archive/archive_format.hpp"

namespace mytarvo {

std::string format_number(std::int32_t value) {
  // Work on the magnitude as unsigned so that -2147483648 is written in full.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[11];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text;
  if (value < 0) text.push_back('-');
  while (n > 0) text.push_back(digits[--n]);
  return text;
}

namespace {
int digit_value(char c, std::uint32_t base) {
  int v;
  if (c >= '0' && c <= '9') {
    v = c - '0';
  } else if (c >= 'A' && c <= 'F') {
    v = c - 'A' + 10;
  } else if (c >= 'a' && c <= 'f') {
    v = c - 'a' + 10;
  } else {
    return -1;
  }
  return static_cast<std::uint32_t>(v) < base ? v : -1;
}
}  // namespace

std::int32_t parse_number(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint32_t base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < text.size() && text[i] == '%') {
    base = 2;
    ++i;
  }
  std::uint32_t value = 0;  // unsigned: wraps modulo 2^32 without overflow traps
  for (; i < text.size(); ++i) {
    int d = digit_value(text[i], base);
    if (d < 0) break;
    value = value * base + static_cast<std::uint32_t>(d);
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

void write_entry(Library& lib, int number, std::string_view name, std::uint8_t flag, std::int32_t file_size,
                 std::int32_t packed_size, const void* data, std::uint32_t data_length) {
  lib.write_line(number, name);
  lib.write_byte(number, flag);
  lib.write_line(number, format_number(file_size));
  if (flag == kFlagPacked) lib.write_line(number, format_number(packed_size));
  lib.write_bytes(number, data, data_length);
}

EntryScan::EntryScan(Library& lib, const char* archive_path, platform::OpenMode mode) : lib_(lib) {
  opened_ = lib_.open(kArchiveFile, archive_path, mode);
  // An archive that exists but refuses writing (read-only, or on read-only media) is
  // still read: listing and extraction never write to it.
  if (!opened_ && mode == platform::OpenMode::OpenOrCreate) {
    opened_ = lib_.open(kArchiveFile, archive_path, platform::OpenMode::ReadExisting);
  }
  if (!opened_) {
    ended_ = true;
    return;
  }
  // The header line: noted for readers that report it, never a reason to stop.
  header_found_ = lib_.read_line(kArchiveFile) == kArchiveHeader;
  next_entry_ = lib_.position(kArchiveFile);
}

EntryScan::EntryScan(Library& lib) : lib_(lib) {
  lib_.seek(kArchiveFile, 0);
  header_found_ = lib_.read_line(kArchiveFile) == kArchiveHeader;
  next_entry_ = lib_.position(kArchiveFile);
}

EntryScan::~EntryScan() {
  if (opened_) lib_.close(kArchiveFile);
}

bool EntryScan::next(EntryHeader& entry) {
  if (ended_) return false;
  if (lib_.position(kArchiveFile) != next_entry_) lib_.seek(kArchiveFile, next_entry_);
  if (lib_.at_end(kArchiveFile)) {
    ended_ = true;
    return false;
  }
  entry.header_offset = next_entry_;
  entry.name = lib_.read_line(kArchiveFile);
  entry.flag = static_cast<std::uint8_t>(lib_.read_byte(kArchiveFile));
  entry.file_size = parse_number(lib_.read_line(kArchiveFile));
  entry.packed_size = entry.packed() ? parse_number(lib_.read_line(kArchiveFile)) : 0;
  entry.data_offset = lib_.position(kArchiveFile);
  // A negative length would send the scan backwards, possibly forever: end it here.
  if (entry.file_size < 0 || entry.data_length() < 0) {
    ended_ = true;
    bad_size_ = true;
    return false;
  }
  next_entry_ = entry.data_offset + static_cast<std::uint64_t>(entry.data_length());
  return true;
}

}  // namespace mytarvo
