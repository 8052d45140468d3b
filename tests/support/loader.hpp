// Loads the built shared library the way a host program does and looks up its functions
// by name or by ordinal (ordinals exist on Windows only).
#pragma once

#include <optional>
#include <string>

namespace mytarvo::test {

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  [[nodiscard]] bool loaded() const { return handle_ != nullptr; }
  [[nodiscard]] void* by_name(const char* name) const;
  // Null where the platform has no ordinals.
  [[nodiscard]] void* by_ordinal(unsigned ordinal) const;
  [[nodiscard]] static bool has_ordinals();

 private:
  void* handle_ = nullptr;
};

}  // namespace mytarvo::test
