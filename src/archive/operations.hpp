// The five archive operations, each working on a given library state. The exported C
// functions forward to these with the process-wide state.
#pragma once

#include <cstdint>

#include "archive/library.hpp"

namespace mytarvo {

// Replaces whatever is at `archive` with an archive that holds only its header line.
void create_pak_file(Library& lib, const char* archive);
// Appends the file at `source` as one entry, packed at level 9 when `compress` is 1 and
// packing makes it smaller.
void add_to_pak(Library& lib, const char* archive, const char* source, const char* ignored, std::int32_t compress);
// Writes a text listing of the archive's entries to `listing`.
void make_list_files(Library& lib, const char* archive, const char* listing);

// Extracts the first entry named exactly `name` (byte for byte, case-sensitive) into
// `out_dir` and returns the output path, or "" when no entry has the name, the archive
// cannot be opened, the first entry of the name is not a plain file name, or the memory
// for its buffers cannot be had. The path is returned also when the output file could
// not be created or written. The string lives in `lib.work_area()` until the next call.
[[nodiscard]] const char* unpak(Library& lib, const char* archive, const char* out_dir, const char* name);

// Extracts every entry with a plain file name into `out_dir`, in archive order; a name
// that occurs more than once leaves the data of its last entry.
void unpak_all(Library& lib, const char* archive, const char* out_dir);

}  // namespace mytarvo
