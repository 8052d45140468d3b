// Fuzz target: text lines and number lines read from arbitrary bytes. Every line read must
// match a plain reference reading, numbers must match a reference parser, and reading
// must end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_format.hpp"
#include "fuzz_support.hpp"

namespace {

// Reference line splitting: LF, CR, CR LF and NUL end a line; so does the end of input.
std::vector<std::string> reference_lines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < size) {
    std::string line;
    while (i < size) {
      std::uint8_t c = data[i++];
      if (c == '\n' || c == 0) break;
      if (c == '\r') {
        if (i < size && data[i] == '\n') ++i;
        break;
      }
      line.push_back(static_cast<char>(c));
    }
    lines.push_back(line);
  }
  return lines;
}

// Reference number parsing with 64-bit arithmetic reduced modulo 2^32 at each digit.
std::int32_t reference_number(const std::string& s) {
  std::size_t i = s.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  bool negative = false;
  if (s[i] == '-' || s[i] == '+') negative = s[i++] == '-';
  unsigned base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i < s.size() && s[i] == '%') {
    base = 2;
    ++i;
  }
  std::uint64_t value = 0;
  for (; i < s.size(); ++i) {
    const std::string digits = "0123456789abcdef";
    char c = s[i];
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    std::size_t d = digits.find(c);
    if (d == std::string::npos || d >= base) break;
    value = (value * base + d) % 4294967296ull;
  }
  if (negative) value = (4294967296ull - value) % 4294967296ull;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mytarvo::fuzz::ScratchDir dir;
  const std::string path = dir.file("lines.txt");
  mytarvo::fuzz::write_bytes(path, data, size);

  const std::vector<std::string> expected = reference_lines(data, size);
  mytarvo::BufferedFile file;
  if (!file.open(path.c_str(), mytarvo::platform::OpenMode::ReadExisting)) std::abort();
  std::size_t n = 0;
  while (!file.at_end()) {
    if (n >= expected.size()) std::abort();  // more lines than bytes allow: reading must end
    const std::string line = mytarvo::read_line(file);
    if (line != expected[n]) std::abort();
    if (mytarvo::parse_number(line) != reference_number(line)) std::abort();
    ++n;
  }
  if (n != expected.size()) std::abort();
  file.close();
  return 0;
}
