// Frozen copy of the block encoder and its match search as they were before the speed work.
// The production encoder must write exactly the same blocks; the baseline comparison tests
// run both on many generated inputs and compare byte for byte. Nothing here may change.
#pragma once

#include <cstdint>

#include "codec/block_encoder.hpp"

namespace mytarvo::test::baseline {

// As codec::encode: same arguments, same callbacks, same blocks.
[[nodiscard]] std::uint32_t encode(const std::uint8_t* source, std::uint32_t length, std::uint8_t* dest,
                                   std::uint32_t window, codec::AllocateFn allocate, codec::ReleaseFn release,
                                   codec::ProgressFn progress, std::int32_t no_checksum, void* user = nullptr);

}  // namespace mytarvo::test::baseline
