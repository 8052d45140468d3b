// tarvo cat: one entry's content to standard output, byte for byte. Like UnPak, it takes
// the first entry of the name; a damaged entry writes nothing. A pattern writes the first
// entry of every name it matches, in archive order.
#include <cstdio>

#include "commands.hpp"
#include "mytarvo/files.hpp"
#include "name_pattern.hpp"
#include "terminal.hpp"

namespace tarvo {

namespace {

// Writes the content to standard output as it comes.
class StdoutSink final : public mytarvo::ContentSink {
 public:
  bool write(const std::uint8_t* data, std::size_t size) override {
    failed_ = std::fwrite(data, 1, size, stdout) != size;
    return !failed_;
  }
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

}  // namespace

int run_cat(const CatOptions& options, Console& console) {
  auto reader = open_archive(options.archive, options.force, console);
  if (!reader) return kExitUsage;
  set_stdout_binary();
  for (const mytarvo::ArchiveEntry* entry : first_of_matching_names(*reader, options.archive, {options.name}, console)) {
    // The entry is checked in full before its first byte goes out, then decoded again as it
    // is written: neither pass holds the content whole.
    mytarvo::Damage damage = reader->verify(*entry);
    StdoutSink sink;
    if (damage == mytarvo::Damage::None) damage = reader->stream(*entry, sink);
    if (damage != mytarvo::Damage::None) {
      console.error(options.archive, describe_entry(*entry) + ": " + std::string(mytarvo::describe(damage)));
      continue;
    }
    if (sink.failed() || std::fflush(stdout) != 0) {
      console.error("standard output", "write failed: " + mytarvo::files::last_system_error());
      return kExitSomeFailed;
    }
  }
  return console.status();
}

}  // namespace tarvo
