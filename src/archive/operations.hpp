// The five archive operations behind the C functions, each reporting its outcome (the
// exported functions drop it). Those that need buffers or the string work area take the
// library state; every file an operation opens is its own and is closed before it returns.
#pragma once

#include <cstdint>

#include "archive/library.hpp"
#include "archive/outcome.hpp"

namespace mytarvo {

// Replaces whatever is at `archive` with an archive that holds only its header line.
Outcome create_pak_file(const char* archive);

// Appends the file at `source` as one entry, packed at level 9 when `compress` is 1 and
// packing makes it smaller.
Outcome add_to_pak(Library& lib, const char* archive, const char* source, const char* ignored, std::int32_t compress);
// Writes a text listing of the archive's entries to `listing`.
Outcome make_list_files(const char* archive, const char* listing);

// Extracts the first entry named exactly `name` (byte for byte, case-sensitive) into
// `out_dir` and returns the output path, or "" when no entry has the name, the archive
// cannot be opened, the first entry of the name is not a plain file name, or the memory
// for its buffers cannot be had. The path is returned also when the output file could
// not be created or written. The string lives in `lib.work_area()` until the next call.
[[nodiscard]] const char* unpak(Library& lib, const char* archive, const char* out_dir, const char* name);

// Extracts every entry with a plain file name into `out_dir`, in archive order; a name
// that occurs more than once leaves the data of its last entry.
Outcome unpak_all(Library& lib, const char* archive, const char* out_dir);

}  // namespace mytarvo
