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

void write_line(BufferedFile& file, std::string_view text) {
  file.write(text.data(), static_cast<std::uint32_t>(text.size()));
  file.write("\r\n", 2);
}

std::string read_line(BufferedFile& file) {
  std::string line;
  for (;;) {
    const int byte = file.read_byte();
    if (byte < 0 || byte == '\n' || byte == 0) break;
    if (byte == '\r') {
      if (file.peek_byte() == '\n') file.read_byte();
      break;
    }
    line.push_back(static_cast<char>(byte));
  }
  return line;
}

void write_entry(BufferedFile& archive, const EntryRecord& entry) {
  write_line(archive, entry.name);
  archive.write(&entry.flag, 1);
  write_line(archive, format_number(entry.file_size));
  if (entry.flag == kFlagPacked) write_line(archive, format_number(static_cast<std::int32_t>(entry.data.size())));
  archive.write(entry.data.data(), static_cast<std::uint32_t>(entry.data.size()));
}

std::uint32_t read_entry_data(BufferedFile& archive, std::uint64_t data_offset, void* into, std::uint32_t count) {
  if (archive.position() != data_offset) archive.seek(data_offset);
  return archive.read(into, count);
}

bool open_for_scan(BufferedFile& archive, const char* path, platform::OpenMode mode) {
  if (archive.open(path, mode)) return true;
  return mode == platform::OpenMode::OpenOrCreate && archive.open(path, platform::OpenMode::ReadExisting);
}

EntryScan::EntryScan(BufferedFile& archive) : archive_(archive) {
  opened_ = archive_.is_open();
  if (!opened_) {
    ended_ = true;
    return;
  }
  // The header line: noted for readers that report it, never a reason to stop.
  header_found_ = read_line(archive_) == kArchiveHeader;
  next_entry_ = archive_.position();
}

bool EntryScan::next(EntryHeader& entry) {
  if (ended_) return false;
  if (archive_.position() != next_entry_) archive_.seek(next_entry_);
  if (archive_.at_end()) {
    ended_ = true;
    return false;
  }
  entry.header_offset = next_entry_;
  entry.name = read_line(archive_);
  const int flag = archive_.read_byte();
  entry.flag = flag < 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(flag);
  entry.file_size = parse_number(read_line(archive_));
  entry.packed_size = entry.packed() ? parse_number(read_line(archive_)) : 0;
  entry.data_offset = archive_.position();
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
