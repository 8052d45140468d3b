// tarvo extract: all entries, or the named ones, into a directory. Which entry of a
// repeated name is extracted follows the library: for "all" the last one wins (as with
// UnPakAll), for a named entry the first one counts (as with UnPak). Each file is written
// under a temporary name and renamed into place when complete; unsafe names, damaged
// entries and files that cannot be written are reported and skipped.
#include <atomic>
#include <cstring>
#include <map>

#include "commands.hpp"
#include "interrupt.hpp"
#include "name_pattern.hpp"
#include "mytarvo/files.hpp"

namespace tarvo {

namespace {

using mytarvo::ArchiveEntry;

// The last entry of every name, in archive order of those last entries.
std::vector<const ArchiveEntry*> last_of_each_name(const std::vector<ArchiveEntry>& entries) {
  std::map<std::string_view, const ArchiveEntry*> last;
  for (const auto& entry : entries) last[entry.name] = &entry;
  std::vector<const ArchiveEntry*> chosen;
  for (const auto& entry : entries) {
    if (last[entry.name] == &entry) chosen.push_back(&entry);
  }
  return chosen;
}

void report(const mytarvo::ExtractResult& result, const ArchiveEntry& entry, const std::string& archive,
            Console& console) {
  using mytarvo::ExtractOutcome;
  switch (result.outcome) {
    case ExtractOutcome::Written: break;
    case ExtractOutcome::Kept: console.notice(result.path, "exists; left alone"); break;
    case ExtractOutcome::Unsafe:
      console.error(archive,
                    describe_entry(entry) + ": unsafe name (a directory, drive or device part); not extracted");
      break;
    case ExtractOutcome::Damaged:
      console.error(archive,
                    describe_entry(entry) + ": " + std::string(mytarvo::describe(result.damage)) + "; not extracted");
      break;
    case ExtractOutcome::WriteFailed:
      console.error(result.path, result.reason == "read-only" ? "read-only; left alone (--force replaces it)"
                                                             : "cannot be written: " + result.reason);
      break;
  }
}

// The temporary file being written, for an interruption to remove.
std::atomic<bool> g_writing_temporary{false};
char g_temporary[4096];

void note_temporary(const std::string& temporary) {
  g_writing_temporary = false;
  if (temporary.empty() || temporary.size() >= sizeof g_temporary) return;
  std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
  g_writing_temporary = true;
}

void remove_temporary() noexcept {
  if (g_writing_temporary) delete_file_now(g_temporary);
}

// Makes the output directory when missing and opens it: every file is then created in
// the directory opened here, whatever happens to its path meanwhile.
std::optional<mytarvo::OutputDirectory> prepare_directory(const std::string& directory, Console& console) {
  if (!directory.empty() && !mytarvo::files::create_directories(directory)) {
    console.error(directory, "cannot be made a directory: " + mytarvo::files::last_system_error());
    return std::nullopt;
  }
  try {
    return mytarvo::OutputDirectory(directory);
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
    return std::nullopt;
  }
}

}  // namespace

int run_extract(const ExtractOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  auto output = prepare_directory(options.directory, console);
  if (!output) return kExitUsage;
  output->replace_read_only(options.force);
  const std::vector<const ArchiveEntry*> chosen = options.names.empty()
                                                      ? last_of_each_name(reader->entries())
                                                      : first_of_matching_names(*reader, options.archive, options.names, console);
  std::uint64_t bytes = 0;
  for (const ArchiveEntry* entry : chosen) bytes += entry->data_size();

  console.start_progress("extracting", bytes, static_cast<std::uint32_t>(chosen.size()));
  on_interrupt(remove_temporary, "interrupted; the file being extracted was removed");
  for (const ArchiveEntry* entry : chosen) {
    const auto result = mytarvo::extract_entry(*reader, *entry, *output, options.keep, note_temporary);
    report(result, *entry, options.archive, console);
    console.add_bytes(entry->data_size());
    console.item_done(entry->name);
  }
  on_interrupt(nullptr, nullptr);
  console.finish_progress();
  return console.status();
}

}  // namespace tarvo
