// The best packing mode: a packed block as small as this encoder can make it, readable by
// every decoder of the format. It uses the freedoms the format leaves a writer that the
// levels do not: a window over the whole input (up to kMaxBestWindow positions), a
// shortest-path choice of tokens priced with their exact sizes, raw runs, and a literal
// range and index bits re-planned wherever they pay.
//
// The input is worked through in chunks of kBestChunk positions: the match finder
// (best_search) lists the candidates of every position of the chunk, then parse
// (best_parse) and schedule (best_schedule) are iterated and the cheapest result written
// (best_writer). The coding state runs on from chunk to chunk; only tokens are cut at
// chunk ends.
//
// Memory besides the input and the destination: TreeMatchFinder::bytes_needed(W), W =
// min(length, kMaxBestWindow) (8 bytes per window position: at most 256 MiB, plus 0.75 MiB
// of tables), and the work on one chunk: its candidates (at most 1 + kMaxDepth per
// position, 8 bytes each: 68 MiB, 136 MiB with a vector's growth, in practice a few MiB)
// and the parse arrays (about 4 MiB). So at most about 400 MiB for any input. When the
// finder's memory cannot be had, the window is halved until it can (down to 65536
// positions).
#pragma once

#include <cstdint>

namespace mytarvo::codec {

inline constexpr std::uint32_t kMaxBestWindow = 1u << 25;
inline constexpr std::uint32_t kMinBestWindow = 1u << 16;
inline constexpr std::uint32_t kBestChunk = 1u << 16;

// Packs `length` bytes of `source` into `dest`, which must hold `length` bytes; nothing is
// stored beyond them. Returns the size of the packed block (10 + 4k bytes, at most `length`),
// or 0 when it would not fit (every input under 14 bytes, and data that does not pack), when
// source or dest is null, length is 0, or memory runs out. The block records its checksum.
// `window` (clamped to kMinBestWindow .. kMaxBestWindow) bounds the distances; tests use
// small ones.
[[nodiscard]] std::uint32_t pack_best(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length,
                                      std::uint32_t window = kMaxBestWindow) noexcept;

}  // namespace mytarvo::codec
