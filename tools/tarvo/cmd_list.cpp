// tarvo list: the entries of an archive as a table, or as JSON for scripts.
//
// JSON schema, format_version 1 (kept stable; new keys may only be added at the end of an
// object, and a change to any existing key gets a new format_version):
//   {
//     "format_version": 1,
//     "archive": "<path as given>",
//     "header": true | false,             // first line is the archive header line
//     "entries": [                         // archive order, repeated names included
//       {"name": "<entry name>", "flag": <0-255>, "packed": true | false,
//        "size": <file size>, "packed_size": <bytes of entry data in the archive>,
//        "header_offset": <offset of the name line>, "data_offset": <offset of the data>}
//     ],
//     "bad_tail_offset": null | <offset of an entry header with a negative size>
//   }
// "packed_size" equals "size" for stored entries. Names are byte strings: bytes 0x80 and
// above (and control bytes) are written as \u0080..\u00ff (\u0000..\u001f), see json.hpp.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <set>

#include "commands.hpp"
#include "json.hpp"
#include "name_pattern.hpp"
#include "printable.hpp"

namespace tarvo {

namespace {

using mytarvo::ArchiveEntry;

std::string json_entry(const ArchiveEntry& e) {
  char numbers[256];
  std::snprintf(numbers, sizeof numbers,
                ", \"flag\": %u, \"packed\": %s, \"size\": %" PRIu32 ", \"packed_size\": %" PRIu32
                ", \"header_offset\": %" PRIu64 ", \"data_offset\": %" PRIu64 "}",
                static_cast<unsigned>(e.flag), e.packed() ? "true" : "false", e.file_size, e.data_size(),
                e.header_offset, e.data_offset);
  return "{\"name\": " + json_string(e.name) + numbers;
}

void print_json(const std::string& archive, const mytarvo::ArchiveReader& reader,
                const std::vector<ArchiveEntry>& entries) {
  std::string out = "{\n  \"format_version\": 1,\n  \"archive\": " + json_string(archive) + ",\n";
  out += std::string("  \"header\": ") + (reader.has_header() ? "true" : "false") + ",\n";
  out += "  \"entries\": [";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    out += i == 0 ? "\n    " : ",\n    ";
    out += json_entry(entries[i]);
  }
  out += entries.empty() ? "],\n" : "\n  ],\n";
  out += "  \"bad_tail_offset\": ";
  out += reader.bad_tail() ? std::to_string(reader.bad_tail()->header_offset) : "null";
  out += "\n}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string ratio(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

// The name column is as wide as the longest name, up to kMaxNameWidth; a longer name
// overflows its cell and pushes the rest of its own row to the right.
constexpr std::size_t kMaxNameWidth = 40;

// Characters a name takes on the screen: UTF-8 continuation bytes take none.
std::size_t screen_width(std::string_view text) {
  std::size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u ? 1 : 0;
  return width;
}

void print_row(std::size_t name_width, const std::string& name, const std::string& size, const std::string& packed,
               const std::string& pct, const char* method, const std::string& offset) {
  std::string cell = name;
  const std::size_t width = screen_width(name);
  if (width < name_width) cell.append(name_width - width, ' ');
  std::printf("%s %10s %10s %7s %-7s %10s\n", cell.c_str(), size.c_str(), packed.c_str(), pct.c_str(), method,
              offset.c_str());
}

void print_table(const std::vector<ArchiveEntry>& entries) {
  std::vector<std::string> names;
  std::size_t name_width = 4;
  for (const auto& e : entries) {
    names.push_back(printable(e.name));
    name_width = std::max(name_width, std::min(kMaxNameWidth, screen_width(names.back())));
  }
  print_row(name_width, "name", "size", "packed", "ratio", "method", "offset");
  std::uint64_t total_size = 0;
  std::uint64_t total_packed = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ArchiveEntry& e = entries[i];
    print_row(name_width, names[i], std::to_string(e.file_size), std::to_string(e.data_size()),
              ratio(e.data_size(), e.file_size), e.packed() ? "packed" : "stored", std::to_string(e.header_offset));
    total_size += e.file_size;
    total_packed += e.data_size();
  }
  std::printf("%zu entr%s, %s bytes, %s in the archive (%s)\n", entries.size(), entries.size() == 1 ? "y" : "ies",
              std::to_string(total_size).c_str(), std::to_string(total_packed).c_str(),
              ratio(total_packed, total_size).c_str());
}

}  // namespace

// Entries whose data runs past the end of the archive are listed, and reported.
void report_cut_short(const std::string& archive, const mytarvo::ArchiveReader& reader, Console& console) {
  for (const auto& e : reader.entries()) {
    if (e.data_offset + e.data_size() > reader.size()) {
      console.error(archive, describe_entry(e) + ": " + std::string(mytarvo::describe(mytarvo::Damage::CutShort)));
    }
  }
}

// Every entry, or with names given, every entry whose name one of them matches (all
// entries of such a name, in archive order).
std::vector<ArchiveEntry> chosen_entries(const mytarvo::ArchiveReader& reader, const std::string& archive,
                                         const std::vector<std::string>& names, Console& console) {
  if (names.empty()) return reader.entries();
  std::vector<ArchiveEntry> chosen;
  const auto firsts = first_of_matching_names(reader, archive, names, console);
  const std::set<std::string_view> wanted = [&] {
    std::set<std::string_view> set;
    for (const ArchiveEntry* e : firsts) set.insert(e->name);
    return set;
  }();
  for (const auto& e : reader.entries()) {
    if (wanted.count(e.name) > 0) chosen.push_back(e);
  }
  return chosen;
}

int run_list(const ListOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  report_cut_short(options.archive, *reader, console);
  const std::vector<ArchiveEntry> entries = chosen_entries(*reader, options.archive, options.names, console);
  if (options.json) {
    print_json(options.archive, *reader, entries);
  } else {
    print_table(entries);
  }
  if (std::fflush(stdout) != 0) return kExitSomeFailed;
  return console.status();
}

}  // namespace tarvo
