// A quick end-to-end pass over every subcommand and the main failures; also run under Wine.
#include "archive/pak_builder.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

using ToolSmoke = ToolTest;

// Bytes that a text-mode stream would change: CR LF, a lone LF, ^Z and NUL.
const std::string kBinary = std::string("line\r\nbare\n\x1a\0end", 15);

TEST_F(ToolSmoke, EverySubcommandRoundTrips) {
  const std::string text(3000, 'x');
  const std::vector<std::string> sources = {file("text.txt", text), file("bin.dat", kBinary), file("empty", "")};
  const std::string archive = path("a.pak");

  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  std::vector<std::string> add = {"add", archive};
  add.insert(add.end(), sources.begin(), sources.end());
  const ToolRun added = tarvo(add);
  ASSERT_EQ(added.status, 0) << added;
  EXPECT_EQ(added.err, "");

  const ToolRun list = tarvo({"list", archive});
  EXPECT_EQ(list.status, 0) << list;
  EXPECT_TRUE(contains(list.out, "text.txt")) << list;
  EXPECT_TRUE(contains(list.out, "3 entries, 3015 bytes")) << list;

  const ToolRun test = tarvo({"test", archive});
  EXPECT_EQ(test.status, 0) << test;
  EXPECT_TRUE(contains(test.out, "3 entries: 2 packed entries verified; 1 stored entry carries no checksum")) << test;

  const ToolRun extract = tarvo({"extract", archive, "-C", path("out")});
  EXPECT_EQ(extract.status, 0) << extract;
  EXPECT_EQ(read_text(path("out/text.txt")), text);
  EXPECT_EQ(read_text(path("out/bin.dat")), kBinary);
  EXPECT_EQ(read_text(path("out/empty")), "");
  EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});

  const ToolRun cat = tarvo({"cat", archive, "bin.dat"});
  EXPECT_EQ(cat.status, 0) << cat;
  EXPECT_EQ(cat.out, kBinary);
}

TEST_F(ToolSmoke, MissingArchiveIsReportedAndNotCreated) {
  const std::string archive = path("missing.pak");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"list", archive}, {"test", archive}, {"extract", archive, "-C", path("out")},
        {"cat", archive, "x"}, {"add", archive, file("x", "x")}}) {
    const ToolRun run = tarvo(arguments);
    EXPECT_EQ(run.status, 2) << arguments[0] << "\n" << run;
    EXPECT_TRUE(contains(run.err, "missing.pak: no such file")) << run;
    EXPECT_FALSE(file_exists(archive));
  }
}

TEST_F(ToolSmoke, DamagedEntryIsReportedByNameAndOffset) {
  const Bytes bad_checksum = damaged(kBlockAbab, 6, 1, 0x00);
  write_file(path("d.pak"), concat({kPakHeader, stored_entry("good", "fine"), packed_entry("bad", 8, bad_checksum)}));
  const ToolRun test = tarvo({"test", path("d.pak")});
  EXPECT_EQ(test.status, 1) << test;
  EXPECT_TRUE(contains(test.err, "entry \"bad\" at offset 38: packed block does not decode or fails its checksum"))
      << test;
  EXPECT_FALSE(contains(test.err, "\"good\"")) << test;

  const ToolRun extract = tarvo({"extract", path("d.pak"), "-C", path("out")});
  EXPECT_EQ(extract.status, 1) << extract;
  EXPECT_TRUE(contains(extract.err, "entry \"bad\" at offset 38")) << extract;
  EXPECT_EQ(tree(path("out")), std::vector<std::string>{"good"});
}

TEST_F(ToolSmoke, DirectoryWithoutRecursiveIsBadUsage) {
  tarvo({"create", path("a.pak")});
  std::filesystem::create_directory(path("folder"));
  const ToolRun run = tarvo({"add", path("a.pak"), file("x", "x"), path("folder")});
  EXPECT_EQ(run.status, 2) << run;
  EXPECT_TRUE(contains(run.err, "folder: is a directory (use -r to add the files below it)")) << run;
  EXPECT_EQ(read_file(path("a.pak")), kPakHeader);  // nothing added, not even x
}

}  // namespace
}  // namespace mytarvo::test
