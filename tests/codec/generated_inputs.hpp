// Generated inputs of many shapes for the encoder comparison tests: small alphabets, runs,
// text of random words, noise with planted copies, shifting byte ranges, periodic data and
// repeats from far back.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/encoder_harness.hpp"

namespace mytarvo::test {

// `size` bytes drawn evenly from `alphabet` values starting at `first` (modulo 256).
Bytes from_alphabet(TestRandom& rng, std::size_t size, std::uint32_t alphabet, std::uint8_t first);

// Runs of one byte, mostly short, some up to 300 bytes, a quarter of them zero bytes.
Bytes runs(TestRandom& rng, std::size_t size);

// Random words from a small vocabulary: text-like matches of every length.
Bytes words(TestRandom& rng, std::size_t size);

// Noise with copies planted at the given distances.
Bytes planted(TestRandom& rng, std::size_t size, const std::vector<std::uint32_t>& distances);

// Text whose byte range changes from stretch to stretch, with all-equal stretches of bytes
// outside the previous range, so that literals fall outside the analysed range.
Bytes shifting_ranges(TestRandom& rng, std::size_t size);

// A random pattern of `period` bytes repeated, with a rare changed byte: every earlier
// position in step with the pattern repeats it, so chains of equally long candidates form.
Bytes periodic(TestRandom& rng, std::size_t size, std::uint32_t period);

// Text of random words in which whole stretches come back from exactly `distance` bytes
// earlier (distances around 49152 and 65536 test the window's edge and the index bits).
Bytes far_repeats(TestRandom& rng, std::size_t size, const std::vector<std::uint32_t>& distances);

}  // namespace mytarvo::test
