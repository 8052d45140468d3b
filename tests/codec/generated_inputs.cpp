// Generators of test inputs (see generated_inputs.hpp).
#include "codec/generated_inputs.hpp"

#include <string>

namespace mytarvo::test {

Bytes from_alphabet(TestRandom& rng, std::size_t size, std::uint32_t alphabet, std::uint8_t first) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(first + rng.below(alphabet));
  return out;
}

Bytes runs(TestRandom& rng, std::size_t size) {
  Bytes out;
  while (out.size() < size) {
    const auto byte = static_cast<std::uint8_t>(rng.below(4) == 0 ? 0 : rng.next());
    out.insert(out.end(), 1 + rng.below(rng.below(3) == 0 ? 300 : 8), byte);
  }
  out.resize(size);
  return out;
}

Bytes words(TestRandom& rng, std::size_t size) {
  static const char* const kWords[] = {"the ", "a ", "encoder ", "window ", "match ", "of ", "and ", "ring ",
                                       "chain\n", "literal ", "zz", "position, ", "(", ") ", "distance", "."};
  Bytes out;
  while (out.size() < size) {
    const std::string w = kWords[rng.below(16)];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(size);
  return out;
}

Bytes planted(TestRandom& rng, std::size_t size, const std::vector<std::uint32_t>& distances) {
  Bytes out = from_alphabet(rng, size, 256, 0);
  for (std::size_t pos = 0; pos + 300 < size;) {
    const std::uint32_t d = distances[rng.below(static_cast<std::uint32_t>(distances.size()))];
    const std::uint32_t len = 2 + rng.below(rng.below(4) == 0 ? 200 : 12);
    if (pos >= d) {
      for (std::uint32_t i = 0; i < len && pos + i < size; ++i) out[pos + i] = out[pos + i - d];
    }
    pos += len + rng.below(40);
  }
  return out;
}

Bytes shifting_ranges(TestRandom& rng, std::size_t size) {
  Bytes out;
  while (out.size() < size) {
    switch (rng.below(4)) {
      case 0: {
        const Bytes w = words(rng, 200 + rng.below(1500));
        out.insert(out.end(), w.begin(), w.end());
        break;
      }
      case 1: out.insert(out.end(), 1024 + rng.below(100), static_cast<std::uint8_t>(0xC0 + rng.below(64))); break;
      case 2: {
        const Bytes a = from_alphabet(rng, 100 + rng.below(900), 20, static_cast<std::uint8_t>(rng.next()));
        out.insert(out.end(), a.begin(), a.end());
        break;
      }
      default: out.push_back(static_cast<std::uint8_t>(rng.next())); break;
    }
  }
  out.resize(size);
  return out;
}

Bytes periodic(TestRandom& rng, std::size_t size, std::uint32_t period) {
  const Bytes pattern = from_alphabet(rng, period, 256, 0);
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = pattern[i % period];
  for (std::size_t i = 0; i < size / 5000; ++i) out[rng.below(static_cast<std::uint32_t>(size))] ^= 0x20;
  return out;
}

Bytes far_repeats(TestRandom& rng, std::size_t size, const std::vector<std::uint32_t>& distances) {
  Bytes out = words(rng, size);
  for (std::size_t pos = 0; pos + 2000 < size;) {
    const std::uint32_t d = distances[rng.below(static_cast<std::uint32_t>(distances.size()))];
    const std::uint32_t len = 3 + rng.below(rng.below(3) == 0 ? 1500 : 40);
    if (pos >= d) {
      for (std::uint32_t i = 0; i < len && pos + i < size; ++i) out[pos + i] = out[pos + i - d];
    }
    pos += len + rng.below(300);
  }
  return out;
}

}  // namespace mytarvo::test
