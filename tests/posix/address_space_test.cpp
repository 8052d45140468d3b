// Entries larger than the memory a process may have: extracting, verifying and storing
// them runs in a child whose address space is limited to a little more than it already
// uses, far less than the entry's size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "archive/library.hpp"
#include "archive/operations.hpp"
#include "mytarvo/archive.hpp"
#include "support/limited_child.hpp"
#include "support/test_support.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define MYTARVO_ADDRESS_SPACE_LIMIT_WORKS 0  // the sanitizer reserves terabytes up front
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MYTARVO_ADDRESS_SPACE_LIMIT_WORKS 0
#endif
#endif
#ifndef MYTARVO_ADDRESS_SPACE_LIMIT_WORKS
#define MYTARVO_ADDRESS_SPACE_LIMIT_WORKS 1
#endif

namespace mytarvo {
namespace {

using test::TempDir;

constexpr std::size_t kEntrySize = std::size_t{40} << 20;
constexpr rlim_t kHeadroom = rlim_t{16} << 20;

// The address space the process maps now, from /proc/self/statm (pages).
rlim_t mapped_now() {
  unsigned long pages = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
  std::fclose(statm);
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// True when the file at `path` holds exactly `size` bytes of `value`.
bool holds_only(const std::string& path, std::size_t size, char value) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chunk(1 << 20);
  std::size_t total = 0;
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) {
      if (chunk[i] != value) return false;
    }
    total += got;
  }
  return total == size;
}

TEST(AddressSpaceLimit, EntriesLargerThanTheLimitExtractVerifyAndStore) {
  if (!MYTARVO_ADDRESS_SPACE_LIMIT_WORKS) GTEST_SKIP() << "an address-space limit cannot hold a sanitized process";
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  {
    std::ofstream zeros(dir.file("zeros"), std::ios::binary);
    const std::vector<char> chunk(1 << 20, 0);
    for (std::size_t i = 0; i < kEntrySize; i += chunk.size()) zeros.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    std::ofstream sevens(dir.file("sevens"), std::ios::binary);
    const std::vector<char> seven(1 << 20, 7);
    for (std::size_t i = 0; i < kEntrySize; i += seven.size()) sevens.write(seven.data(), static_cast<std::streamsize>(seven.size()));
  }
  std::filesystem::create_directories(dir.file("api"));
  Library lib;
  create_pak_file(archive.c_str());
  add_to_pak(lib, archive.c_str(), dir.file("zeros").c_str(), nullptr, 1);  // packed, a few KiB

  // The same archive with the block's checksum changed: found damaged at its end, without
  // a second pass that would hold the whole entry.
  const std::string damaged = dir.file("damaged.pak");
  {
    test::Bytes bytes = test::read_file(archive);
    bytes.at(ArchiveReader(archive).entries().at(0).data_offset + 6) ^= 0x01;
    test::write_file(damaged, bytes);
  }

  // The child may map what this process maps now plus kHeadroom.
  const int code = test::run_limited(RLIMIT_AS, mapped_now() + kHeadroom, [&] {
    Library child;
    // The one-shot decoder needed a buffer of the entry's size; none can be had here.
    if (std::string(unpak(child, archive.c_str(), dir.file("out").c_str(), "zeros")).empty()) return 1;
    try {
      ArchiveReader reader(archive);
      if (reader.verify(reader.entries().at(0)) != Damage::None) return 2;
      if (extract_entry(reader, reader.entries().at(0), dir.file("api"), false).outcome != ExtractOutcome::Written) return 3;
      ArchiveReader bad(damaged);
      if (bad.verify(bad.entries().at(0)) != Damage::BadBlock) return 5;
    } catch (...) {
      return 4;
    }
    add_to_pak(child, archive.c_str(), dir.file("sevens").c_str(), nullptr, 0);  // stored
    return 0;
  });
  ASSERT_EQ(code, 0);
  EXPECT_TRUE(holds_only(dir.file("out") + "/zeros", kEntrySize, 0));
  EXPECT_TRUE(holds_only(dir.file("api") + "/zeros", kEntrySize, 0));
  ArchiveReader reader(archive);
  ASSERT_EQ(reader.entries().size(), 2u);
  EXPECT_EQ(reader.entries()[1].name, "sevens");
  EXPECT_EQ(reader.entries()[1].file_size, kEntrySize);
  EXPECT_EQ(reader.verify(reader.entries()[1]), Damage::None);
  EXPECT_NE(std::string(unpak(lib, archive.c_str(), dir.file("check").c_str(), "sevens")), "");
  EXPECT_TRUE(holds_only(dir.file("check") + "/sevens", kEntrySize, 7));
}

}  // namespace
}  // namespace mytarvo
