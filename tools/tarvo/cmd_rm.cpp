// tarvo rm: removes every entry whose name matches one of the names or patterns given.
// A name or pattern that matches nothing is an error, and then nothing is removed.
#include "commands.hpp"

namespace tarvo {

int run_rm(const RmOptions& options, Console& console) {
  mytarvo::RemoveResult result;
  try {
    result = mytarvo::remove_entries(options.archive, options.names);
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
    return kExitUsage;
  }
  if (!result.unmatched.empty()) {
    for (const auto& pattern : result.unmatched) {
      console.error(options.archive, "no entry matches \"" + pattern + "\"; nothing removed");
    }
    return kExitSomeFailed;
  }
  for (const auto& entry : result.removed) console.notice(options.archive, "removed " + describe_entry(entry));
  return kExitSuccess;
}

}  // namespace tarvo
