// LoadLibraryA-based loader for the host tests.
#include <windows.h>

#include "support/loader.hpp"

namespace mytarvo::test {

LoadedLibrary::LoadedLibrary(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}
LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}
void* LoadedLibrary::by_name(const char* name) const {
  return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}
void* LoadedLibrary::by_ordinal(unsigned ordinal) const {
  return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(ordinal)))
                 : nullptr;
}
bool LoadedLibrary::has_ordinals() { return true; }

}  // namespace mytarvo::test
