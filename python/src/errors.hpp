// The failures the Python module reports, as C++ exceptions that the module turns into
// Python exceptions: BadPakFile for damaged or foreign archive content, OSError (with the
// system's error number, so Python picks the matching subclass) for file-system failures.
#pragma once

#include <stdexcept>
#include <string>

namespace mytarvo::python {

// An archive or entry whose content cannot be used; becomes mytarvo.BadPakFile.
class BadContent : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file-system failure; becomes OSError(error_number, strerror, filename).
class SystemFailure : public std::runtime_error {
 public:
  SystemFailure(int error_number, std::string filename, const std::string& what);
  [[nodiscard]] int error_number() const { return error_number_; }
  [[nodiscard]] const std::string& filename() const { return filename_; }

 private:
  int error_number_;
  std::string filename_;
};

// The calling thread's errno when it names a failure, else EIO: library calls that fail
// after a system call leave its error number behind, but not every failure comes from one.
[[nodiscard]] int last_error_or_eio();

}  // namespace mytarvo::python
