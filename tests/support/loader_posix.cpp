// dlopen-based loader for the host tests.
#include <dlfcn.h>

#include "support/loader.hpp"

namespace mytarvo::test {

LoadedLibrary::LoadedLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}
void* LoadedLibrary::by_name(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
void* LoadedLibrary::by_ordinal(unsigned) const { return nullptr; }
bool LoadedLibrary::has_ordinals() { return false; }

}  // namespace mytarvo::test
