// One open archive as the Python module sees it: read, extract, test, append, remove and
// rename through the C++ interface, with every failure thrown as one of the exceptions of
// errors.hpp.
// Holds no Python object, so its methods run with the interpreter lock released; a mutex
// keeps calls from several Python threads on the same archive one at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mytarvo/archive.hpp"

namespace mytarvo::python {

enum class ArchiveMode {
  Read,    // an existing archive, read only
  Append,  // an existing archive, read and appended to
  Create,  // a new archive replacing whatever is at the path, read and appended to
};

// A damaged entry, or an archive-wide problem (then `name` is empty).
struct Problem {
  std::string name;
  std::uint64_t header_offset = 0;
  std::string message;
};

class PakArchive {
 public:
  // Throws BadContent when the file does not start with the archive header line, and
  // SystemFailure when it cannot be opened or created.
  PakArchive(std::string path, ArchiveMode mode);
  ~PakArchive();
  PakArchive(const PakArchive&) = delete;
  PakArchive& operator=(const PakArchive&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] bool writable() const { return mode_ != ArchiveMode::Read; }
  // Closes the archive; later calls throw std::logic_error. Closing twice is harmless.
  void close();
  [[nodiscard]] bool closed() const { return closed_; }

  // Every entry, in archive order, entries appended through this object included.
  [[nodiscard]] std::vector<ArchiveEntry> entries();
  // The content of the entry whose header starts at `header_offset`; BadContent when it
  // is damaged, std::out_of_range when no entry starts there.
  [[nodiscard]] std::vector<std::uint8_t> read(std::uint64_t header_offset);
  // Writes that entry into the existing directory `directory` the way the command-line
  // tool does (unsafe names refused, the file renamed into place once complete, a link of
  // that name replaced rather than followed) and returns the path written.
  std::string extract(std::uint64_t header_offset, const std::string& directory);
  // Every problem a full read of the archive meets.
  [[nodiscard]] std::vector<Problem> test();
  // Appends a prepared entry (which must be ok()).
  void append(const PreparedEntry& entry);
  // Removes every entry named exactly `name` and returns them as they were;
  // std::out_of_range (and the archive unchanged) when no entry has that name.
  std::vector<ArchiveEntry> remove(const std::string& name);
  // Gives every entry named exactly `old_name` the name `new_name` and returns them as
  // they were; std::out_of_range when no entry has the old name, std::invalid_argument
  // when the new one is taken or is no plain entry name (the archive then unchanged).
  std::vector<ArchiveEntry> rename(const std::string& old_name, const std::string& new_name);

 private:
  ArchiveReader& reader();  // closes the appender when it is open
  ArchiveAppender& appender();  // closes the reader when it is open
  const ArchiveEntry& entry_at(std::uint64_t header_offset);
  void ensure_open() const;
  void ensure_writable() const;
  // Runs an edit of the archive file (with the mutex held) after closing the reader and
  // the appender: the appender holds the archive's writer lock, which the edit waits for,
  // and both would go on seeing the old file once the edit has renamed the new one over
  // it. They are opened afresh when next needed. An ArchiveError becomes BadContent or
  // SystemFailure.
  template <typename Edit>
  auto edit(Edit run);

  std::mutex mutex_;
  std::string path_;
  ArchiveMode mode_;
  std::atomic<bool> closed_{false};
  // The library lets a file be open for writing only when nothing else in the process has
  // it open, so at most one of the two is open at a time.
  std::unique_ptr<ArchiveReader> reader_;
  std::unique_ptr<ArchiveAppender> appender_;
};

}  // namespace mytarvo::python
