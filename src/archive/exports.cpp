// The exported C entry points: copy nothing, throw nothing, forward to the operations with
// the process-wide library state, and drop the outcome the operations report.
#define MYTARVO_BUILDING_LIBRARY 1
#include "mytarvo/mytarvo.h"

#include <mutex>
#include <string>
#include <string_view>

#include "archive/library.hpp"
#include "archive/operations.hpp"

using mytarvo::Library;

namespace {

// The five functions take turns: calls from several threads at once are run one after
// another, so that they never share the library state half-way.
std::mutex g_calls;

// Runs one operation; the library never lets an exception reach the host. Without a
// library state no operation runs.
template <typename Operation>
void guarded(Operation&& operation) noexcept {
  try {
    const std::lock_guard<std::mutex> turn(g_calls);
    operation(mytarvo::library_for_call());
  } catch (...) {
  }
}

}  // namespace

extern "C" {

MYTARVO_API int32_t MYTARVO_CALL AddToPak(const char* archive, const char* source, const char* ignored,
                                          int32_t compress) {
  guarded([&](Library& lib) { (void)mytarvo::add_to_pak(lib, archive, source, ignored, compress); });
  return 0;
}

MYTARVO_API int32_t MYTARVO_CALL CreatePakFile(const char* archive) {
  guarded([&](Library&) { (void)mytarvo::create_pak_file(archive); });
  return 0;
}

MYTARVO_API int32_t MYTARVO_CALL MakeListFiles(const char* archive, const char* listing) {
  guarded([&](Library&) { (void)mytarvo::make_list_files(archive, listing); });
  return 0;
}

// Never null: without a library state, or when the operation failed, the result is "".
// The result is the calling thread's own copy: it stays valid until this thread calls
// into the library again, whatever other threads do meanwhile.
MYTARVO_API const char* MYTARVO_CALL UnPak(const char* archive, const char* out_dir, const char* name,
                                           const char* /*ignored*/) {
  // Room for the longest path a system takes (32767 characters on Windows). Plain bytes,
  // not a string object: nothing is left to destroy when a thread ends after the library
  // was unloaded.
  thread_local char result[32768];
  result[0] = '\0';
  guarded([&](Library& lib) {
    const std::string_view written = mytarvo::unpak(lib, archive, out_dir, name);
    // A path that a file could be written under always fits.
    if (written.size() < sizeof result) {
      written.copy(result, written.size());
      result[written.size()] = '\0';
    }
    lib.work_area() = std::string();  // the shared copy is given back at once
  });
  return result;
}

MYTARVO_API int32_t MYTARVO_CALL UnPakAll(const char* archive, const char* out_dir, const char* /*ignored*/) {
  guarded([&](Library& lib) { (void)mytarvo::unpak_all(lib, archive, out_dir); });
  return 0;
}

}  // extern "C"
