// Archives and directories that refuse the library: a directory where the archive should
// be, a read-only archive, an output directory that cannot be written. Each operation ends
// as documented and nothing is lost from an existing archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/archive_scratch.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;

const std::string kBanner = "-=* Tarvo Pak 3 *=-\r\n-=*   Orvelund  *=-\r\n\r\n-=*  File List  *=-\r\n\r\n";

class Faults : public ::testing::Test, protected test::ArchiveScratch {
 protected:
  void SetUp() override { make_archive({{"a.txt", test::to_bytes("hello"), 0}}); }
  // Whether this process can still write `path` (a privileged user ignores permissions).
  static bool still_writable(const std::string& path) {
    std::ofstream probe(path, std::ios::binary | std::ios::app);
    return probe.is_open();
  }
};

TEST_F(Faults, ArchivePathThatIsADirectory) {
  const std::string folder = dir.file("folder.pak");
  fs::create_directory(folder);
  create_pak_file(folder.c_str());
  add_to_pak(lib, folder.c_str(), dir.file("a.txt").c_str(), nullptr, 1);
  make_list_files(folder.c_str(), dir.file("list.txt").c_str());
  EXPECT_EQ(test::read_text(dir.file("list.txt")), kBanner);
  EXPECT_STREQ(unpak(lib, folder.c_str(), dir.file("out").c_str(), "a.txt"), "");
  unpak_all(lib, folder.c_str(), dir.file("out").c_str());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_TRUE(fs::is_empty(dir.file("out")));  // made, but nothing extracted into it
}

TEST_F(Faults, ReadOnlyArchiveIsReadButNeverWritten) {
  fs::permissions(archive, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  if (still_writable(archive)) {
    fs::permissions(archive, fs::perms::owner_write, fs::perm_options::add);
    GTEST_SKIP() << "this user may write read-only files";
  }
  add_to_pak(lib, archive.c_str(), dir.file("a.txt").c_str(), nullptr, 0);
  EXPECT_EQ(test::read_file(archive), contents);
  // Listing and extraction only read, so a read-only archive still lists and extracts.
  make_list_files(archive.c_str(), dir.file("list.txt").c_str());
  EXPECT_EQ(test::read_text(dir.file("list.txt")), kBanner + "a.txt    5    Compression: (No)\r\n");
  unpak_all(lib, archive.c_str(), dir.file("out").c_str());
  EXPECT_EQ(test::read_text(dir.file("out") + test::native_separator() + "a.txt"), "hello");
  EXPECT_EQ(test::read_file(archive), contents);
  fs::permissions(archive, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(Faults, UnwritableOutputDirectoryGetsNothing) {
  const std::string out = dir.file("locked-out");
  fs::create_directory(out);
  fs::permissions(out, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string probe = out + test::native_separator() + "probe";
  if (still_writable(probe)) {
    fs::remove(probe);
    fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);
    GTEST_SKIP() << "this user may write into read-only directories";
  }
  unpak_all(lib, archive.c_str(), out.c_str());
  // Nothing was written, so UnPak reports no path.
  EXPECT_EQ(std::string(unpak(lib, archive.c_str(), out.c_str(), "a.txt")), "");
  fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(fs::is_empty(out));
  EXPECT_EQ(test::read_file(archive), contents);
}

TEST_F(Faults, OutputDirectoryThatIsAFile) {
  const std::string out = dir.file("plain-file");
  test::write_file(out, std::string("not a directory"));
  unpak_all(lib, archive.c_str(), out.c_str());
  EXPECT_EQ(test::read_text(out), "not a directory");
  EXPECT_EQ(test::read_file(archive), contents);
}

}  // namespace
}  // namespace mytarvo
