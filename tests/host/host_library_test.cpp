// Loads the built library as a host program does and calls it through looked-up pointers.
#include <gtest/gtest.h>

#include "mytarvo/mytarvo.h"
#include "support/loader.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using namespace std::string_literals;

using MakeListFilesFn = int32_t(MYTARVO_CALL*)(const char*, const char*);
using UnPakFn = const char*(MYTARVO_CALL*)(const char*, const char*, const char*, const char*);
using UnPakAllFn = int32_t(MYTARVO_CALL*)(const char*, const char*, const char*);

// Looks a function up by name and, where the platform has ordinals, by ordinal as well;
// both must give the same function.
template <typename Fn>
std::vector<Fn> lookups(const test::LoadedLibrary& library, const char* name, unsigned ordinal) {
  auto by_name = reinterpret_cast<Fn>(library.by_name(name));
  EXPECT_NE(by_name, nullptr) << name;
  if (by_name == nullptr) return {};
  std::vector<Fn> calls = {by_name};
  if (test::LoadedLibrary::has_ordinals()) {
    auto by_ordinal = reinterpret_cast<Fn>(library.by_ordinal(ordinal));
    EXPECT_EQ(by_ordinal, by_name) << name;
    calls.push_back(by_ordinal);
  }
  return calls;
}

// An archive holding a stored entry, a packed one (the 8 bytes abababab) and a second
// stored entry of the first one's name.
const std::string kArchive = "Tarvo Pak 3 - Orvelund\r\n"
                             "s.txt\r\n\x00" "5\r\nhello"
                             "p.bin\r\n\x01" "8\r\n18\r\n"
                             "QZ\x08\x00\x00\x00\xc0\xcd\xc7\xcd\x4c\x6c\xd8\x20\x00\x00\x00\x04"
                             "s.txt\r\n\x00" "3\r\nbye"s;


class HostLibrary : public ::testing::Test {
 protected:
  test::LoadedLibrary library{MYTARVO_LIBRARY_PATH};
};

TEST_F(HostLibrary, LoadsAndUnloadsWithoutCreatingFiles) {
  test::TempDir dir;
  {
    test::LoadedLibrary again(MYTARVO_LIBRARY_PATH);
    ASSERT_TRUE(again.loaded());
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(HostLibrary, MakeListFilesByNameAndOrdinal) {
  ASSERT_TRUE(library.loaded());
  auto by_name = reinterpret_cast<MakeListFilesFn>(library.by_name("MakeListFiles"));
  ASSERT_NE(by_name, nullptr);
  std::vector<MakeListFilesFn> calls = {by_name};
  if (test::LoadedLibrary::has_ordinals()) {
    auto by_ordinal = reinterpret_cast<MakeListFilesFn>(library.by_ordinal(3));
    ASSERT_EQ(by_ordinal, by_name);
    calls.push_back(by_ordinal);
  }
  for (MakeListFilesFn call : calls) {
    test::TempDir dir;
    test::write_file(dir.file("a.pak"), std::string("Tarvo Pak 3 - Orvelund\r\nx\r\n\x02" "3\r\nabc", 34));
    EXPECT_EQ(call(dir.file("a.pak").c_str(), dir.file("list.txt").c_str()), 0);
    EXPECT_EQ(test::read_text(dir.file("list.txt")),
              "-=* Tarvo Pak 3 *=-\r\n-=*   Orvelund  *=-\r\n\r\n-=*  File List  *=-\r\n\r\n"
              "x    3    Compression: (No)\r\n");
    EXPECT_EQ(call(nullptr, nullptr), 0);
  }
}

TEST_F(HostLibrary, UnPakByNameAndOrdinal) {
  ASSERT_TRUE(library.loaded());
  for (UnPakFn call : lookups<UnPakFn>(library, "UnPak", 4)) {
    test::TempDir dir;
    test::write_file(dir.file("a.pak"), kArchive);
    const std::string out = dir.file("out");
    const std::string sep(1, test::native_separator());
    const char* result = call(dir.file("a.pak").c_str(), out.c_str(), "p.bin", nullptr);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(result), out + sep + "p.bin");
    EXPECT_EQ(test::read_text(out + sep + "p.bin"), "abababab");
    EXPECT_EQ(std::string(call(dir.file("a.pak").c_str(), out.c_str(), "s.txt", "ignored")), out + sep + "s.txt");
    EXPECT_EQ(test::read_text(out + sep + "s.txt"), "hello");
    const char* none = call(dir.file("a.pak").c_str(), out.c_str(), "S.TXT", nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(std::string(none), "");
    const char* nulls = call(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nulls, nullptr);
    EXPECT_EQ(std::string(nulls), "");
  }
}

TEST_F(HostLibrary, UnPakAllByNameAndOrdinal) {
  ASSERT_TRUE(library.loaded());
  for (UnPakAllFn call : lookups<UnPakAllFn>(library, "UnPakAll", 5)) {
    test::TempDir dir;
    test::write_file(dir.file("a.pak"), kArchive);
    const std::string out = dir.file("out") + "/";
    EXPECT_EQ(call(dir.file("a.pak").c_str(), out.c_str(), nullptr), 0);
    EXPECT_EQ(test::tree(dir.path()), (std::vector<std::string>{"a.pak", "out/", "out/p.bin", "out/s.txt"}));
    EXPECT_EQ(test::read_text(out + "p.bin"), "abababab");
    EXPECT_EQ(test::read_text(out + "s.txt"), "bye");
    EXPECT_EQ(call(dir.file("missing.pak").c_str(), out.c_str(), "ignored"), 0);
    EXPECT_TRUE(test::read_file(dir.file("missing.pak")).empty());
  }
}

TEST_F(HostLibrary, ExportsNothingButTheArchiveFunctions) {
  ASSERT_TRUE(library.loaded());
  for (const char* name : {"MakeListFiles", "UnPak", "UnPakAll"}) EXPECT_NE(library.by_name(name), nullptr) << name;
  for (const char* internal : {"_ZN7mytarvo14library_attachEv", "library_attach", "DllMain@12", "MakeListFiles@8",
                               "UnPak@16", "UnPakAll@12", "_ZN7mytarvo5unpakERNS_7LibraryEPKcS3_S3_"}) {
    EXPECT_EQ(library.by_name(internal), nullptr) << internal;
  }
}

}  // namespace
}  // namespace mytarvo
