// Windows only: a drive given alone names the current directory of that drive; read-only
// files are replaced only with --force.
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

// Run in the test's directory, whose drive is Z: under Wine (and whatever drive holds the
// temporary directory on Windows), "-C X:" extracts into that very directory, not into the
// root of the drive.
TEST_F(ToolTest, DriveAloneIsItsCurrentDirectory) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  ASSERT_EQ(tarvo({"add", "--store", archive, file("source.txt", "here")}).status, 0);
  std::filesystem::create_directories(path("out"));
  std::filesystem::rename(path("source.txt"), path("moved.txt"));
  const std::string drive = path("").substr(0, 2);
  const ToolRun run = tarvo({"extract", archive, "-C", drive}, path("out"));
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_text(path("out/source.txt")), "here");
}

TEST_F(ToolTest, ReadOnlyFileIsReplacedOnlyWithForce) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  ASSERT_EQ(tarvo({"add", "--store", archive, file("note.txt", "new")}).status, 0);
  std::filesystem::create_directories(path("out"));
  const std::string target = file("out/note.txt", "old");
  std::filesystem::permissions(target, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
  const ToolRun refused = tarvo({"extract", archive, "-C", path("out")});
  EXPECT_EQ(refused.status, 1) << refused;
  EXPECT_TRUE(contains(refused.err, "read-only; left alone (--force replaces it)")) << refused;
  EXPECT_EQ(read_text(target), "old");
  const ToolRun forced = tarvo({"extract", "--force", archive, "-C", path("out")});
  EXPECT_EQ(forced.status, 0) << forced;
  EXPECT_EQ(read_text(target), "new");
}

}  // namespace
}  // namespace mytarvo::test
