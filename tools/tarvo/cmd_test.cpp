// tarvo test: reads every entry as extraction would (decoding packed ones and checking
// their block checksum and size, checking that stored ones are complete) and reports each
// damaged entry by name and offset. A first line that is not the header line also counts,
// and so does an entry header that no writer writes (size lines such as "+5", " 5",
// "5x", "$10" or values that wrap past 32 bits, which readers take by the number rules).
#include <cstdio>

#include "commands.hpp"
#include "printable.hpp"

namespace tarvo {

namespace {

std::uint64_t data_bytes(const mytarvo::ArchiveReader& reader) {
  std::uint64_t total = 0;
  for (const auto& entry : reader.entries()) total += entry.data_size();
  return total;
}

// The header a writer writes for `entry`: its name line, flag byte and size lines.
std::string written_header(const mytarvo::ArchiveEntry& entry) {
  std::string header = entry.name + "\r\n";
  header += static_cast<char>(entry.flag);
  header += std::to_string(entry.file_size) + "\r\n";
  if (entry.packed()) header += std::to_string(entry.packed_size) + "\r\n";
  return header;
}

// "1 entry", "2 entries"; "1 packed entry verified"...
std::string count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct Tally {
  std::size_t packed = 0;  // packed entries that decoded and matched their checksum
  std::size_t stored = 0;  // stored entries, complete
  int problems = 0;
};

void print_summary(const std::string& archive, std::size_t entries, const Tally& tally) {
  const std::string line = printable(archive) + ": " + count(entries, "entry", "entries") + ": " +
                           count(tally.packed, "packed entry verified", "packed entries verified") + "; " +
                           count(tally.stored, "stored entry carries no checksum", "stored entries carry no checksum") +
                           "\n";
  std::fputs(line.c_str(), stdout);
  if (tally.problems > 0) {
    std::printf("%s: %s found\n", printable(archive).c_str(),
                count(static_cast<std::size_t>(tally.problems), "problem", "problems").c_str());
  }
}

}  // namespace

int run_test(const TestOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  Tally tally;
  tally.problems = (reader->has_header() ? 0 : 1) + (reader->bad_tail() ? 1 : 0);

  console.start_progress("testing", data_bytes(*reader), static_cast<std::uint32_t>(reader->entries().size()));
  for (const auto& entry : reader->entries()) {
    const mytarvo::Damage damage = reader->verify(entry);
    if (damage != mytarvo::Damage::None) {
      console.error(options.archive, describe_entry(entry) + ": " + std::string(mytarvo::describe(damage)));
      ++tally.problems;
    } else {
      ++(entry.packed() ? tally.packed : tally.stored);
    }
    const std::string header = reader->header_bytes(entry);
    if (header != written_header(entry)) {
      console.error(options.archive, describe_entry(entry) + ": its header lines are not as any writer writes them (" +
                                         header.substr(entry.name.size()) + ")");
      ++tally.problems;
    }
    console.add_bytes(entry.data_size());
    console.item_done(entry.name);
  }
  console.finish_progress();
  if (!console.quiet()) print_summary(options.archive, reader->entries().size(), tally);
  return tally.problems > 0 ? kExitSomeFailed : kExitSuccess;
}

}  // namespace tarvo
