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

void NumberParser::feed(char c) {
  switch (stage_) {
    case Stage::Blanks:
      if (c == ' ' || c == '\t') return;
      stage_ = Stage::Base;
      if (c == '-' || c == '+') {  // at most one sign
        negative_ = c == '-';
        return;
      }
      [[fallthrough]];
    case Stage::Base:
      stage_ = Stage::Digits;
      if (c == '$' || c == '%') {
        base_ = c == '$' ? 16 : 2;
        return;
      }
      [[fallthrough]];
    case Stage::Digits: {
      const int d = digit_value(c, base_);
      if (d < 0) {
        stage_ = Stage::Done;  // the rest of the line is ignored
        return;
      }
      value_ = value_ * base_ + static_cast<std::uint32_t>(d);  // wraps modulo 2^32
      return;
    }
    case Stage::Done: return;
  }
}

std::int32_t NumberParser::value() const {
  return static_cast<std::int32_t>(negative_ ? 0u - value_ : value_);
}

std::int32_t parse_number(std::string_view text) {
  NumberParser parser;
  for (char c : text) parser.feed(c);
  return parser.value();
}

namespace {

// Reads one line, handing each of its bytes to `take`; the line end is consumed.
template <typename Take>
void read_line_bytes(BufferedFile& file, Take take) {
  for (;;) {
    const int byte = file.read_byte();
    if (byte < 0 || byte == '\n' || byte == 0) return;
    if (byte == '\r') {
      if (file.peek_byte() == '\n') file.read_byte();
      return;
    }
    take(static_cast<char>(byte));
  }
}

}  // namespace

void write_line(BufferedFile& file, std::string_view text) {
  file.write(text.data(), static_cast<std::uint32_t>(text.size()));
  file.write("\r\n", 2);
}

std::string read_line(BufferedFile& file, std::size_t keep, bool* cut) {
  std::string line;
  bool longer = false;
  read_line_bytes(file, [&](char c) {
    if (line.size() < keep) {
      line.push_back(c);
    } else {
      longer = true;
    }
  });
  if (cut != nullptr) *cut = longer;
  return line;
}

std::int32_t read_number_line(BufferedFile& file) {
  NumberParser parser;
  read_line_bytes(file, [&](char c) { parser.feed(c); });
  return parser.value();
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
  header_found_ = read_line(archive_, kArchiveHeader.size() + 1) == kArchiveHeader;
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
  entry.name = read_line(archive_, kNameKept, &entry.name_cut);
  const int flag = archive_.read_byte();
  entry.flag = flag < 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(flag);
  entry.file_size = read_number_line(archive_);
  entry.packed_size = entry.packed() ? read_number_line(archive_) : 0;
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
