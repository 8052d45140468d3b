// Speed of the block codec on the corpus: packing at level 9 and decoding, in MB/s of
// unpacked input, with the packed size of each file as a counter.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"
#include "mytarvo/codec.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kLevel = 9;

Bytes read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void report(benchmark::State& state, const Bytes& input, std::uint32_t packed) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(input.size()));
  state.counters["input"] = static_cast<double>(input.size());
  state.counters["packed"] = static_cast<double>(packed);
  state.counters["ratio"] = packed == 0 ? 1.0 : static_cast<double>(packed) / static_cast<double>(input.size());
}

void pack_file(benchmark::State& state, const Bytes& input) {
  Bytes dest(input.size());
  std::uint32_t packed = 0;
  for (auto _ : state) {
    packed = mytarvo::codec::pack(input.data(), dest.data(), static_cast<std::uint32_t>(input.size()), kLevel);
    benchmark::DoNotOptimize(packed);
    benchmark::ClobberMemory();
  }
  report(state, input, packed);
}

// The file's level-9 block in `block`; its size, or 0 (and the case skipped) when the file
// does not pack below its length.
std::uint32_t pack_for_decoding(benchmark::State& state, const Bytes& input, Bytes& block) {
  block.resize(input.size());
  const std::uint32_t packed =
      mytarvo::codec::pack(input.data(), block.data(), static_cast<std::uint32_t>(input.size()), kLevel);
  if (packed == 0) state.SkipWithError("the file does not pack below its length");
  return packed;
}

void decode_file(benchmark::State& state, const Bytes& input) {
  Bytes block;
  const std::uint32_t packed = pack_for_decoding(state, input, block);
  if (packed == 0) return;
  Bytes out(input.size());
  for (auto _ : state) {
    const std::uint32_t n = mytarvo::codec::decode(block.data(), packed, out.data(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  if (out != input) state.SkipWithError("decoded bytes differ from the input");
  report(state, input, packed);
}

// The streaming decoder on the same block: fed in pieces of 64 KiB, read through a buffer
// of 64 KiB (as an extractor writing a file would), every byte checked once at the end.
constexpr std::size_t kStreamPiece = std::size_t{1} << 16;

void stream_decode_file(benchmark::State& state, const Bytes& input) {
  Bytes block;
  const std::uint32_t packed = pack_for_decoding(state, input, block);
  if (packed == 0) return;
  Bytes out(input.size());
  Bytes buffer(kStreamPiece);
  for (auto _ : state) {
    mytarvo::BlockStreamDecoder decoder;
    std::size_t fed = 0;
    std::size_t got = 0;
    for (;;) {
      const std::size_t n = decoder.read(buffer.data(), buffer.size());
      if (n > 0) {
        if (got + n <= out.size()) std::memcpy(out.data() + got, buffer.data(), n);
        got += n;
        continue;
      }
      if (decoder.status() != mytarvo::StreamStatus::NeedsInput) break;
      const std::size_t k = std::min(kStreamPiece, packed - fed);
      if (k == 0) {
        decoder.end_input();
      } else {
        (void)decoder.feed(block.data() + fed, k);
      }
      fed += k;
    }
    benchmark::DoNotOptimize(got);
    benchmark::ClobberMemory();
    if (decoder.status() != mytarvo::StreamStatus::Done) state.SkipWithError("the stream did not decode");
  }
  if (out != input) state.SkipWithError("decoded bytes differ from the input");
  report(state, input, packed);
}

// One pack and two decode benchmarks per corpus file, in name order.
void register_corpus() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(MYTARVO_CORPUS_DIR, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    const auto input = std::make_shared<Bytes>(read_whole(path));
    if (input->empty()) continue;
    const std::string name = path.filename().string();
    benchmark::RegisterBenchmark(("pack/" + name).c_str(), [input](benchmark::State& s) { pack_file(s, *input); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decode/" + name).c_str(), [input](benchmark::State& s) { decode_file(s, *input); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("decode_stream/" + name).c_str(),
                                 [input](benchmark::State& s) { stream_decode_file(s, *input); })
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_corpus();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
