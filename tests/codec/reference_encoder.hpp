// A deliberately plain second encoder used only by the tests: every rule of the block
// encoder written out again the slow and obvious way (a list of positions per key, bits
// collected one by one), so that the production encoder can be compared with it block for
// block. It shares no code with the production encoder beyond the checksum.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

namespace mytarvo::test::reference {

// One decision of the step chooser, recorded for tests that follow the encoder's choices.
struct Decision {
  std::uint32_t position;
  bool match;             // false: the byte at `position` is coded alone
  std::uint32_t distance;  // for a match
  std::uint32_t length;    // for a match
  std::uint32_t gain;      // gain of the match taken, or of the lookahead left pending

  friend bool operator==(const Decision&, const Decision&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Decision& d) {
  return out << d.position << (d.match ? " match " : " single ") << d.distance << '/' << d.length << " gain "
             << d.gain;
}

// Encodes `input` with the window request `window` (clamped as the encoder clamps it).
// Returns the whole block, or an empty vector where the encoder returns 0. `trace`, when
// given, receives every decision of a full step.
std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& input, std::uint32_t window,
                                 std::int32_t no_checksum, std::vector<Decision>* trace = nullptr);

// The window a pack level selects.
std::uint32_t window_for_level(std::int32_t level);

// Pricing of one candidate: the gain, or 0 when it is not worth taking.
std::uint32_t gain_of(std::uint32_t distance, std::uint32_t length, std::uint32_t index_bits,
                      std::uint32_t last_distance);

}  // namespace mytarvo::test::reference
