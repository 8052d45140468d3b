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

}  // namespace mytarvo
