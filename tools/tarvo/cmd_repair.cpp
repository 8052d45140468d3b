// tarvo repair: cuts an archive whose end is torn (by a write that was cut off) back to
// its last whole entry, and says what it cut; a whole archive is left alone.
#include <cstdio>

#include "commands.hpp"

namespace tarvo {

int run_repair(const RepairOptions& options, Console& console) {
  mytarvo::RepairResult result;
  try {
    result = mytarvo::repair_archive(options.archive);
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
    return kExitUsage;
  }
  if (!result.repaired) {
    std::printf("%s: nothing to repair\n", options.archive.c_str());
    return kExitSuccess;
  }
  std::printf("%s: cut %llu bytes from offset %llu: entry \"%s\": %s\n", options.archive.c_str(),
              static_cast<unsigned long long>(result.cut_bytes), static_cast<unsigned long long>(result.cut_from),
              result.entry.c_str(), result.reason.c_str());
  return kExitSuccess;
}

}  // namespace tarvo
