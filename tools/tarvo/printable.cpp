// Escaping of names before they reach a terminal.
#include "printable.hpp"

#include <cstdio>

namespace tarvo {

namespace {

void escape(unsigned char byte, std::string& out) {
  switch (byte) {
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default: break;
  }
  char text[8];
  std::snprintf(text, sizeof text, "\\%03o", static_cast<unsigned>(byte));
  out += text;
}

// The length of the well-formed UTF-8 character at the start of `bytes` that is not a
// C1 control, or 0.
std::size_t showable_utf8(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool invalid = code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF);
  const bool c1_control = code >= 0x80 && code <= 0x9F;
  return overlong || invalid || c1_control ? 0 : length;
}

}  // namespace

std::string printable(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
      ++i;
    } else if (const std::size_t length = byte >= 0x80 ? showable_utf8(bytes.substr(i)) : 0; length > 0) {
      out.append(bytes.substr(i, length));
      i += length;
    } else {
      escape(byte, out);
      ++i;
    }
  }
  return out;
}

}  // namespace tarvo
