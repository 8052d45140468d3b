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
  unsigned jobs = 0;       // worker threads; 0: one per core
};

struct ListOptions {
  std::string archive;
  bool json = false;
};

struct ExtractOptions {
  std::string archive;
  std::string directory;           // empty: the current directory
  std::vector<std::string> names;  // empty: every entry
  bool keep = false;               // leave existing files alone
};

struct TestOptions {
  std::string archive;
};

struct CatOptions {
  std::string archive;
  std::string name;
};

[[nodiscard]] int run_create(const CreateOptions& options, Console& console);
[[nodiscard]] int run_add(const AddOptions& options, Console& console);
[[nodiscard]] int run_list(const ListOptions& options, Console& console);
[[nodiscard]] int run_extract(const ExtractOptions& options, Console& console);
[[nodiscard]] int run_test(const TestOptions& options, Console& console);
[[nodiscard]] int run_cat(const CatOptions& options, Console& console);

// Opens an archive for reading, reporting why when it cannot be opened (the caller then
// exits with kExitUsage), and warning when its first line is not the header line or when
// its entries end at a header with a negative size.
[[nodiscard]] std::optional<mytarvo::ArchiveReader> open_archive(const std::string& path, Console& console);

// How an entry is named in messages: its name and where its header starts.
[[nodiscard]] std::string describe_entry(const mytarvo::ArchiveEntry& entry);

}  // namespace tarvo
