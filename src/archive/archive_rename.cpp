// Renaming entries: only the name text of each entry of the old name changes; its line
// ending, sizes and data are copied as they were.
#include <algorithm>

#include "archive/archive_rewrite.hpp"
#include "mytarvo/archive_edit.hpp"

namespace mytarvo {

RenameResult rename_entries(const std::string& archive, std::string_view old_name, std::string_view new_name) {
  RenameResult result;
  if (!is_plain_entry_name(new_name)) {
    result.outcome = RenameOutcome::BadName;
    return result;
  }
  ArchiveRewrite rewrite(archive, true);
  const LockedArchive& old = rewrite.archive();
  const auto named = [&](std::string_view name) {
    return std::any_of(old.entries.begin(), old.entries.end(), [&](const ArchiveEntry& e) { return e.name == name; });
  };
  if (!named(old_name)) {
    result.outcome = RenameOutcome::NoSuchEntry;
    return result;
  }
  if (old_name == new_name || named(new_name)) {
    result.outcome = RenameOutcome::NameTaken;
    return result;
  }

  rewrite.begin();
  std::uint64_t kept_from = 0;
  for (const auto& entry : old.entries) {
    if (entry.name != old_name) continue;
    // The name line starts with exactly the name's bytes: the scan read them from there.
    rewrite.copy(kept_from, entry.header_offset);
    rewrite.write(new_name);
    kept_from = entry.header_offset + old_name.size();
    result.renamed.push_back(entry);
  }
  rewrite.copy(kept_from, old.size);
  rewrite.commit();
  result.outcome = RenameOutcome::Renamed;
  return result;
}

}  // namespace mytarvo
