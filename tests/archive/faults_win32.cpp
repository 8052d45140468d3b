// Files held open by another writer (Windows share modes): the library's opens are refused
// and every operation leaves the files as they were.
#include <gtest/gtest.h>
#include <windows.h>

#include "archive/operations.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::TempDir;

// Holds `path` open for writing, letting others only read, as another program would.
class HeldByAnotherWriter {
 public:
  explicit HeldByAnotherWriter(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldByAnotherWriter() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HeldByAnotherWriter(const HeldByAnotherWriter&) = delete;
  HeldByAnotherWriter& operator=(const HeldByAnotherWriter&) = delete;
  [[nodiscard]] bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST(HeldArchive, EveryOperationLeavesItAsItWas) {
  TempDir dir;
  Library lib;
  const std::string archive = dir.file("a.pak");
  test::write_file(dir.file("a.txt"), std::string("hello"));
  create_pak_file(archive.c_str());
  add_to_pak(lib, archive.c_str(), dir.file("a.txt").c_str(), nullptr, 0);
  const test::Bytes before = test::read_file(archive);

  HeldByAnotherWriter writer(archive);
  ASSERT_TRUE(writer.held());
  add_to_pak(lib, archive.c_str(), dir.file("a.txt").c_str(), nullptr, 1);
  create_pak_file(archive.c_str());
  make_list_files(archive.c_str(), dir.file("list.txt").c_str());
  EXPECT_EQ(test::read_text(dir.file("list.txt")),
            "-=* Tarvo Pak 3 *=-\r\n-=*   Orvelund  *=-\r\n\r\n-=*  File List  *=-\r\n\r\n");
  EXPECT_STREQ(unpak(lib, archive.c_str(), dir.file("out").c_str(), "a.txt"), "");
  EXPECT_EQ(test::read_file(archive), before);
}

TEST(HeldSource, SourceThatCannotBeOpenedIsSkipped) {
  TempDir dir;
  Library lib;
  const std::string archive = dir.file("a.pak");
  create_pak_file(archive.c_str());
  test::write_file(dir.file("held.txt"), std::string("data"));
  // Found by the size query, refused by the open: the archive stays as it was.
  HANDLE exclusive = CreateFileA(dir.file("held.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  add_to_pak(lib, archive.c_str(), dir.file("held.txt").c_str(), nullptr, 0);
  CloseHandle(exclusive);
  EXPECT_EQ(test::read_text(archive), "Tarvo Pak 3 - Orvelund\r\n");
}

}  // namespace
}  // namespace mytarvo
