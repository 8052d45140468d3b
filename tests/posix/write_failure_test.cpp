// Real write failures: operations run in a child process whose file-size limit stops files
// from growing past a given length, as a full disk or a quota would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/operations.hpp"
#include "support/archive_scratch.hpp"
#include "support/limited_child.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;

// Runs `body` with a library state of its own in a child process whose writes may not
// extend any file past `limit` bytes; the child must exit normally with code 0.
template <typename Body>
void run_with_file_size_limit(rlim_t limit, Body body) {
  ASSERT_EQ(test::run_limited(RLIMIT_FSIZE, limit, [&] {
              Library child;
              return body(child);
            }),
            0);
}

Bytes pseudo_random(std::size_t n, std::uint32_t seed) { return test::noise(n, seed); }

struct LimitCase {
  std::int32_t compress;
  std::size_t source_size;
  rlim_t slack;  // bytes the archive may still grow by
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const LimitCase& c, std::ostream* os) { *os << "compress " << c.compress << ", " << c.source_size << " bytes, slack " << c.slack; }

class AddUnderFileSizeLimit : public ::testing::TestWithParam<LimitCase>, protected test::ArchiveScratch {};

TEST_P(AddUnderFileSizeLimit, LeavesTheArchiveExactlyAsItWas) {
  make_archive({{"first.txt", test::to_bytes("first entry"), 0}});
  const Bytes before = contents;

  Bytes content = pseudo_random(GetParam().source_size, 7);
  if (GetParam().compress == 1) {
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>('a' + (i / 7) % 5);
  }
  test::write_file(dir.file("big.bin"), content);
  run_with_file_size_limit(before.size() + GetParam().slack, [&](Library& child) {
    add_to_pak(child, archive.c_str(), dir.file("big.bin").c_str(), nullptr, GetParam().compress);
    return 0;
  });
  EXPECT_EQ(test::read_file(archive), before);

  // The next add, without a limit, lands right after the old entries.
  add_to_pak(lib, archive.c_str(), dir.file("first.txt").c_str(), nullptr, 0);
  Bytes expected = before;
  Bytes again = test::concat({test::to_bytes("first.txt\r\n"), {0x00}, test::to_bytes("11\r\nfirst entry")});
  expected.insert(expected.end(), again.begin(), again.end());
  EXPECT_EQ(test::read_file(archive), expected);
}

INSTANTIATE_TEST_SUITE_P(Limits, AddUnderFileSizeLimit,
                         ::testing::Values(LimitCase{0, 100000, 3}, LimitCase{0, 100000, 5000},
                                           LimitCase{0, 3000, 20}, LimitCase{1, 200000, 10},
                                           LimitCase{1, 200000, 40}, LimitCase{2, 10000, 0}));

class AddUnderFileSizeLimitControl : public ::testing::Test, protected test::ArchiveScratch {};

TEST_F(AddUnderFileSizeLimitControl, AnEntryThatFitsIsWritten) {
  make_archive({});
  test::write_file(dir.file("x"), test::to_bytes("x"));
  run_with_file_size_limit(24 + 8, [&](Library& child) {
    add_to_pak(child, archive.c_str(), dir.file("x").c_str(), nullptr, 0);
    return 0;
  });
  EXPECT_EQ(test::read_file(archive).size(), 24u + 8u);  // "x\r\n", flag, "1\r\n", "x"
}

}  // namespace
}  // namespace mytarvo

namespace mytarvo {
namespace {

// The other writing operations on a full disk: none of them may touch the archive, and a
// new archive is either whole or absent.
class FullDisk : public ::testing::Test, protected test::ArchiveScratch {
 protected:
  void SetUp() override {
    make_archive({{"a.txt", pseudo_random(5000, 3), 0}, {"b.txt", Bytes(3000, 'b'), 1}});
  }
};

TEST_F(FullDisk, CreatePakFileLeavesNoHalfHeader) {
  const std::string fresh = dir.file("fresh.pak");
  run_with_file_size_limit(10, [&](Library&) {
    create_pak_file(fresh.c_str());
    return 0;
  });
  EXPECT_FALSE(test::file_exists(fresh));
  run_with_file_size_limit(24, [&](Library&) {
    create_pak_file(fresh.c_str());
    return 0;
  });
  EXPECT_EQ(test::read_text(fresh), "Tarvo Pak 3 - Orvelund\r\n");
}

TEST_F(FullDisk, ListingIsCutButTheArchiveUntouched) {
  const std::string listing = dir.file("list.txt");
  make_list_files(archive.c_str(), listing.c_str());
  const std::string full = test::read_text(listing);
  for (rlim_t limit : {rlim_t{0}, rlim_t{40}, rlim_t{80}}) {
    run_with_file_size_limit(limit, [&](Library&) {
    make_list_files(archive.c_str(), listing.c_str());
    return 0;
  });
    const std::string cut = test::read_text(listing);
    EXPECT_EQ(cut, full.substr(0, std::min<std::size_t>(limit, full.size()))) << limit;
    EXPECT_EQ(test::read_file(archive), contents);
  }
}

TEST_F(FullDisk, ExtractionLeavesNoCutShortFileAndTheArchiveAlone) {
  const std::string out = dir.file("out");
  run_with_file_size_limit(1000, [&](Library& child) {
    unpak_all(child, archive.c_str(), out.c_str());
    // Written only in part: no path is reported.
    return std::string(unpak(child, archive.c_str(), out.c_str(), "b.txt")).empty() ? 0 : 3;
  });
  EXPECT_EQ(test::read_file(archive), contents);
  EXPECT_EQ(test::tree(dir.path() / "out"), std::vector<std::string>{});
}

TEST_F(FullDisk, SourceThatIsAPipeIsSkippedWithoutWaiting) {
  // The size query finds it, the open refuses it (a pipe would block or never end).
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  add_to_pak(lib, archive.c_str(), dir.file("pipe").c_str(), nullptr, 1);
  EXPECT_EQ(test::read_file(archive), contents);
}

}  // namespace
}  // namespace mytarvo
