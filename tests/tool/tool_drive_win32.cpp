// Windows only: a drive given alone names the current directory of that drive.
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

}  // namespace
}  // namespace mytarvo::test
