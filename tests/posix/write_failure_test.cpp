// Real write failures: an add run in a child process whose file-size limit stops the
// archive from growing past a few bytes beyond its current length.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/operations.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::TempDir;

// Runs `body` in a child process whose writes may not extend any file past `limit` bytes.
template <typename Body>
void run_with_file_size_limit(rlim_t limit, Body body) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(2);
    body();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
}

Bytes pseudo_random(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

struct LimitCase {
  std::int32_t compress;
  std::size_t source_size;
  rlim_t slack;  // bytes the archive may still grow by
};

class AddUnderFileSizeLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(AddUnderFileSizeLimit, LeavesTheArchiveExactlyAsItWas) {
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  Library lib;
  create_pak_file(lib, archive.c_str());
  test::write_file(dir.file("first.txt"), test::to_bytes("first entry"));
  add_to_pak(lib, archive.c_str(), dir.file("first.txt").c_str(), nullptr, 0);
  const Bytes before = test::read_file(archive);

  Bytes content = pseudo_random(GetParam().source_size, 7);
  if (GetParam().compress == 1) {
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>('a' + (i / 7) % 5);
  }
  test::write_file(dir.file("big.bin"), content);
  run_with_file_size_limit(before.size() + GetParam().slack, [&] {
    Library child;
    add_to_pak(child, archive.c_str(), dir.file("big.bin").c_str(), nullptr, GetParam().compress);
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

TEST(AddUnderFileSizeLimitControl, AnEntryThatFitsIsWritten) {
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  Library lib;
  create_pak_file(lib, archive.c_str());
  test::write_file(dir.file("x"), test::to_bytes("x"));
  run_with_file_size_limit(24 + 8, [&] {
    Library child;
    add_to_pak(child, archive.c_str(), dir.file("x").c_str(), nullptr, 0);
  });
  EXPECT_EQ(test::read_file(archive).size(), 24u + 8u);  // "x\r\n", flag, "1\r\n", "x"
}

}  // namespace
}  // namespace mytarvo
