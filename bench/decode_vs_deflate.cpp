// Decoding speed against a baseline in the same run: for each corpus file, this codec's
// one-shot and streaming decoders on its level-9 block, and libdeflate decompressing its
// own level-9 output. Prints MB/s of unpacked bytes per file and for the corpus total.
// Usage: decode_vs_deflate [corpus directory] [seconds per measurement]
#include <libdeflate.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"
#include "mytarvo/codec.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Best time of one call over repeated runs lasting about `seconds`, in seconds.
template <class Fn>
double best_time(double seconds, Fn&& fn) {
  double best = 1e30;
  const auto start = Clock::now();
  do {
    const auto t0 = Clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  } while (std::chrono::duration<double>(Clock::now() - start).count() < seconds);
  return best;
}

// Decodes `block` into `out`, which has a byte to spare, so that the last read() sees room
// and can report the end.
std::size_t stream_decode(const Bytes& block, Bytes& out) {
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  mytarvo::BlockStreamDecoder decoder;
  std::size_t fed = 0;
  std::size_t got = 0;
  for (;;) {
    const std::size_t n = decoder.read(out.data() + got, std::min(kPiece, out.size() - got));
    got += n;
    if (n > 0) continue;
    if (decoder.status() != mytarvo::StreamStatus::NeedsInput) break;
    const std::size_t k = std::min(kPiece, block.size() - fed);
    if (k == 0) decoder.end_input();
    if (k > 0 && !decoder.feed(block.data() + fed, k)) break;
    fed += k;
  }
  return decoder.status() == mytarvo::StreamStatus::Done ? got : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : MYTARVO_CORPUS_DIR;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 0.3;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(9);
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  double total_bytes = 0, t_ours = 0, t_stream = 0, t_deflate = 0;
  std::printf("%-16s %10s %10s %10s %10s  (MB/s of unpacked bytes)\n", "file", "size", "decode", "stream",
              "libdeflate");
  for (const auto& path : files) {
    const Bytes input = read_whole(path);
    if (input.empty()) continue;
    Bytes block(input.size());
    const std::uint32_t packed =
        mytarvo::codec::pack(input.data(), block.data(), static_cast<std::uint32_t>(input.size()), 9);
    if (packed == 0) continue;  // stored as it is in an archive: nothing to decode
    block.resize(packed);
    Bytes deflated(libdeflate_deflate_compress_bound(compressor, input.size()));
    deflated.resize(libdeflate_deflate_compress(compressor, input.data(), input.size(), deflated.data(), deflated.size()));
    Bytes out(input.size());
    const double ours = best_time(seconds, [&] {
      if (mytarvo::codec::decode(block.data(), block.size(), out.data(), out.size()) != input.size()) std::abort();
    });
    if (out != input) std::abort();
    Bytes streamed_out(input.size() + 1);
    const double streamed = best_time(seconds, [&] {
      if (stream_decode(block, streamed_out) != input.size()) std::abort();
    });
    if (!std::equal(input.begin(), input.end(), streamed_out.begin())) std::abort();
    const double deflate = best_time(seconds, [&] {
      std::size_t n = 0;
      if (libdeflate_deflate_decompress(decompressor, deflated.data(), deflated.size(), out.data(), out.size(), &n) !=
              LIBDEFLATE_SUCCESS ||
          n != input.size()) {
        std::abort();
      }
    });
    const double mb = static_cast<double>(input.size()) / 1e6;
    std::printf("%-16s %10zu %10.0f %10.0f %10.0f\n", path.filename().string().c_str(), input.size(), mb / ours,
                mb / streamed, mb / deflate);
    total_bytes += mb;
    t_ours += ours;
    t_stream += streamed;
    t_deflate += deflate;
  }
  std::printf("%-16s %10.0f %10.0f %10.0f %10.0f\n", "total", total_bytes * 1e6, total_bytes / t_ours,
              total_bytes / t_stream, total_bytes / t_deflate);
  libdeflate_free_compressor(compressor);
  libdeflate_free_decompressor(decompressor);
  return 0;
}
