// tarvo test: reads every entry as extraction would (decoding packed ones and checking
// their block checksum and size, checking that stored ones are complete) and reports each
// damaged entry by name and offset. A first line that is not the header line also counts.
#include <cstdio>

#include "commands.hpp"

namespace tarvo {

namespace {

std::uint64_t data_bytes(const mytarvo::ArchiveReader& reader) {
  std::uint64_t total = 0;
  for (const auto& entry : reader.entries()) total += entry.data_size();
  return total;
}

void print_summary(const std::string& archive, std::size_t entries, int problems) {
  if (problems == 0) {
    std::printf("%s: %zu entries, all intact\n", archive.c_str(), entries);
  } else {
    std::printf("%s: %zu entries, %d problem%s found\n", archive.c_str(), entries, problems, problems == 1 ? "" : "s");
  }
}

}  // namespace

int run_test(const TestOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  int problems = (reader->has_header() ? 0 : 1) + (reader->bad_tail() ? 1 : 0);

  console.start_progress("testing", data_bytes(*reader), static_cast<std::uint32_t>(reader->entries().size()));
  for (const auto& entry : reader->entries()) {
    const mytarvo::Damage damage = reader->verify(entry);
    if (damage != mytarvo::Damage::None) {
      console.error(options.archive, describe_entry(entry) + ": " + std::string(mytarvo::describe(damage)));
      ++problems;
    }
    console.add_bytes(entry.data_size());
    console.item_done(entry.name);
  }
  console.finish_progress();
  if (!console.quiet()) print_summary(options.archive, reader->entries().size(), problems);
  return problems > 0 ? kExitSomeFailed : kExitSuccess;
}

}  // namespace tarvo
