// Entry name patterns ("*", "?", "[...]") and the test for names an entry may be given.
#include "mytarvo/archive_edit.hpp"

namespace mytarvo {

namespace {

// Matches one "[...]" set starting at pattern[at] (the "[") against `c`. Returns the
// position after the closing "]", or npos when the set has no closing "]".
std::size_t match_set(std::string_view pattern, std::size_t at, unsigned char c, bool& member) {
  std::size_t i = at + 1;
  const bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negate) ++i;
  const std::size_t first = i;
  bool found = false;
  while (i < pattern.size() && (pattern[i] != ']' || i == first)) {
    const auto low = static_cast<unsigned char>(pattern[i]);
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      const auto high = static_cast<unsigned char>(pattern[i + 2]);
      found = found || (low <= c && c <= high);
      i += 3;
    } else {
      found = found || low == c;
      ++i;
    }
  }
  if (i >= pattern.size()) return std::string_view::npos;
  member = found != negate;
  return i + 1;
}

}  // namespace

// Iterative matching with one backtrack point: the last "*" seen and the name position it
// has been tried up to. Linear in practice, quadratic at worst, never exponential.
bool matches_pattern(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    bool step = false;
    std::size_t next = p + 1;
    if (p < pattern.size()) {
      const char token = pattern[p];
      if (token == '*') {
        star = p++;
        star_name = n;
        continue;
      }
      if (token == '?') {
        step = true;
      } else if (token == '[') {
        bool member = false;
        const std::size_t end = match_set(pattern, p, static_cast<unsigned char>(name[n]), member);
        if (end == std::string_view::npos) step = name[n] == '[';
        else {
          step = member;
          next = end;
        }
      } else {
        step = token == name[n];
      }
    }
    if (step) {
      p = next;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool is_plain_entry_name(std::string_view name) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  return !is_unsafe_entry_name(name);
}

}  // namespace mytarvo
