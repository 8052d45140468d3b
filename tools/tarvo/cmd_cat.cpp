// tarvo cat: one entry's content to standard output, byte for byte. Like UnPak, it takes
// the first entry of the name; a damaged entry writes nothing. A pattern writes the first
// entry of every name it matches, in archive order.
#include <cstdio>

#include "commands.hpp"
#include "mytarvo/files.hpp"
#include "name_pattern.hpp"
#include "terminal.hpp"

namespace tarvo {

int run_cat(const CatOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  set_stdout_binary();
  for (const mytarvo::ArchiveEntry* entry : first_of_matching_names(*reader, options.archive, {options.name}, console)) {
    const mytarvo::EntryData data = reader->read(*entry);
    if (data.damage != mytarvo::Damage::None) {
      console.error(options.archive, describe_entry(*entry) + ": " + std::string(mytarvo::describe(data.damage)));
      continue;
    }
    const std::size_t written = std::fwrite(data.bytes.data(), 1, data.bytes.size(), stdout);
    if (written != data.bytes.size() || std::fflush(stdout) != 0) {
      console.error("standard output", "write failed: " + mytarvo::files::last_system_error());
      return kExitSomeFailed;
    }
  }
  return console.status();
}

}  // namespace tarvo
