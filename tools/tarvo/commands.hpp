// The subcommands of tarvo: their options as parsed from the command line, and the
// functions that run them. Each returns the process exit status (see console.hpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console.hpp"
#include "mytarvo/archive.hpp"

namespace tarvo {

struct CreateOptions {
  std::string archive;
  bool force = false;  // replace a file that is already there
};

struct AddOptions {
  std::string archive;
  std::vector<std::string> sources;
  bool store = false;      // store unchanged instead of packing
  bool best = false;       // pack in the best mode (smaller, much slower)
  bool recursive = false;  // add the files below directory arguments
  bool dereference = false;  // with recursive: follow links to files met below them
  unsigned jobs = 0;       // worker threads; 0: one per core
  bool replace = false;    // replace entries of the same name instead of refusing the file
  bool duplicate = false;  // append even when an entry of the same name exists
};

struct ListOptions {
  std::string archive;
  std::vector<std::string> names;  // names or patterns; empty: every entry
  bool json = false;
  bool force = false;  // read a file whose first line is not the archive header
};

struct ExtractOptions {
  std::string archive;
  std::string directory;           // empty: the current directory
  std::vector<std::string> names;  // empty: every entry
  bool keep = false;               // leave existing files alone
  bool force = false;              // read a file without the header line; replace read-only files
};

struct TestOptions {
  std::string archive;
  bool force = false;  // read a file whose first line is not the archive header
};

struct CatOptions {
  std::string archive;
  std::string name;
  bool force = false;  // read a file whose first line is not the archive header
};

struct RmOptions {
  std::string archive;
  std::vector<std::string> names;  // names or patterns
};

struct RenameOptions {
  std::string archive;
  std::string old_name;
  std::string new_name;
};

struct RepairOptions {
  std::string archive;
};

[[nodiscard]] int run_create(const CreateOptions& options, Console& console);
[[nodiscard]] int run_add(const AddOptions& options, Console& console);
[[nodiscard]] int run_list(const ListOptions& options, Console& console);
[[nodiscard]] int run_extract(const ExtractOptions& options, Console& console);
[[nodiscard]] int run_test(const TestOptions& options, Console& console);
[[nodiscard]] int run_cat(const CatOptions& options, Console& console);
[[nodiscard]] int run_rm(const RmOptions& options, Console& console);
[[nodiscard]] int run_rename(const RenameOptions& options, Console& console);
[[nodiscard]] int run_repair(const RepairOptions& options, Console& console);

struct Source;
// add --replace, for the sources left after refusing repeated names.
[[nodiscard]] int run_add_replace(const AddOptions& options, const std::vector<Source>& sources, unsigned workers,
                                  Console& console);

// Opens an archive for reading, reporting why when it cannot be opened (the caller then
// exits with kExitUsage). A file whose first line is not the header line is refused
// unless `force` (then read with a warning). Entries that end at a header with a
// negative size, or whose data runs past the end of the file, are reported as errors.
[[nodiscard]] std::optional<mytarvo::ArchiveReader> open_archive(const std::string& path, bool force,
                                                                 Console& console);

// How an entry is named in messages: its name and where its header starts.
[[nodiscard]] std::string describe_entry(const mytarvo::ArchiveEntry& entry);

}  // namespace tarvo
