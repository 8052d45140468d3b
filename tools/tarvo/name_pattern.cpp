// Matching entry names against the names and patterns given on the command line.
#include "name_pattern.hpp"

#include <set>

#include "mytarvo/archive_edit.hpp"

namespace tarvo {

namespace {

// Matches `c` against the set that starts after the "[" at pattern[0]; returns the length
// of the set (up to and including its "]"), or 0 when the "[" is not closed.
std::size_t match_set(std::string_view pattern, unsigned char c, bool& matched) {
  std::size_t i = 1;
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  bool found = false;
  bool first = true;
  for (; i < pattern.size(); ++i) {
    if (pattern[i] == ']' && !first) {
      matched = found != negated;
      return i + 1;
    }
    first = false;
    auto low = static_cast<unsigned char>(pattern[i]);
    auto high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = static_cast<unsigned char>(pattern[i + 2]);
      i += 2;
    }
    if (c >= low && c <= high) found = true;
  }
  return 0;
}

}  // namespace

bool is_pattern(std::string_view text) {
  if (text.find_first_of("*?") != std::string_view::npos) return true;
  const std::size_t open = text.find('[');
  bool unused = false;
  return open != std::string_view::npos && match_set(text.substr(open), 0, unused) > 0;
}

// The library's matcher, so that the tool and the editing operations read a pattern alike.
bool matches(std::string_view pattern, std::string_view name) { return mytarvo::matches_pattern(pattern, name); }

std::vector<const mytarvo::ArchiveEntry*> first_of_matching_names(const mytarvo::ArchiveReader& reader,
                                                                  const std::string& archive,
                                                                  const std::vector<std::string>& patterns,
                                                                  Console& console) {
  std::vector<bool> used(patterns.size(), false);
  std::set<std::string_view> taken;
  std::vector<const mytarvo::ArchiveEntry*> chosen;
  for (const auto& entry : reader.entries()) {
    bool wanted = false;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      const bool hit = is_pattern(patterns[i]) ? matches(patterns[i], entry.name) : patterns[i] == entry.name;
      if (hit) used[i] = true;
      wanted = wanted || hit;
    }
    if (wanted && taken.insert(entry.name).second) chosen.push_back(&entry);
  }
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (used[i]) continue;
    const bool pattern = is_pattern(patterns[i]);
    console.error(archive, std::string(pattern ? "no entry matches \"" : "no entry named \"") + patterns[i] + "\"");
  }
  return chosen;
}

}  // namespace tarvo
