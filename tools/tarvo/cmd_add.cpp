// tarvo add: appends files to an existing archive in the order given, packing them on
// worker threads. The archive ends up byte for byte as the same sequence of AddToPak calls
// would leave it. Directory arguments need -r, which adds every file below them in sorted
// order, each under its bare name.
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "commands.hpp"
#include "interrupt.hpp"
#include "mytarvo/files.hpp"
#include "prepare_pipeline.hpp"
#include "printable.hpp"

namespace tarvo {

namespace {

using mytarvo::files::PathKind;

// What the size query answers for a directory.
constexpr std::int64_t kDirectorySize = -2;

// The bytes a source is expected to add to the progress display (none for a missing one).
std::uint64_t expected_size(std::int64_t size) { return size > 0 ? static_cast<std::uint64_t>(size) : 0; }

// Appends the files below `directory`, directory by directory in name order. Links to
// files are followed only with `dereference`: a link met on the way may lead anywhere.
void collect_below(const std::string& directory, bool dereference, std::vector<Source>& sources, Console& console) {
  std::vector<mytarvo::files::Item> items;
  if (!mytarvo::files::list_directory(directory, items)) {
    console.error(directory, "cannot be read: " + mytarvo::files::last_system_error());
    return;
  }
  for (const auto& item : items) {
    const std::string path = mytarvo::files::join(directory, item.name);
    if (item.link && item.kind == PathKind::File && !dereference) {
      console.notice(path, "a symbolic link; skipped (-L follows links to files)");
    } else if (item.kind == PathKind::Directory) {
      collect_below(path, dereference, sources, console);
    } else if (item.kind == PathKind::File) {
      sources.push_back({path, expected_size(mytarvo::files::size_of(path))});
    } else {
      console.notice(path, "not a regular file; skipped");
    }
  }
}

// The files to add, in order. False (after an error) for a directory without -r.
bool collect_sources(const AddOptions& options, std::vector<Source>& sources, Console& console) {
  for (const auto& argument : options.sources) {
    // A shell that expands no wildcards (cmd.exe) hands them on; the system would add the
    // first match under the pattern's name.
    if (mytarvo::files::has_unexpanded_wildcards(argument)) {
      console.error(argument, "a wildcard that the shell did not expand; name the files, or add their directory with -r");
      continue;
    }
    // One size query tells a directory (-2) from a file and gives the file's size.
    const std::int64_t size = mytarvo::files::size_of(argument);
    if (size != kDirectorySize) {
      sources.push_back({argument, expected_size(size)});
    } else if (options.recursive) {
      collect_below(argument, options.dereference, sources, console);
    } else {
      console.error(argument, "is a directory (use -r to add the files below it)");
      return false;
    }
  }
  return true;
}

// The entry names the archive holds; none when it cannot be read (opening it for
// appending then says why).
std::set<std::string> names_in(const std::string& archive) {
  std::set<std::string> names;
  try {
    const mytarvo::ArchiveReader reader(archive);
    for (const auto& entry : reader.entries()) names.insert(entry.name);
  } catch (const mytarvo::ArchiveError&) {
  }
  return names;
}

// Extraction keeps only one entry of a name, so without --duplicate a file whose name is
// in the archive already, or repeats that of an earlier file, is refused; with --replace
// only the repeats are (the archive's own entries of the name are replaced).
void refuse_repeated_names(const AddOptions& options, std::vector<Source>& sources, Console& console) {
  if (options.duplicate) return;
  const std::set<std::string> present = options.replace ? std::set<std::string>{} : names_in(options.archive);
  std::map<std::string, const std::string*> first;
  std::vector<Source> kept;
  for (const auto& source : sources) {
    const std::string name = mytarvo::files::file_part(source.path);
    const auto [it, fresh] = first.emplace(name, &source.path);
    if (!fresh) {
      console.error(source.path, "its name \"" + name + "\" repeats that of " + *it->second +
                                     "; not added (use --duplicate to add both)");
    } else if (present.contains(name)) {
      console.error(source.path, "an entry named \"" + name +
                                     "\" is in the archive already; not added (use --replace to replace it, "
                                     "or --duplicate to add another entry of that name)");
    } else {
      kept.push_back(source);
    }
  }
  sources = std::move(kept);
}

// Takes the writer lock, telling the user when another writer keeps it for long.
void wait_for_lock(const std::string& path, mytarvo::ArchiveAppender& appender, Console& console) {
  const auto give_notice_at = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (!appender.lock(false)) {
    if (std::chrono::steady_clock::now() >= give_notice_at) {
      console.notice(path, "waiting for another program writing to it to finish");
      (void)appender.lock(true);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Opens the archive and takes its writer lock. When the lock had to be waited for, the
// other writer may have replaced the file: then the new one is opened.
std::optional<mytarvo::ArchiveAppender> open_for_append(const std::string& path, Console& console) {
  try {
    for (;;) {
      mytarvo::ArchiveAppender appender(path);
      wait_for_lock(path, appender, console);
      if (!appender.still_at_path()) continue;
      if (!appender.has_header()) {
        console.error(path, "not an archive (its first line is not the archive header); nothing added");
        return std::nullopt;
      }
      if (const auto offset = appender.torn_at()) {
        console.error(path, "its entries do not end at the end of the file (from offset " + std::to_string(*offset) +
                                "); nothing added; run 'tarvo repair " + path + "' to mend it");
        return std::nullopt;
      }
      return appender;
    }
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
  }
  return std::nullopt;
}

// What an interruption undoes: the archive goes back to its length before the add.
mytarvo::ArchiveAppender* g_interrupted_appender = nullptr;
std::uint64_t g_length_before = 0;
std::string g_interrupt_message;

void cut_back() noexcept { (void)g_interrupted_appender->cut_to(g_length_before); }

unsigned worker_count(const AddOptions& options) {
  if (options.jobs > 0) return options.jobs;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

void append_all(const AddOptions& options, const std::vector<Source>& sources, mytarvo::ArchiveAppender& appender,
                Console& console) {
  std::uint64_t bytes = 0;
  for (const auto& source : sources) bytes += source.expected_size;
  console.start_progress("adding", bytes, static_cast<std::uint32_t>(sources.size()));
  const auto packing = options.store || options.best ? mytarvo::Packing::Store : mytarvo::Packing::Pack;
  PreparePipeline pipeline(sources, packing, worker_count(options), console, options.best);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const mytarvo::PreparedEntry entry = pipeline.next();
    if (!entry.ok()) {
      console.error(entry.source, entry.error + "; not added");
    } else if (!appender.append(entry)) {
      const std::string reason = mytarvo::files::last_system_error();
      console.error(options.archive,
                    "writing the entry for " + entry.source + " failed (" + reason + "); the archive is as before it");
    }
    console.item_done(entry.name);
  }
  console.finish_progress();
}

}  // namespace

int run_add(const AddOptions& options, Console& console) {
  std::vector<Source> sources;
  if (!collect_sources(options, sources, console)) return kExitUsage;
  refuse_repeated_names(options, sources, console);
  if (options.replace) return run_add_replace(options, sources, worker_count(options), console);
  auto appender = open_for_append(options.archive, console);
  if (!appender) return kExitUsage;
  g_interrupted_appender = &*appender;
  g_length_before = appender->length();
  g_interrupt_message = "interrupted; " + printable(options.archive) + " is as it was before";
  on_interrupt(cut_back, g_interrupt_message.c_str());
  append_all(options, sources, *appender, console);
  on_interrupt(nullptr, nullptr);
  return console.status();
}

}  // namespace tarvo
