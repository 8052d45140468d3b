// tarvo rename: gives every entry of one name another name, changing nothing else.
#include "commands.hpp"

namespace tarvo {

int run_rename(const RenameOptions& options, Console& console) {
  mytarvo::RenameResult result;
  try {
    result = mytarvo::rename_entries(options.archive, options.old_name, options.new_name);
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
    return kExitUsage;
  }
  switch (result.outcome) {
    case mytarvo::RenameOutcome::Renamed:
      for (const auto& entry : result.renamed) {
        console.notice(options.archive, "renamed " + describe_entry(entry) + " to \"" + options.new_name + "\"");
      }
      return kExitSuccess;
    case mytarvo::RenameOutcome::NoSuchEntry:
      console.error(options.archive, "no entry is named \"" + options.old_name + "\"; nothing renamed");
      return kExitSomeFailed;
    case mytarvo::RenameOutcome::NameTaken:
      console.error(options.archive, "an entry named \"" + options.new_name + "\" is there already; nothing renamed");
      return kExitSomeFailed;
    case mytarvo::RenameOutcome::BadName: break;
  }
  console.error(options.new_name,
                "cannot be an entry name (it must be a plain file name without directory part or line break)");
  return kExitUsage;
}

}  // namespace tarvo
