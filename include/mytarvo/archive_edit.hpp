// Editing archives: removing, replacing and renaming entries, and repairing an archive
// whose end is torn. Every edit holds the archive's writer lock for its whole length
// (another writer waits and then works on the edited archive), writes the new archive to
// a temporary file beside the old one, copying every untouched entry as raw bytes, flushes
// it to the disk and renames it over the old one, keeping the old file's permissions. So
// whenever the process stops, the archive is the old one or the new one, whole; a failed
// or interrupted edit leaves the old archive and no temporary file. Failures throw
// ArchiveError naming the archive and the reason.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mytarvo/archive.hpp"

namespace mytarvo {

// Whether `name` matches `pattern`, byte for byte and case-sensitive: "*" stands for any
// run of bytes (also none), "?" for any one byte, "[...]" for one byte of a set, which
// may hold ranges such as "a-z" and is negated by a leading "!" or "^" ("]" right after
// the opening bracket or its negation is a member). A "[" without its "]" stands for
// itself, as does every other byte.
[[nodiscard]] bool matches_pattern(std::string_view pattern, std::string_view name);

// Whether `name` can be given to an entry: not empty, not "." or "..", without "/", "\",
// CR, LF or NUL, and no name the system reserves (see is_unsafe_entry_name).
[[nodiscard]] bool is_plain_entry_name(std::string_view name);

// ---- Removing ---------------------------------------------------------------------------

struct RemoveResult {
  std::vector<ArchiveEntry> removed;   // the entries removed, in archive order, as they were
  std::vector<std::string> unmatched;  // patterns that matched no entry: then nothing changed
};

// Removes every entry whose name matches one of `patterns` (see matches_pattern). When any
// pattern matches no entry, the archive is left alone and `unmatched` lists them.
[[nodiscard]] RemoveResult remove_entries(const std::string& archive, const std::vector<std::string>& patterns);

// ---- Replacing --------------------------------------------------------------------------

enum class ReplaceOutcome {
  Replaced,  // the first entry of the name now holds the new file; later ones are gone
  Appended,  // no entry had the name: the file was appended at the end
  Failed,    // the file could not be prepared (see `error`); entries of the name are kept
};

struct ReplaceItem {
  std::string name;
  ReplaceOutcome outcome = ReplaceOutcome::Failed;
  std::size_t dropped = 0;  // later entries of the same name that were removed
  std::string error;        // why it failed
};

// Gives the prepared entry for names[index]. It is called once per distinct name, in the
// order the entries are written: first the names already present, by the position of
// their first entry, then the other names in the order given.
using EntrySupplier = std::function<PreparedEntry(std::size_t index)>;

// Puts one new entry per name into the archive. Where entries of the name exist, the
// first is replaced where it stands (so what a reader finds first, and the order of the
// entries, stay) and later ones are removed, leaving exactly one entry of the name; other
// names are appended. Each new entry's bytes are those AddToPak writes for the same
// prepared file. A name given again later in `names` fails ("given more than once")
// without a call to `supply`. When no entry could be prepared, nothing is changed. The
// result holds one item per name, in the order of `names`.
[[nodiscard]] std::vector<ReplaceItem> replace_entries(const std::string& archive,
                                                       const std::vector<std::string>& names,
                                                       const EntrySupplier& supply);
// The same with the entries prepared beforehand (their names are taken from them).
[[nodiscard]] std::vector<ReplaceItem> replace_entries(const std::string& archive,
                                                       std::vector<PreparedEntry> entries);

// ---- Renaming ---------------------------------------------------------------------------

enum class RenameOutcome {
  Renamed,      // every entry of the old name now has the new one
  NoSuchEntry,  // no entry has the old name; nothing changed
  NameTaken,    // an entry has the new name already; nothing changed
  BadName,      // the new name is not a plain entry name; nothing changed
};

struct RenameResult {
  RenameOutcome outcome = RenameOutcome::NoSuchEntry;
  std::vector<ArchiveEntry> renamed;  // the entries renamed, as they were
};

// Rewrites the name line of every entry named exactly `old_name` to `new_name`, leaving
// the line's ending and every other byte as they were.
[[nodiscard]] RenameResult rename_entries(const std::string& archive, std::string_view old_name,
                                          std::string_view new_name);

// ---- Repairing --------------------------------------------------------------------------

struct RepairResult {
  bool repaired = false;        // false: the archive ends with a whole entry and is unchanged
  std::uint64_t cut_from = 0;   // where the torn part started: the archive's new length
  std::uint64_t cut_bytes = 0;  // how many bytes were cut away
  std::string entry;            // the name of the torn entry
  std::string reason;           // what was torn about it
};

// Cuts the archive back to the end of its last whole entry when its end is torn: when the
// last entry claims more data than the archive holds, when its header lines stop at the
// end of the file, or when a size line with a negative size stops the entry scan (the
// entry and everything after it are cut). Throws ArchiveError for a file whose first
// line is not the archive header.
[[nodiscard]] RepairResult repair_archive(const std::string& archive);

}  // namespace mytarvo
