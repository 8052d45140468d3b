// Speed of the archive operations on archives of many entries: listing (MakeListFiles) and
// extracting the last entry (UnPak) must cost time in proportion to the entries, since the
// entry scan reads only headers and seeks past all data. Archives of 1,000 and 10,000
// entries are built once, with small entries (many headers per read buffer) and with
// entries larger than the buffer (one read per header); each case reports its time per
// entry.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_format.hpp"
#include "archive/library.hpp"
#include "archive/operations.hpp"
#include "bench_scratch.hpp"

namespace {

namespace fs = std::filesystem;

using Scratch = mytarvo::bench::Scratch;

Scratch& scratch() {
  static Scratch instance("mytarvo_archive_bench_");
  return instance;
}

std::string entry_name(int index) { return "entry_" + std::to_string(index) + ".dat"; }

// Builds (once) an archive of `count` stored entries of `data_size` bytes each.
const std::string& archive_of(int count, std::uint32_t data_size) {
  static std::map<std::pair<int, std::uint32_t>, std::string> built;
  auto& path = built[{count, data_size}];
  if (!path.empty()) return path;
  path = scratch().path("pak_" + std::to_string(count) + "_" + std::to_string(data_size) + ".pak");
  mytarvo::BufferedFile file;
  (void)file.open(path.c_str(), mytarvo::platform::OpenMode::CreateOrTruncate);
  mytarvo::write_line(file, mytarvo::kArchiveHeader);
  std::vector<std::uint8_t> data(data_size);
  for (int i = 0; i < count; ++i) {
    for (std::uint32_t k = 0; k < data_size; ++k) data[k] = static_cast<std::uint8_t>(i * 31 + k);
    const std::string name = entry_name(i);
    mytarvo::write_entry(file, {name, 0, static_cast<std::int32_t>(data_size), data});
  }
  file.close();
  return path;
}

void report_per_entry(benchmark::State& state, int count) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
  state.counters["entries"] = count;
}

void list_files(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& archive = archive_of(count, static_cast<std::uint32_t>(state.range(1)));
  const std::string listing = scratch().path("listing.txt");
  for (auto _ : state) mytarvo::make_list_files(archive.c_str(), listing.c_str());
  report_per_entry(state, count);
}

void unpak_last(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& archive = archive_of(count, static_cast<std::uint32_t>(state.range(1)));
  const std::string out_dir = scratch().path("out");
  const std::string last = entry_name(count - 1);
  mytarvo::Library lib;
  for (auto _ : state) {
    const char* written = mytarvo::unpak(lib, archive.c_str(), out_dir.c_str(), last.c_str());
    if (*written == '\0') state.SkipWithError("the last entry was not extracted");
  }
  report_per_entry(state, count);
}

// {entries, bytes of data per entry}: 100-byte entries share read buffers; 6000-byte entries
// each need a read of their own.
void entry_shapes(benchmark::internal::Benchmark* b) {
  for (int count : {1000, 10000}) {
    for (int size : {100, 6000}) b->Args({count, size});
  }
  b->ArgNames({"entries", "bytes"})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(list_files)->Apply(entry_shapes);
BENCHMARK(unpak_last)->Apply(entry_shapes);

}  // namespace

BENCHMARK_MAIN();
