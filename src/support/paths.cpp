// The portable rules of the path services; the system calls behind them live in the
// platform layer.
#include "support/paths.hpp"

#include <algorithm>

namespace mytarvo::paths {

namespace {

// True when the NUL-terminated `path` is longer than the system takes whole (read no
// further than one byte past the limit).
bool too_long(const char* path) {
  std::size_t length = 0;
  while (length <= platform::kPathLimit && path[length] != '\0') ++length;
  return length > platform::kPathLimit;
}

bool is_separator(char c, const platform::NameRules& rules) {
  return c == '/' || (rules.backslash_separates && c == '\\');
}

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Calls `visit(i)` for the offset of each character of `text` in the rules' code page: a
// lead byte and the byte after it are one character, whatever that byte is.
template <typename Visit>
void for_each_character(std::string_view text, const platform::NameRules& rules, Visit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    visit(i);
    if (platform::is_lead_byte(rules.code_page, static_cast<unsigned char>(text[i]))) ++i;
  }
}

// The length of `text` without its trailing characters for which `drop(c)` holds, read by
// characters (a trail byte that happens to be "\\" or a blank is not dropped).
template <typename Drop>
std::size_t length_without_trailing(std::string_view text, const platform::NameRules& rules, Drop drop) {
  std::size_t kept = 0;
  for_each_character(text, rules, [&](std::size_t i) {
    if (!drop(text[i])) kept = platform::is_lead_byte(rules.code_page, static_cast<unsigned char>(text[i])) ? i + 2 : i + 1;
  });
  return std::min(kept, text.size());
}

bool ends_in_separator(std::string_view text, const platform::NameRules& rules) {
  return length_without_trailing(text, rules, [&](char c) { return is_separator(c, rules); }) < text.size();
}

}  // namespace

std::string file_part(const char* path) { return file_part(path, platform::name_rules()); }

std::string file_part(const char* path, const platform::NameRules& rules) {
  if (path == nullptr) return {};
  const std::string_view text(path);
  std::size_t start = rules.quotes_enclose && !text.empty() && text.front() == '"' ? 1 : 0;
  // A drive ("C:") is no part of the name: C:name is the file name in the drive's current
  // directory.
  if (rules.drive_prefix && text.size() >= start + 2 && is_ascii_letter(text[start]) && text[start + 1] == ':') {
    start += 2;
  }
  for_each_character(text, rules, [&](std::size_t i) {
    if (is_separator(text[i], rules)) start = i + 1;  // the last separator wins
  });
  // A double quote is never the second byte of a character, so a byte search finds it.
  const std::size_t end = rules.quotes_enclose ? text.find('"', start) : std::string_view::npos;
  return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string stored_name(const char* path) { return stored_name(path, platform::name_rules()); }

std::string stored_name(const char* path, const platform::NameRules& rules) {
  std::string name = file_part(path, rules);
  // Periods and blanks are never the second byte of a character.
  if (rules.drops_trailing_dots_and_blanks) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  }
  return is_plain_file_name(name, rules) ? name : std::string();
}

std::int64_t query_size(const char* path) {
  if (path == nullptr || path[0] == '\0' || too_long(path)) return kNoSuchFile;
  return platform::query_size(path);
}

void delete_file(const char* path) {
  if (path != nullptr) platform::delete_file(path);
}

std::string current_directory() {
  std::string directory = platform::current_directory();
  if (!directory.empty() && !ends_in_separator(directory, platform::name_rules())) {
    directory += platform::kDirectorySeparator;
  }
  return directory;
}

void create_directory_trimmed(const char* path) {
  if (path == nullptr || too_long(path)) return;
  const platform::NameRules rules = platform::name_rules();
  std::string copy = path;
  copy.resize(length_without_trailing(copy, rules, [&](char c) { return c == ' ' || is_separator(c, rules); }));
  if (copy.empty()) return;  // nothing the system could create
  platform::create_directory(copy.c_str());
}

std::string normalise_directory(std::string_view directory) {
  std::string prefix = directory.empty() ? current_directory() : std::string(directory);
  if (prefix.empty()) return prefix;  // no current directory: no prefix at all
  if (!ends_in_separator(prefix, platform::name_rules())) prefix += platform::kDirectorySeparator;
  return prefix;
}

std::string join(std::string_view directory, std::string_view name) {
  std::string path(directory);
  // A drive alone ("C:") stands for that drive's current directory: no separator after it.
  const bool separated = path.empty() || ends_in_separator(path, platform::name_rules()) || platform::is_drive_alone(path);
  if (!separated) path += platform::kDirectorySeparator;
  path += name;
  return path;
}

bool is_plain_file_name(std::string_view name) { return is_plain_file_name(name, platform::name_rules()); }

bool is_plain_file_name(std::string_view name, const platform::NameRules& rules) {
  if (name.empty() || name == "." || name == "..") return false;
  if (!platform::is_valid_text(rules.code_page, name)) return false;
  bool separated = false;
  for_each_character(name, rules, [&](std::size_t i) { separated |= name[i] == '/' || name[i] == '\\'; });
  return !separated && !platform::is_reserved_file_name(name);
}

}  // namespace mytarvo::paths
