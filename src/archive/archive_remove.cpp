// Removing entries: the new archive is the old one without the byte ranges of the
// entries whose names match, everything between them copied as it was.
#include "archive/archive_rewrite.hpp"
#include "mytarvo/archive_edit.hpp"

namespace mytarvo {

namespace {

bool matches_any(const std::vector<std::string>& patterns, std::string_view name) {
  for (const auto& pattern : patterns) {
    if (matches_pattern(pattern, name)) return true;
  }
  return false;
}

std::vector<std::string> unmatched_patterns(const std::vector<std::string>& patterns,
                                            const std::vector<ArchiveEntry>& entries) {
  std::vector<std::string> unmatched;
  for (const auto& pattern : patterns) {
    bool any = false;
    for (const auto& entry : entries) any = any || matches_pattern(pattern, entry.name);
    if (!any) unmatched.push_back(pattern);
  }
  return unmatched;
}

}  // namespace

RemoveResult remove_entries(const std::string& archive, const std::vector<std::string>& patterns) {
  ArchiveRewrite rewrite(archive, true);
  const LockedArchive& old = rewrite.archive();
  RemoveResult result;
  result.unmatched = unmatched_patterns(patterns, old.entries);
  if (!result.unmatched.empty() || patterns.empty()) return result;

  rewrite.begin();
  std::uint64_t kept_from = 0;  // the start of the run of old bytes not yet copied
  for (const auto& entry : old.entries) {
    if (!matches_any(patterns, entry.name)) continue;
    rewrite.copy(kept_from, entry.header_offset);
    kept_from = entry_end(entry, old.size);
    result.removed.push_back(entry);
  }
  rewrite.copy(kept_from, old.size);
  rewrite.commit();
  return result;
}

}  // namespace mytarvo
