// The whole round trip through the library as a host loads it: create an archive, add every
// corpus file packed and stored, list it, extract one entry and then all, and compare the
// archive, the listing and every extracted byte with what they must be.
#include <gtest/gtest.h>

#include "codec/block_encoder.hpp"
#include "mytarvo/mytarvo.h"
#include "support/loader.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::concat;
using test::to_bytes;

using AddToPakFn = int32_t(MYTARVO_CALL*)(const char*, const char*, const char*, int32_t);
using CreatePakFileFn = int32_t(MYTARVO_CALL*)(const char*);
using MakeListFilesFn = int32_t(MYTARVO_CALL*)(const char*, const char*);
using UnPakFn = const char*(MYTARVO_CALL*)(const char*, const char*, const char*, const char*);
using UnPakAllFn = int32_t(MYTARVO_CALL*)(const char*, const char*, const char*);

// Ordinals where the platform has them (the way a Windows host binds), names elsewhere.
template <typename Fn>
Fn bind(const test::LoadedLibrary& library, const char* name, unsigned ordinal) {
  void* f = test::LoadedLibrary::has_ordinals() ? library.by_ordinal(ordinal) : library.by_name(name);
  return reinterpret_cast<Fn>(f);
}

// The entry AddToPak must append for `content` under `name`.
Bytes expected_entry(const std::string& name, const Bytes& content, bool pack) {
  const std::string size = std::to_string(content.size());
  if (pack) {
    Bytes block(content.size());
    const std::uint32_t n =
        codec::pack(content.data(), block.data(), static_cast<std::uint32_t>(content.size()), 9);
    if (n > 0 && n < content.size()) {
      block.resize(n);
      return concat({to_bytes(name + "\r\n"), {1}, to_bytes(size + "\r\n" + std::to_string(n) + "\r\n"), block});
    }
  }
  return concat({to_bytes(name + "\r\n"), {0}, to_bytes(size + "\r\n"), content});
}

TEST(HostRoundTrip, EveryCorpusFilePackedAndStored) {
  test::LoadedLibrary library(MYTARVO_LIBRARY_PATH);
  ASSERT_TRUE(library.loaded());
  const auto add = bind<AddToPakFn>(library, "AddToPak", 1);
  const auto create = bind<CreatePakFileFn>(library, "CreatePakFile", 2);
  const auto list = bind<MakeListFilesFn>(library, "MakeListFiles", 3);
  const auto unpak = bind<UnPakFn>(library, "UnPak", 4);
  const auto unpak_all = bind<UnPakAllFn>(library, "UnPakAll", 5);
  ASSERT_TRUE(add && create && list && unpak && unpak_all);

  const std::vector<std::string> names = test::corpus_files();
  ASSERT_GE(names.size(), 11u) << "corpus not found at " << MYTARVO_CORPUS_DIR;

  test::TempDir dir;
  const std::string archive = dir.file("corpus.pak");
  ASSERT_EQ(create(archive.c_str()), 0);
  Bytes expected_archive = to_bytes("Tarvo Pak 3 - Orvelund\r\n");
  std::string expected_listing =
      "-=* Tarvo Pak 3 *=-\r\n-=*   Orvelund  *=-\r\n\r\n-=*  File List  *=-\r\n\r\n";
  // Packed first, then the same files stored: UnPak finds the packed copy, UnPakAll
  // leaves the stored one; both must give the original bytes.
  for (int pass = 0; pass < 2; ++pass) {
    const bool pack = pass == 0;
    for (const std::string& name : names) {
      ASSERT_EQ(add(archive.c_str(), test::corpus_path(name).c_str(), nullptr, pack ? 1 : 0), 0);
      const Bytes entry = expected_entry(name, test::read_file(test::corpus_path(name)), pack);
      expected_archive.insert(expected_archive.end(), entry.begin(), entry.end());
      const bool packed = entry[name.size() + 2] == 1;
      expected_listing += name + "    " + std::to_string(test::read_file(test::corpus_path(name)).size()) +
                          "    Compression: (" + (packed ? "Yes" : "No") + ")\r\n";
    }
  }
  ASSERT_EQ(test::read_file(archive), expected_archive);

  ASSERT_EQ(list(archive.c_str(), dir.file("listing.txt").c_str()), 0);
  EXPECT_EQ(test::read_text(dir.file("listing.txt")), expected_listing);

  const std::string one_dir = dir.file("one");
  const std::string got = unpak(archive.c_str(), one_dir.c_str(), names.back().c_str(), nullptr);
  EXPECT_EQ(got, one_dir + test::native_separator() + names.back());
  EXPECT_EQ(test::read_file(got), test::read_file(test::corpus_path(names.back())));

  const std::string all_dir = dir.file("all");
  ASSERT_EQ(unpak_all(archive.c_str(), all_dir.c_str(), nullptr), 0);
  for (const std::string& name : names) {
    EXPECT_EQ(test::read_file(all_dir + test::native_separator() + name), test::read_file(test::corpus_path(name)))
        << name;
  }
}

}  // namespace
}  // namespace mytarvo
