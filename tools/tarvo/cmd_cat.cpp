// tarvo cat: one entry's content to standard output, byte for byte. Like UnPak, it takes
// the first entry of the name; a damaged entry writes nothing.
#include <cstdio>

#include "commands.hpp"
#include "terminal.hpp"

namespace tarvo {

int run_cat(const CatOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  const mytarvo::ArchiveEntry* entry = reader->find_first(options.name);
  if (entry == nullptr) {
    console.error(options.archive, "no entry named \"" + options.name + "\"");
    return kExitSomeFailed;
  }
  const mytarvo::EntryData data = reader->read(*entry);
  if (data.damage != mytarvo::Damage::None) {
    console.error(options.archive, describe_entry(*entry) + ": " + std::string(mytarvo::describe(data.damage)));
    return kExitSomeFailed;
  }
  set_stdout_binary();
  const std::size_t written = std::fwrite(data.bytes.data(), 1, data.bytes.size(), stdout);
  if (written != data.bytes.size() || std::fflush(stdout) != 0) {
    console.error("standard output", "write failed");
    return kExitSomeFailed;
  }
  return kExitSuccess;
}

}  // namespace tarvo
