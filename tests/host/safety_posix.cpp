// The C functions on POSIX where they used to write through links, cut long paths, report
// files a full disk cut short, and cut names at a double quote or a backslash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "host/c_api.hpp"
#include "support/limited_child.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;
using namespace test;  // kHeaderLine, stored, TempDir

// ---- Output files never written through links ----------------------------------------------

enum class Existing { SymlinkToFile, DanglingSymlink, HardLink, SymlinkToDirectory };

class OutputOverLink : public ::testing::TestWithParam<std::tuple<bool, Existing>> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(api.ready());
    test::write_file(archive, kHeaderLine + stored("x.txt", "new content"));
    fs::create_directory(out);
    test::write_file(victim, std::string("old"));
  }
  // Extracts x.txt with UnPak or UnPakAll.
  void extract() {
    if (std::get<0>(GetParam())) {
      api.unpak_all(archive.c_str(), out.c_str(), nullptr);
    } else {
      EXPECT_EQ(std::string(api.unpak(archive.c_str(), out.c_str(), "x.txt", nullptr)), output);
    }
  }

  test::CApi api;
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  const std::string out = dir.file("out");
  const std::string output = out + "/x.txt";
  const std::string victim = dir.file("victim");
};

TEST_P(OutputOverLink, TheLinkIsReplacedByAFileAndWhatItLedToStaysAsItWas) {
  switch (std::get<1>(GetParam())) {
    case Existing::SymlinkToFile: fs::create_symlink(victim, output); break;
    case Existing::DanglingSymlink: fs::create_symlink(dir.file("made-through-link"), output); break;
    case Existing::HardLink: fs::create_hard_link(victim, output); break;
    case Existing::SymlinkToDirectory: fs::create_directory_symlink(dir.path(), output); break;
  }
  extract();
  EXPECT_EQ(test::read_text(victim), "old");
  EXPECT_FALSE(fs::exists(dir.file("made-through-link")));
  EXPECT_FALSE(fs::exists(dir.path() / "x.txt"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(output)));
  EXPECT_EQ(fs::hard_link_count(output), 1u);
  EXPECT_EQ(test::read_text(output), "new content");
}

INSTANTIATE_TEST_SUITE_P(Links, OutputOverLink,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(Existing::SymlinkToFile, Existing::DanglingSymlink,
                                                              Existing::HardLink, Existing::SymlinkToDirectory)));

TEST_P(OutputOverLink, APlainFileIsRewrittenInPlaceKeepingItsMode) {
  test::write_file(output, std::string("a longer old content"));
  ASSERT_EQ(chmod(output.c_str(), 0640), 0);
  struct stat before {};
  ASSERT_EQ(stat(output.c_str(), &before), 0);
  extract();
  struct stat after {};
  ASSERT_EQ(stat(output.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 0777, 0640u);
  EXPECT_EQ(test::read_text(output), "new content");
}

// ---- Long paths ---------------------------------------------------------------------------

// A directory below `root` whose path is about `length` bytes long.
std::string deep_directory(const TempDir& root, std::size_t length) {
  std::string path = root.path().string();
  while (path.size() + 1 + 200 < length) {
    path += "/" + std::string(200, 'd');
    fs::create_directory(path);
  }
  return path;
}

using LongPaths = test::HostTest;

TEST_F(LongPaths, PathsUpToTheSystemLimitWorkWhole) {
  const std::string deep = deep_directory(dir, 3600);
  const std::string far_archive = deep + "/archive.pak";
  const std::string source = deep + "/source.txt";
  test::write_file(source, std::string("far away"));
  api.create(far_archive.c_str());
  api.add(far_archive.c_str(), source.c_str(), nullptr, 1);
  EXPECT_EQ(test::read_text(far_archive), kHeaderLine + stored("source.txt", "far away"));
  const std::string out = deep + "/out";
  EXPECT_EQ(std::string(api.unpak(far_archive.c_str(), out.c_str(), "source.txt", nullptr)), out + "/source.txt");
  EXPECT_EQ(test::read_text(out + "/source.txt"), "far away");
  api.list(far_archive.c_str(), (deep + "/list.txt").c_str());
  EXPECT_NE(test::read_text(deep + "/list.txt").find("source.txt    8    Compression: (No)"), std::string::npos);
}

TEST_F(LongPaths, APathBeyondTheLimitIsNeverCutToOneThatFits) {
  make_archive({{"x.txt", "x"}});
  // Cut anywhere, this directory's path would name a directory that could be created.
  const std::string out = dir.file(std::string(200, 'o')) + "/" + std::string(4000, 'p');
  EXPECT_STREQ(api.unpak(archive.c_str(), out.c_str(), "x.txt", nullptr), "");
  EXPECT_EQ(test::tree(dir.path()), (std::vector<std::string>{"a.pak", "x.txt"}));
}

// ---- A full disk ------------------------------------------------------------------------------

class FullDiskOutput : public test::HostTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FullDiskOutput, NoCutShortFileIsLeftOrReported) {
  const std::string big(100000, 'b');
  test::write_file(archive, kHeaderLine + stored("big.bin", big) + stored("small.txt", "small"));
  const std::string out = dir.file("out");
  fs::create_directory(out);
  // An old file of the name is replaced or gone, never left half new.
  test::write_file(out + "/big.bin", std::string("old"));
  const bool all = GetParam();
  const int code = test::run_limited(RLIMIT_FSIZE, 50000, [&] {
    if (all) return api.unpak_all(archive.c_str(), out.c_str(), nullptr);
    return std::string(api.unpak(archive.c_str(), out.c_str(), "big.bin", nullptr)).empty() ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(fs::exists(out + "/big.bin"));
  if (all) {
    EXPECT_EQ(test::read_text(out + "/small.txt"), "small");
  }
}

INSTANTIATE_TEST_SUITE_P(UnPakAndUnPakAll, FullDiskOutput, ::testing::Bool());

// ---- Names are their bytes ---------------------------------------------------------------------

using NamesOnPosix = test::HostTest;

TEST_F(NamesOnPosix, ADoubleQuoteIsAnOrdinaryCharacterAndABackslashNameIsNotAdded) {
  make_archive({{"say \"hi\".txt", "hi"}, {"back\\slash.txt", "no"}});
  EXPECT_EQ(test::read_text(archive), kHeaderLine + stored("say \"hi\".txt", "hi"));
  api.unpak_all(archive.c_str(), dir.file("out").c_str(), nullptr);
  EXPECT_EQ(test::read_text(dir.file("out") + "/say \"hi\".txt"), "hi");
}

}  // namespace
}  // namespace mytarvo
