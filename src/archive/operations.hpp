// The five archive operations, each working on a given library state. The exported C
// functions forward to these with the process-wide state.
#pragma once

#include <cstdint>

#include "archive/library.hpp"

namespace mytarvo {

void make_list_files(Library& lib, const char* archive, const char* listing);

}  // namespace mytarvo
