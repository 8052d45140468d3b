// The exported C entry points: copy nothing, throw nothing, forward to the operations with
// the process-wide library state, and drop the outcome the operations report.
#define MYTARVO_BUILDING_LIBRARY 1
#include "mytarvo/mytarvo.h"

#include "archive/library.hpp"
#include "archive/operations.hpp"

using mytarvo::Library;

namespace {

// Runs one operation; the library never lets an exception reach the host. Without a
// library state no operation runs.
template <typename Operation>
void guarded(Operation&& operation) noexcept {
  try {
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
MYTARVO_API const char* MYTARVO_CALL UnPak(const char* archive, const char* out_dir, const char* name,
                                           const char* /*ignored*/) {
  static const char kNothing[] = "";
  const char* result = kNothing;
  guarded([&](Library& lib) { result = mytarvo::unpak(lib, archive, out_dir, name); });
  return result;
}

MYTARVO_API int32_t MYTARVO_CALL UnPakAll(const char* archive, const char* out_dir, const char* /*ignored*/) {
  guarded([&](Library& lib) { (void)mytarvo::unpak_all(lib, archive, out_dir); });
  return 0;
}

}  // extern "C"
