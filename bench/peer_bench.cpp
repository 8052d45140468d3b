// Side-by-side speed and ratio of the block codec and its peers on the corpus: each file is
// packed and unpacked repeatedly by every codec in the same run, the median time of each
// is kept, and one table shows packed size, ratio and MB/s (10^6 bytes of unpacked data
// per second, both ways) per file and over all files. A last table sets the totals of
// this codec at level 9 against libdeflate at level 9, the closest peer in design.
//
//   peer_bench [--min-time=SECONDS] [--only=CODEC[,CODEC...]] [--cpu-time] [CORPUS_DIR]
//
// --cpu-time times by the processor time the program used (std::clock) instead of the wall
// clock: on a machine shared with other work, the wall clock also counts the time the
// program waited for a processor, which can be most of it.
// --only keeps the codecs whose names begin with one of the given names ("mytarvo,libdeflate 9").
#include <libdeflate.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One codec: pack returns the packed size (0: not packed, the data would be stored as it
// stands); unpack returns the number of bytes it wrote.
struct Codec {
  std::string name;
  std::function<std::size_t(const Bytes& in, Bytes& out)> pack;
  std::function<std::size_t(const Bytes& packed, std::size_t packed_size, Bytes& out)> unpack;
  std::size_t (*bound)(std::size_t size);
};

std::size_t same_size(std::size_t size) { return size; }
std::size_t zlib_bound(std::size_t size) { return compressBound(static_cast<uLong>(size)); }
std::size_t zstd_bound(std::size_t size) { return ZSTD_compressBound(size); }
std::size_t libdeflate_bound(std::size_t size) { return libdeflate_deflate_compress_bound(nullptr, size); }
std::size_t lz4_bound(std::size_t size) { return static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(size))); }

Codec mytarvo_codec() {
  return Codec{"mytarvo 9",
               [](const Bytes& in, Bytes& out) -> std::size_t {
                 return mytarvo::codec::pack(in.data(), out.data(), static_cast<std::uint32_t>(in.size()), 9);
               },
               [](const Bytes& packed, std::size_t size, Bytes& out) -> std::size_t {
                 return mytarvo::codec::decode(packed.data(), size, out.data(), out.size());
               },
               &same_size};
}

Codec zlib_codec(int level) {
  return Codec{"zlib " + std::to_string(level),
               [level](const Bytes& in, Bytes& out) -> std::size_t {
                 uLongf size = static_cast<uLongf>(out.size());
                 return compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), level) == Z_OK ? size : 0;
               },
               [](const Bytes& packed, std::size_t packed_size, Bytes& out) -> std::size_t {
                 uLongf size = static_cast<uLongf>(out.size());
                 return uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed_size)) == Z_OK ? size : 0;
               },
               &zlib_bound};
}

Codec zstd_codec(int level) {
  return Codec{"zstd " + std::to_string(level),
               [level](const Bytes& in, Bytes& out) -> std::size_t {
                 const std::size_t n = ZSTD_compress(out.data(), out.size(), in.data(), in.size(), level);
                 return ZSTD_isError(n) ? 0 : n;
               },
               [](const Bytes& packed, std::size_t packed_size, Bytes& out) -> std::size_t {
                 const std::size_t n = ZSTD_decompress(out.data(), out.size(), packed.data(), packed_size);
                 return ZSTD_isError(n) ? 0 : n;
               },
               &zstd_bound};
}

// Raw DEFLATE streams. The compressor is made once per level, outside the timed runs, as
// its state is meant to be reused; the decompressor likewise.
Codec libdeflate_codec(int level) {
  std::shared_ptr<libdeflate_compressor> compressor(libdeflate_alloc_compressor(level), &libdeflate_free_compressor);
  std::shared_ptr<libdeflate_decompressor> decompressor(libdeflate_alloc_decompressor(),
                                                        &libdeflate_free_decompressor);
  if (!compressor || !decompressor) {
    std::fprintf(stderr, "libdeflate %d: no compressor\n", level);
    std::exit(1);
  }
  return Codec{"libdeflate " + std::to_string(level),
               [compressor](const Bytes& in, Bytes& out) -> std::size_t {
                 return libdeflate_deflate_compress(compressor.get(), in.data(), in.size(), out.data(), out.size());
               },
               [decompressor](const Bytes& packed, std::size_t packed_size, Bytes& out) -> std::size_t {
                 std::size_t produced = 0;
                 const libdeflate_result r = libdeflate_deflate_decompress(decompressor.get(), packed.data(), packed_size,
                                                                           out.data(), out.size(), &produced);
                 return r == LIBDEFLATE_SUCCESS ? produced : 0;
               },
               &libdeflate_bound};
}

Codec lz4_codec() {
  return Codec{"lz4",
               [](const Bytes& in, Bytes& out) -> std::size_t {
                 const int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                                                    reinterpret_cast<char*>(out.data()), static_cast<int>(in.size()),
                                                    static_cast<int>(out.size()));
                 return n > 0 ? static_cast<std::size_t>(n) : 0;
               },
               [](const Bytes& packed, std::size_t packed_size, Bytes& out) -> std::size_t {
                 const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(packed.data()),
                                                   reinterpret_cast<char*>(out.data()), static_cast<int>(packed_size),
                                                   static_cast<int>(out.size()));
                 return n > 0 ? static_cast<std::size_t>(n) : 0;
               },
               &lz4_bound};
}

Codec lz4hc_codec(int level) {
  return Codec{"lz4hc " + std::to_string(level),
               [level](const Bytes& in, Bytes& out) -> std::size_t {
                 const int n = LZ4_compress_HC(reinterpret_cast<const char*>(in.data()),
                                               reinterpret_cast<char*>(out.data()), static_cast<int>(in.size()),
                                               static_cast<int>(out.size()), level);
                 return n > 0 ? static_cast<std::size_t>(n) : 0;
               },
               lz4_codec().unpack, &lz4_bound};
}

// ---- Timing -------------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

bool g_cpu_time = false;  // --cpu-time

// Seconds since an arbitrary start: wall clock, or processor time with --cpu-time.
double now_seconds() {
  if (g_cpu_time) return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Median seconds of `work` over at least three runs and at least `min_time` seconds in all
// (at most 200 runs).
double median_seconds(const std::function<void()>& work, double min_time) {
  std::vector<double> runs;
  double total = 0;
  while (runs.size() < 3 || (total < min_time && runs.size() < 200)) {
    const double start = now_seconds();
    work();
    const double seconds = now_seconds() - start;
    runs.push_back(seconds);
    total += seconds;
  }
  std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 2), runs.end());
  return runs[runs.size() / 2];
}

struct Measure {
  std::size_t input = 0;
  std::size_t packed = 0;   // what is kept: the packed size, or the input size when stored
  double pack_seconds = 0;
  double unpack_seconds = 0;  // for a stored file: the copy that stands for unpacking
  bool stored = false;
};

// Packs and unpacks `input` with `codec`; checks that the bytes come back.
Measure measure(const Codec& codec, const Bytes& input, double min_time) {
  Measure m;
  m.input = input.size();
  Bytes packed(codec.bound(input.size()));
  std::size_t packed_size = 0;
  m.pack_seconds = median_seconds([&] { packed_size = codec.pack(input, packed); }, min_time);
  Bytes out(input.size());
  if (packed_size == 0) {
    // Not packed below its length: kept as it stands, and unpacking is a copy.
    m.stored = true;
    m.packed = input.size();
    m.unpack_seconds = median_seconds([&] { std::memcpy(out.data(), input.data(), input.size()); }, min_time);
    return m;
  }
  m.packed = packed_size;
  std::size_t produced = 0;
  m.unpack_seconds = median_seconds([&] { produced = codec.unpack(packed, packed_size, out); }, min_time);
  if (produced != input.size() || out != input) {
    std::fprintf(stderr, "%s: the unpacked bytes differ from the input\n", codec.name.c_str());
    std::exit(1);
  }
  return m;
}

double mb_per_second(std::size_t bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0.0; }

void print_row(const std::string& file, const std::string& codec, const Measure& m) {
  std::printf("%-16s %-13s %9zu %9zu%s %6.3f %10.2f %11.1f\n", file.c_str(), codec.c_str(), m.input, m.packed,
              m.stored ? "*" : " ", static_cast<double>(m.packed) / static_cast<double>(m.input),
              mb_per_second(m.input, m.pack_seconds), mb_per_second(m.input, m.unpack_seconds));
}

// The totals of this codec at level 9 beside libdeflate at level 9, and their ratios
// (above 1: this codec is faster, or packs smaller). Only when both ran.
void print_head_to_head(const std::vector<Codec>& codecs, const std::vector<Measure>& totals) {
  const auto find = [&](const std::string& name) -> const Measure* {
    for (std::size_t c = 0; c < codecs.size(); ++c) {
      if (codecs[c].name == name) return &totals[c];
    }
    return nullptr;
  };
  const Measure* ours = find("mytarvo 9");
  const Measure* peer = find("libdeflate 9");
  if (ours == nullptr || peer == nullptr) return;
  const double ours_pack = mb_per_second(ours->input, ours->pack_seconds);
  const double peer_pack = mb_per_second(peer->input, peer->pack_seconds);
  const double ours_unpack = mb_per_second(ours->input, ours->unpack_seconds);
  const double peer_unpack = mb_per_second(peer->input, peer->unpack_seconds);
  std::printf("\ncorpus total      %12s %12s %12s\n", "mytarvo 9", "libdeflate 9", "mytarvo/lib");
  std::printf("packed bytes      %12zu %12zu %12.3f\n", ours->packed, peer->packed,
              static_cast<double>(ours->packed) / static_cast<double>(peer->packed));
  std::printf("pack MB/s         %12.2f %12.2f %12.3f\n", ours_pack, peer_pack, ours_pack / peer_pack);
  std::printf("unpack MB/s       %12.1f %12.1f %12.3f\n", ours_unpack, peer_unpack, ours_unpack / peer_unpack);
}

Bytes read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus = MYTARVO_CORPUS_DIR;
  std::vector<std::string> only;
  double min_time = 0.25;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--min-time=", 0) == 0) {
      min_time = std::atof(arg.c_str() + 11);
    } else if (arg == "--cpu-time") {
      g_cpu_time = true;
    } else if (arg.rfind("--only=", 0) == 0) {
      std::string names = arg.substr(7);
      for (std::size_t comma; (comma = names.find(',')) != std::string::npos; names.erase(0, comma + 1)) {
        only.push_back(names.substr(0, comma));
      }
      only.push_back(names);
    } else {
      corpus = arg;
    }
  }

  std::vector<Codec> codecs = {mytarvo_codec(),      libdeflate_codec(6), libdeflate_codec(9), libdeflate_codec(12),
                               zlib_codec(6),        zlib_codec(9),       zstd_codec(3),       zstd_codec(19),
                               lz4_codec(),          lz4hc_codec(9)};
  if (!only.empty()) {
    std::erase_if(codecs, [&](const Codec& c) {
      return std::none_of(only.begin(), only.end(), [&](const std::string& name) { return c.name.rfind(name, 0) == 0; });
    });
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());

  std::printf("%-16s %-13s %9s %10s %6s %10s %11s\n", "file", "codec", "size", "packed", "ratio", "pack MB/s",
              "unpack MB/s");
  std::vector<Measure> totals(codecs.size());
  for (const auto& path : files) {
    const Bytes input = read_whole(path);
    if (input.empty()) continue;
    for (std::size_t c = 0; c < codecs.size(); ++c) {
      const Measure m = measure(codecs[c], input, min_time);
      print_row(path.filename().string(), codecs[c].name, m);
      std::fflush(stdout);
      totals[c].input += m.input;
      totals[c].packed += m.packed;
      totals[c].pack_seconds += m.pack_seconds;
      totals[c].unpack_seconds += m.unpack_seconds;
      totals[c].stored = totals[c].stored || m.stored;
    }
  }
  std::printf("\n");
  for (std::size_t c = 0; c < codecs.size(); ++c) print_row("total", codecs[c].name, totals[c]);
  print_head_to_head(codecs, totals);
  std::printf("\n* kept as it stands (it does not pack below its length); its unpack time is a copy.\n"
              "MB/s are 10^6 bytes of unpacked data per second (median of repeated runs); the totals\n"
              "divide all bytes by the sum of the medians. Timed by the %s.\n",
              g_cpu_time ? "processor time used (--cpu-time)" : "wall clock");
  return 0;
}
