// The literal-range and index-bits schedule of the best mode: where the stream changes its
// literal width and base and its index bits, and to what. Planned per chunk from a parse
// of it (which bytes it codes as literals, which distances as long matches) by a
// shortest path over the stretches of the chunk whose states are the choices and whose
// edges cost the change tokens; the next parse is then made under the new schedule.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/best_parse.hpp"
#include "codec/token_stream.hpp"

namespace mytarvo::codec::best {

// The coding state a stream holds between tokens, as far as the schedule and the parse
// care. Before the first literal-width change the stream has no literal range at all.
struct StreamState {
  bool announced = false;
  LiteralRange range = kFullRange;
  std::uint32_t index_bits = kInitialIndexBits;
  std::uint32_t last_distance = kInitialLastDistance;
};

// Which change tokens must precede the token at `offset` of the chunk.
struct Changes {
  bool range;
  bool index_bits;
};
[[nodiscard]] inline Changes changes_before(const StreamState& state, const Schedule& schedule,
                                            std::uint32_t offset) {
  return {!state.announced || !(state.range == schedule.range_at(offset)),
          state.index_bits != schedule.index_bits_at(offset)};
}

// Plans the schedule of `chunk` from the tokens of an earlier parse of it. Every literal of
// that parse stays codable, so that parse remains a path under the new schedule.
Schedule plan_schedule(const ChunkView& chunk, const std::vector<ParseStep>& steps, const StreamState& at_start);

// Follows `steps` under `schedule` from `state`: returns the bits of the change tokens
// they need, and leaves `state` as it stands after the last step.
std::uint64_t follow_schedule(const std::vector<ParseStep>& steps, const Schedule& schedule, StreamState& state);

}  // namespace mytarvo::codec::best
