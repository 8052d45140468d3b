// The C functions where they used to lose or expose data: a header for an archive that was
// empty, a listing that names an archive, results for files that were not written, two
// threads at once, and name lines without bound. Called through the built library.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/c_api.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;
using namespace test;  // kHeaderLine, stored, TempDir

class Safety : public test::HostTest {
 protected:
  [[nodiscard]] std::string sep() const { return std::string(1, test::native_separator()); }
};

// ---- A header line for an archive that is empty --------------------------------------------

TEST_F(Safety, AddingToAMissingOrEmptyArchiveWritesTheHeaderFirst) {
  test::write_file(dir.file("x.txt"), std::string("hello"));
  const std::string expected = kHeaderLine + stored("x.txt", "hello");
  for (const bool existed : {false, true}) {
    fs::remove(archive);
    if (existed) test::write_file(archive, std::string());
    api.add(archive.c_str(), dir.file("x.txt").c_str(), nullptr, 0);
    EXPECT_EQ(test::read_text(archive), expected) << (existed ? "empty file" : "missing file");
  }
  // A second add appends behind the first entry only.
  api.add(archive.c_str(), dir.file("x.txt").c_str(), nullptr, 0);
  EXPECT_EQ(test::read_text(archive), expected + stored("x.txt", "hello"));
}

TEST_F(Safety, AMissingSourceStillLeavesAMissingArchiveCreatedEmpty) {
  api.add(archive.c_str(), dir.file("missing").c_str(), nullptr, 0);
  EXPECT_EQ(test::read_text(archive), "");
}

// ---- A listing that names an archive ----------------------------------------------------------

class ListingOverArchive : public Safety {
 protected:
  void SetUp() override {
    Safety::SetUp();
    make_archive({{"x.txt", "hello"}});
    before = test::read_text(archive);
  }
  std::string before;
};

TEST_F(ListingOverArchive, TheArchiveItselfHoweverSpelledIsNeverWritten) {
  const std::string spellings[] = {archive, dir.file(".") + sep() + "a.pak",
                                   dir.file("sub") + sep() + ".." + sep() + "a.pak"};
  fs::create_directory(dir.path() / "sub");
  for (const std::string& listing : spellings) {
    api.list(archive.c_str(), listing.c_str());
    EXPECT_EQ(test::read_text(archive), before) << listing;
  }
}

TEST_F(ListingOverArchive, AnotherArchiveIsNeverWritten) {
  // Swapped arguments: the "archive" is a listing, the "listing" the real archive.
  test::write_file(dir.file("list.txt"), std::string("old listing\r\n"));
  api.list(dir.file("list.txt").c_str(), archive.c_str());
  EXPECT_EQ(test::read_text(archive), before);
  // Any file whose first line is the header line counts, also one holding only it.
  api.create(dir.file("b.pak").c_str());
  api.list(archive.c_str(), dir.file("b.pak").c_str());
  EXPECT_EQ(test::read_text(dir.file("b.pak")), kHeaderLine);
}

TEST_F(ListingOverArchive, OtherFilesAreStillReplacedByTheListing) {
  const std::string banner = "-=* Tarvo Pak 3 *=-\r\n-=*   Orvelund  *=-\r\n\r\n-=*  File List  *=-\r\n\r\n";
  // A header line that is not the first line, or a first line that only starts like it.
  const std::string olds[] = {"text\r\n" + kHeaderLine, "Tarvo Pak 3 - Orvelund!\r\n", std::string()};
  for (const std::string& old : olds) {
    test::write_file(dir.file("list.txt"), old);
    api.list(archive.c_str(), dir.file("list.txt").c_str());
    EXPECT_EQ(test::read_text(dir.file("list.txt")), banner + "x.txt    5    Compression: (No)\r\n");
  }
}

// ---- UnPak reports only files it wrote --------------------------------------------------------

TEST_F(Safety, UnPakReturnsNothingWhenTheOutputCouldNotBeCreated) {
  make_archive({{"x.txt", "hello"}});
  // The output directory's parent is missing.
  const std::string orphan = dir.file("missing") + sep() + "out";
  EXPECT_STREQ(api.unpak(archive.c_str(), orphan.c_str(), "x.txt", nullptr), "");
  // A directory stands where the output file would go.
  fs::create_directories(dir.path() / "out" / "x.txt");
  EXPECT_STREQ(api.unpak(archive.c_str(), dir.file("out").c_str(), "x.txt", nullptr), "");
  EXPECT_TRUE(fs::is_directory(dir.path() / "out" / "x.txt"));
  // The same entry where it can be written.
  const std::string written = dir.file("ok") + sep() + "x.txt";
  EXPECT_EQ(std::string(api.unpak(archive.c_str(), dir.file("ok").c_str(), "x.txt", nullptr)), written);
  EXPECT_EQ(test::read_text(written), "hello");
}

// ---- Two threads at once --------------------------------------------------------------------

TEST_F(Safety, UnPakResultStaysValidUntilTheSameThreadCallsAgain) {
  make_archive({{"one.txt", "1"}, {"two.txt", "2"}});
  const std::string out = dir.file("out");
  const char* first = api.unpak(archive.c_str(), out.c_str(), "one.txt", nullptr);
  std::string other;
  std::thread([&] { other = api.unpak(archive.c_str(), out.c_str(), "two.txt", nullptr); }).join();
  EXPECT_EQ(other, out + sep() + "two.txt");
  EXPECT_EQ(std::string(first), out + sep() + "one.txt");
}

TEST_F(Safety, CallsFromSeveralThreadsAtOnceAreEachWhole) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 25;
  std::vector<std::string> contents;
  for (int t = 0; t < kThreads; ++t) {
    contents.push_back(std::string(3000 + 1000 * t, static_cast<char>('a' + t)) + std::to_string(t));
    test::write_file(dir.file("src" + std::to_string(t)), contents.back());
  }
  std::vector<std::thread> threads;
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string own = dir.file("t" + std::to_string(t) + ".pak");
      const std::string source = dir.file("src" + std::to_string(t));
      const std::string out = dir.file("out" + std::to_string(t));
      for (int round = 0; round < kRounds; ++round) {
        api.create(own.c_str());
        api.add(own.c_str(), source.c_str(), nullptr, round % 2);
        const std::string result = api.unpak(own.c_str(), out.c_str(), ("src" + std::to_string(t)).c_str(), nullptr);
        if (result != out + sep() + "src" + std::to_string(t)) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_EQ(test::read_text(dir.file("out" + std::to_string(t)) + sep() + "src" + std::to_string(t)), contents[t]);
    EXPECT_EQ(test::read_text(dir.file("t" + std::to_string(t) + ".pak")),
              kHeaderLine + stored("src" + std::to_string(t), contents[t]));
  }
}

// ---- Name lines without bound ---------------------------------------------------------------

// A name of up to 65536 bytes is kept whole; a longer one is kept cut to that length with
// "..." after it in the listing, and never matched or extracted.
TEST_F(Safety, NamesBeyond64KiBAreReadToTheirEndButNeverExtracted) {
  const std::string long_name(200000, 'n');
  const std::string kept_name(65536, 'k');
  test::write_file(archive, kHeaderLine + stored(long_name, "first") + stored(kept_name, "second") +
                                stored("after.txt", "third"));
  const std::string out = dir.file("out");
  api.unpak_all(archive.c_str(), out.c_str(), nullptr);
  EXPECT_EQ(test::tree(dir.path() / "out"), (std::vector<std::string>{"after.txt"}));
  EXPECT_STREQ(api.unpak(archive.c_str(), out.c_str(), long_name.c_str(), nullptr), "");
  EXPECT_STREQ(api.unpak(archive.c_str(), out.c_str(), long_name.substr(0, 65536).c_str(), nullptr), "");
  EXPECT_EQ(std::string(api.unpak(archive.c_str(), out.c_str(), "after.txt", nullptr)), out + sep() + "after.txt");

  api.list(archive.c_str(), dir.file("list.txt").c_str());
  const std::string banner = "-=* Tarvo Pak 3 *=-\r\n-=*   Orvelund  *=-\r\n\r\n-=*  File List  *=-\r\n\r\n";
  EXPECT_EQ(test::read_text(dir.file("list.txt")),
            banner + long_name.substr(0, 65536) + "...    5    Compression: (No)\r\n" +
                kept_name + "    6    Compression: (No)\r\n" +
                "after.txt    5    Compression: (No)\r\n");
}

}  // namespace
}  // namespace mytarvo
