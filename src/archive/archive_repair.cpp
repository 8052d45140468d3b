// Repairing a torn archive: finds the first entry that is not whole (its header lines or
// its data stop at the end of the file, or a size line is negative) and cuts the archive
// back to where that entry starts.
#include <optional>

#include "archive/archive_rewrite.hpp"
#include "mytarvo/archive_edit.hpp"

namespace mytarvo {

namespace {

struct Tear {
  const ArchiveEntry* entry;
  std::string reason;
};

// Walks one text line of `head` from `at`; false when the head ends before a line end
// (LF, CR, CR LF or NUL) does.
bool line_ends(const std::vector<std::uint8_t>& head, std::size_t& at) {
  while (at < head.size()) {
    const std::uint8_t byte = head[at++];
    if (byte == '\n' || byte == '\0') return true;
    if (byte == '\r') {
      if (at < head.size() && head[at] == '\n') ++at;
      return true;
    }
  }
  return false;
}

// Whether the header lines of `entry` (name, flag byte, sizes) were all there and ended.
bool header_whole(ArchiveRewrite& rewrite, const ArchiveEntry& entry) {
  std::vector<std::uint8_t> head(entry.data_offset - entry.header_offset);
  head.resize(rewrite.read_old(entry.header_offset, head.data(), static_cast<std::uint32_t>(head.size())));
  std::size_t at = 0;
  if (!line_ends(head, at) || at == head.size()) return false;  // the name line, then the flag byte
  ++at;
  if (!line_ends(head, at)) return false;  // the file size line
  return !entry.packed() || line_ends(head, at);
}

std::string count_text(std::uint64_t value) { return std::to_string(value); }

std::optional<Tear> find_tear(ArchiveRewrite& rewrite) {
  const LockedArchive& old = rewrite.archive();
  if (old.bad_tail) return Tear{&*old.bad_tail, "a size line gives a negative size"};
  if (old.entries.empty()) return std::nullopt;
  const ArchiveEntry& last = old.entries.back();
  const std::uint64_t left = old.size - last.data_offset;
  if (last.data_size() > left) {
    return Tear{&last, "claims " + count_text(last.data_size()) + " bytes of data, " + count_text(left) + " are left"};
  }
  // Only a header that reaches the end of the file can be cut short.
  if (last.data_offset == old.size && !header_whole(rewrite, last)) {
    return Tear{&last, "its header lines stop at the end of the file"};
  }
  return std::nullopt;
}

}  // namespace

RepairResult repair_archive(const std::string& archive) {
  ArchiveRewrite rewrite(archive, true);
  RepairResult result;
  const std::optional<Tear> tear = find_tear(rewrite);
  if (!tear) return result;
  result.repaired = true;
  result.cut_from = tear->entry->header_offset;
  result.cut_bytes = rewrite.archive().size - result.cut_from;
  result.entry = tear->entry->name;
  result.reason = tear->reason;
  rewrite.begin();
  rewrite.copy(0, result.cut_from);
  rewrite.commit();
  return result;
}

}  // namespace mytarvo
