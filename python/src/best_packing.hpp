// Packing a prepared entry in the codec's best mode, as the command-line tool's
// `add --best` does, so that the Python package writes the same entry bytes.
#pragma once

#include "mytarvo/archive.hpp"

namespace mytarvo::python {

// Packs an entry prepared for storing (Packing::Store) with pack_best and keeps the block
// only when it is smaller than the content, the rule AddToPak applies to a level-9
// block. A streamed entry is read whole first. An empty or failed entry, content that
// cannot be read or held in memory, and content the block would not shrink stay stored.
void pack_in_best_mode(PreparedEntry& entry);

}  // namespace mytarvo::python
