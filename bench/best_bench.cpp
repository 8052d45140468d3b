// The best packing mode against level 9 and, when they were found at build time, zlib at
// level 9 and libdeflate at level 12, on each file of the corpus: packed bytes per codec
// (a file that does not pack counts at its own size, as an archive would store it), and
// the speed of level 9 and of the best mode in MB/s (10^6 input bytes per second of CPU time, one thread).
//
//   best_bench [CORPUS_DIR]
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/best_encoder.hpp"
#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"

#ifdef MYTARVO_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef MYTARVO_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double mb_per_second(std::size_t bytes, double seconds) {
  return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
}

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::size_t stored(std::size_t packed, std::size_t size) { return packed == 0 || packed > size ? size : packed; }

struct Run {
  std::size_t size;
  double seconds;
};

Run level_nine(const Bytes& in) {
  Bytes out(in.size());
  const double t0 = cpu_seconds();
  const std::uint32_t n = mytarvo::codec::pack(in.data(), out.data(), static_cast<std::uint32_t>(in.size()), 9);
  return {stored(n, in.size()), cpu_seconds() - t0};
}

struct BestRun {
  std::size_t size;
  double seconds;
  bool decodes;
};

BestRun best(const Bytes& in) {
  Bytes out(in.size());
  const double t0 = cpu_seconds();
  const std::uint32_t n = mytarvo::codec::pack_best(in.data(), out.data(), static_cast<std::uint32_t>(in.size()));
  const double seconds = cpu_seconds() - t0;
  Bytes back(in.size());
  const bool decodes =
      n == 0 || (mytarvo::codec::decode(out.data(), n, back.data(), back.size()) == in.size() && back == in);
  return {stored(n, in.size()), seconds, decodes};
}

#ifdef MYTARVO_HAVE_ZLIB
std::size_t zlib_nine(const Bytes& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  Bytes out(size);
  return compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9) == Z_OK ? stored(size, in.size())
                                                                                             : in.size();
}
#endif

#ifdef MYTARVO_HAVE_LIBDEFLATE
std::size_t libdeflate_twelve(const Bytes& in) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(12);
  Bytes out(libdeflate_deflate_compress_bound(c, in.size()));
  const std::size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
  libdeflate_free_compressor(c);
  return stored(n, in.size());
}
#endif

struct Totals {
  std::size_t input = 0, nine = 0, best = 0, zlib = 0, deflate = 0;
  double nine_seconds = 0, seconds = 0;
};

void print_row(const char* name, const Totals& t) {
  std::printf("%-16s %9zu %9zu %7.2f %9zu %7.2f%% %7.2f", name, t.input, t.nine,
              mb_per_second(t.input, t.nine_seconds), t.best,
              100.0 * static_cast<double>(t.best) / static_cast<double>(t.nine) - 100.0,
              mb_per_second(t.input, t.seconds));
#ifdef MYTARVO_HAVE_ZLIB
  std::printf(" %9zu", t.zlib);
#endif
#ifdef MYTARVO_HAVE_LIBDEFLATE
  std::printf(" %9zu", t.deflate);
#endif
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : MYTARVO_CORPUS_DIR;
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  std::printf("%-16s %9s %9s %7s %9s %8s %7s", "file", "bytes", "level 9", "MB/s", "best", "vs 9", "MB/s");
#ifdef MYTARVO_HAVE_ZLIB
  std::printf(" %9s", "zlib -9");
#endif
#ifdef MYTARVO_HAVE_LIBDEFLATE
  std::printf(" %9s", "ldeflt12");
#endif
  std::printf("\n");
  Totals total;
  int failures = 0;
  for (const auto& path : files) {
    const Bytes in = read_all(path);
    if (in.empty()) continue;
    Totals row;
    row.input = in.size();
    const Run nine = level_nine(in);
    row.nine = nine.size;
    row.nine_seconds = nine.seconds;
    const BestRun run = best(in);
    row.best = run.size;
    row.seconds = run.seconds;
    failures += run.decodes ? 0 : 1;
#ifdef MYTARVO_HAVE_ZLIB
    row.zlib = zlib_nine(in);
#endif
#ifdef MYTARVO_HAVE_LIBDEFLATE
    row.deflate = libdeflate_twelve(in);
#endif
    print_row(path.filename().string().c_str(), row);
    total.input += row.input;
    total.nine += row.nine;
    total.best += row.best;
    total.seconds += row.seconds;
    total.nine_seconds += row.nine_seconds;
    total.zlib += row.zlib;
    total.deflate += row.deflate;
  }
  print_row("total", total);
  if (failures > 0) std::printf("%d file(s) did not decode back\n", failures);
  return failures > 0 ? 1 : 0;
}
