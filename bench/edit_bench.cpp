// Cost of editing a large archive: removing one small entry from a generated 300 MB
// archive (the whole archive is rewritten beside itself, flushed to the disk and renamed
// over the old one) against plain copies of the same file, one made the way cp makes it
// (the kernel's file copy) and one through a 1 MiB buffer with the same final flush. The
// archive lives in a directory of its own under the system's temporary directory.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mytarvo/archive.hpp"
#include "support/file_replace.hpp"
#include "support/platform.hpp"
#include "bench_scratch.hpp"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kEntrySize = 10u << 20;
constexpr int kEntries = 30;  // 300 MiB of data

using Scratch = mytarvo::bench::Scratch;

std::string entry_bytes(const std::string& name, const std::string& data) {
  return name + "\r\n" + std::string(1, '\0') + std::to_string(data.size()) + "\r\n" + data;
}

// The 300 MB archive: 30 stored entries of 10 MiB of pseudo-random bytes.
const std::string& big_archive(const Scratch& scratch) {
  static const std::string path = [&] {
    const std::string archive = scratch.path("big.pak");
    std::ofstream out(archive, std::ios::binary);
    out << "Tarvo Pak 3 - Orvelund\r\n";
    std::string data(kEntrySize, '\0');
    std::uint32_t state = 7;
    for (int i = 0; i < kEntries; ++i) {
      for (auto& c : data) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
      }
      out << entry_bytes("part" + std::to_string(i) + ".bin", data);
    }
    return archive;
  }();
  return path;
}

Scratch& scratch() {
  static Scratch instance("mytarvo_edit_bench_");
  return instance;
}

void append_small_entry(const std::string& archive) {
  std::ofstream out(archive, std::ios::binary | std::ios::app);
  out << entry_bytes("victim.txt", "a small entry to remove");
}

void BM_RemoveOneEntry(benchmark::State& state) {
  const std::string& archive = big_archive(scratch());
  for (auto _ : state) {
    state.PauseTiming();
    append_small_entry(archive);
    state.ResumeTiming();
    const auto result = mytarvo::remove_entries(archive, {"victim.txt"});
    benchmark::DoNotOptimize(result.removed.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(fs::file_size(archive)));
}

// What cp does: the kernel copies the file (copy_file_range or sendfile); no flush.
void BM_KernelCopy(benchmark::State& state) {
  const std::string& archive = big_archive(scratch());
  const std::string copy = scratch().path("copy.pak");
  for (auto _ : state) {
    fs::copy_file(archive, copy, fs::copy_options::overwrite_existing);
  }
  fs::remove(copy);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(fs::file_size(archive)));
}

// A copy through a 1 MiB buffer, flushed to the disk at the end: the work the edit does
// without the archive-specific parts.
void BM_BufferedCopyAndFlush(benchmark::State& state) {
  using namespace mytarvo::platform;
  const std::string& archive = big_archive(scratch());
  const std::string copy = scratch().path("copy.pak");
  std::vector<char> buffer(1u << 20);
  for (auto _ : state) {
    const FileHandle in = open_file(archive.c_str(), OpenMode::ReadExisting);
    const FileHandle out = open_file(copy.c_str(), OpenMode::CreateOrTruncate);
    std::uint64_t at = 0;
    for (;;) {
      const std::int64_t got = read_file_at(in, at, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
      if (got <= 0 || !write_file_at(out, at, buffer.data(), static_cast<std::uint32_t>(got))) break;
      at += static_cast<std::uint64_t>(got);
    }
    benchmark::DoNotOptimize(sync_file(out));
    close_file(in);
    close_file(out);
  }
  fs::remove(copy);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(fs::file_size(archive)));
}

BENCHMARK(BM_KernelCopy)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BufferedCopyAndFlush)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RemoveOneEntry)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
