// Load and unload hooks of the shared library on POSIX systems: the library state exists
// before the first call and is torn down (open files flushed and closed) at unload.
#include "archive/library.hpp"

namespace {

__attribute__((constructor)) void on_load() { mytarvo::library_attach(); }
__attribute__((destructor)) void on_unload() { mytarvo::library_detach(); }

}  // namespace
