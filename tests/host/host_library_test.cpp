// Loads the built library as a host program does and calls it through looked-up pointers.
#include <gtest/gtest.h>

#include "mytarvo/mytarvo.h"
#include "support/loader.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using MakeListFilesFn = int32_t(MYTARVO_CALL*)(const char*, const char*);


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

TEST_F(HostLibrary, ExportsNothingButTheArchiveFunctions) {
  ASSERT_TRUE(library.loaded());
  EXPECT_NE(library.by_name("MakeListFiles"), nullptr);
  for (const char* internal : {"_ZN7mytarvo14library_attachEv", "library_attach", "DllMain@12", "MakeListFiles@8"}) {
    EXPECT_EQ(library.by_name(internal), nullptr) << internal;
  }
}

}  // namespace
}  // namespace mytarvo
