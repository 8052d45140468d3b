// tarvo where the systems differ; run on every system, Windows under Wine included.
#include "archive/pak_builder.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

// A wildcard that reaches tarvo unexpanded (cmd.exe expands none) is reported as such, and
// nothing is added under the pattern's name (Windows would match it to the first file).
TEST_F(ToolTest, UnexpandedWildcardIsReported) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  file("one.txt", "1");
  file("two.txt", "2");
  for (const char* pattern : {"*.txt", "?ne.txt"}) {
    const ToolRun run = tarvo({"add", "--duplicate", archive, pattern, file("three", "3")}, path(""));
    EXPECT_EQ(run.status, 1) << run;
    EXPECT_TRUE(contains(run.err, std::string(pattern) + ": a wildcard that the shell did not expand")) << run;
  }
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("three", "3"), stored_entry("three", "3")}));
}

}  // namespace
}  // namespace mytarvo::test
