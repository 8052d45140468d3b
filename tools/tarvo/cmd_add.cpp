// tarvo add: appends files to an existing archive in the order given, packing them on
// worker threads. The archive ends up byte for byte as the same sequence of AddToPak calls
// would leave it. Directory arguments need -r, which adds every file below them in sorted
// order, each under its bare name.
#include <map>
#include <thread>

#include "commands.hpp"
#include "mytarvo/files.hpp"
#include "prepare_pipeline.hpp"

namespace tarvo {

namespace {

using mytarvo::files::PathKind;

// What the size query answers for a directory.
constexpr std::int64_t kDirectorySize = -2;

// The bytes a source is expected to add to the progress display (none for a missing one).
std::uint64_t expected_size(std::int64_t size) { return size > 0 ? static_cast<std::uint64_t>(size) : 0; }

// Appends the files below `directory`, directory by directory in name order.
void collect_below(const std::string& directory, std::vector<Source>& sources, Console& console) {
  std::vector<mytarvo::files::Item> items;
  if (!mytarvo::files::list_directory(directory, items)) {
    console.error(directory, "cannot be read");
    return;
  }
  for (const auto& item : items) {
    const std::string path = mytarvo::files::join(directory, item.name);
    if (item.kind == PathKind::Directory) {
      collect_below(path, sources, console);
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
    // One size query tells a directory (-2) from a file and gives the file's size.
    const std::int64_t size = mytarvo::files::size_of(argument);
    if (size != kDirectorySize) {
      sources.push_back({argument, expected_size(size)});
    } else if (options.recursive) {
      collect_below(argument, sources, console);
    } else {
      console.error(argument, "is a directory (use -r to add the files below it)");
      return false;
    }
  }
  return true;
}

// Entries of the same name can all be stored, but extraction keeps only one of them.
void warn_about_repeated_names(const std::vector<Source>& sources, Console& console) {
  std::map<std::string, const std::string*> first;
  for (const auto& source : sources) {
    const std::string name = mytarvo::files::file_part(source.path);
    const auto [it, fresh] = first.emplace(name, &source.path);
    if (!fresh) console.warning(source.path, "its name \"" + name + "\" repeats that of " + *it->second);
  }
}

std::optional<mytarvo::ArchiveAppender> open_for_append(const std::string& path, Console& console) {
  try {
    mytarvo::ArchiveAppender appender(path);
    if (appender.has_header()) return appender;
    console.error(path, "not an archive (its first line is not the archive header); nothing added");
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
  }
  return std::nullopt;
}

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
      console.error(options.archive, "writing the entry for " + entry.source + " failed; the archive is as before it");
    }
    console.item_done(entry.name);
  }
  console.finish_progress();
}

}  // namespace

int run_add(const AddOptions& options, Console& console) {
  std::vector<Source> sources;
  if (!collect_sources(options, sources, console)) return kExitUsage;
  warn_about_repeated_names(sources, console);
  auto appender = open_for_append(options.archive, console);
  if (!appender) return kExitUsage;
  append_all(options, sources, *appender, console);
  return console.status();
}

}  // namespace tarvo
