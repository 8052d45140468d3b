// tarvo list, extract, test and cat on archives assembled byte by byte.
#include "archive/pak_builder.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

using ToolRead = ToolTest;

// a.txt stored at 24, b.dat packed (64 bytes 'A' in an 18-byte block) at 40, an empty
// file added with packing at 74.
Bytes three_entries() {
  return concat({stored_entry("a.txt", "hello"), packed_entry("b.dat", 64, kBlock64A), packed_entry("e", 0, {})});
}

TEST_F(ToolRead, JsonListingIsExactlyTheDocumentedSchema) {
  const std::string pak = archive(concat({three_entries(), stored_entry("x\x01\xe9\"\\", Bytes{}, 2)}));
  const ToolRun run = tarvo({"list", "--json", pak});
  EXPECT_EQ(run.status, 0) << run;
  std::string quoted_path;
  for (char c : pak) quoted_path += c == '\\' ? std::string("\\\\") : std::string(1, c);
  EXPECT_EQ(run.out, "{\n"
                     "  \"format_version\": 1,\n"
                     "  \"archive\": \"" + quoted_path + "\",\n"
                     "  \"header\": true,\n"
                     "  \"entries\": [\n"
                     "    {\"name\": \"a.txt\", \"flag\": 0, \"packed\": false, \"size\": 5, \"packed_size\": 5, "
                     "\"header_offset\": 24, \"data_offset\": 35},\n"
                     "    {\"name\": \"b.dat\", \"flag\": 1, \"packed\": true, \"size\": 64, \"packed_size\": 18, "
                     "\"header_offset\": 40, \"data_offset\": 56},\n"
                     "    {\"name\": \"e\", \"flag\": 1, \"packed\": true, \"size\": 0, \"packed_size\": 0, "
                     "\"header_offset\": 74, \"data_offset\": 84},\n"
                     "    {\"name\": \"x\\u0001\\u00e9\\\"\\\\\", \"flag\": 2, \"packed\": false, \"size\": 0, "
                     "\"packed_size\": 0, \"header_offset\": 84, \"data_offset\": 95}\n"
                     "  ],\n"
                     "  \"bad_tail_offset\": null\n"
                     "}\n");
}

TEST_F(ToolRead, JsonListingOfAnEmptyArchive) {
  const ToolRun run = tarvo({"list", "--json", archive({})});
  EXPECT_TRUE(contains(run.out, "  \"entries\": [],\n  \"bad_tail_offset\": null\n}\n")) << run;
}

TEST_F(ToolRead, TableListsNameSizesRatioMethodAndOffset) {
  const ToolRun run = tarvo({"list", archive(three_entries())});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "name        size     packed   ratio method      offset\n"
            "a.txt          5          5  100.0% stored          24\n"
            "b.dat         64         18   28.1% packed          40\n"
            "e              0          0       - packed          74\n"
            "3 entries, 69 bytes, 23 in the archive (33.3%)\n");
}

TEST_F(ToolRead, ArchiveWithoutHeaderLineIsReadOnlyWithForce) {
  write_file(path("odd.pak"), concat({to_bytes("not a header\r\n"), stored_entry("a.txt", "hello")}));
  const ToolRun list = tarvo({"list", "--force", path("odd.pak")});
  EXPECT_EQ(list.status, 0) << list;
  EXPECT_TRUE(contains(list.err, "warning: ")) << list;
  EXPECT_TRUE(contains(list.err, "odd.pak: its first line is not the archive header")) << list;
  EXPECT_TRUE(contains(list.out, "a.txt")) << list;
  const ToolRun test = tarvo({"test", "-f", path("odd.pak")});
  EXPECT_EQ(test.status, 1) << test;
}

// How each reading command ends on archives that are damaged in the ways a scan can tell.
struct StatusCase {
  const char* what;
  Bytes archive;
  std::vector<std::string> command;  // the archive's path is appended
  int status;
};

class ToolReadStatus : public ToolTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ToolReadStatus, ExitStatusTellsWhatWentWrong) {
  write_file(path("x.pak"), GetParam().archive);
  std::vector<std::string> arguments = GetParam().command;
  arguments.push_back(path("x.pak"));
  const ToolRun run = tarvo(arguments, path(""));
  EXPECT_EQ(run.status, GetParam().status) << run;
  EXPECT_TRUE(run.err.rfind("tarvo: ", 0) == 0) << run;
}

const Bytes kNoHeader = concat({to_bytes("not a header\r\n"), stored_entry("a.txt", "hello")});
const Bytes kNegative = concat({kPakHeader, stored_entry("a", "a"), line("neg"), {0}, line("-5"), to_bytes("zzz")});
const Bytes kCutShort = concat({kPakHeader, stored_entry("a", "a"), line("cut"), {0}, line("9"), to_bytes("abc")});

INSTANTIATE_TEST_SUITE_P(
    Damage, ToolReadStatus,
    ::testing::Values(StatusCase{"no header", kNoHeader, {"list"}, 2},
                      StatusCase{"no header", kNoHeader, {"list", "--json"}, 2},
                      StatusCase{"no header", kNoHeader, {"extract"}, 2},
                      StatusCase{"no header", kNoHeader, {"test"}, 2},
                      StatusCase{"no header", kNoHeader, {"cat", "a.txt"}, 2},
                      StatusCase{"no header, forced", kNoHeader, {"extract", "--force"}, 0},
                      StatusCase{"negative size", kNegative, {"list"}, 1},
                      StatusCase{"negative size", kNegative, {"list", "--json"}, 1},
                      StatusCase{"negative size", kNegative, {"extract"}, 1},
                      StatusCase{"negative size", kNegative, {"test"}, 1},
                      StatusCase{"cut short", kCutShort, {"list"}, 1},
                      StatusCase{"cut short", kCutShort, {"extract"}, 1},
                      StatusCase{"cut short", kCutShort, {"test"}, 1}),
    [](const auto& info) {
      std::string name = std::string(info.param.what) + "_" + std::to_string(info.index);
      for (auto& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(ToolRead, NegativeSizeEndsTheEntriesAndFailsTheTest) {
  const std::string pak = archive(concat({stored_entry("a", "a"), line("neg"), {0}, line("-5"), to_bytes("zzz")}));
  const ToolRun list = tarvo({"list", "--json", pak});
  EXPECT_EQ(list.status, 1) << list;
  EXPECT_TRUE(contains(list.err, "entry \"neg\" at offset 32 gives a negative size")) << list;
  EXPECT_TRUE(contains(list.out, "\"bad_tail_offset\": 32\n")) << list;
  EXPECT_EQ(tarvo({"test", pak}).status, 1);
}

TEST_F(ToolRead, EachKindOfDamageIsReported) {
  const std::string pak = archive(concat({
      packed_entry("notblock", 8, damaged(kBlockAbab, 0, 2, 0)),
      packed_entry("wrongsize", 9, kBlockAbab),
      packed_entry("checksum", 8, damaged(kBlockAbab, 6, 1, 0)),
      stored_entry("intact", "ok"),
      packed_entry("cut", 8, Bytes(kBlockAbab.begin(), kBlockAbab.begin() + 12), 18),
  }));
  const ToolRun run = tarvo({"test", pak});
  EXPECT_EQ(run.status, 1) << run;
  for (const char* expected : {"\"notblock\" at offset 24: packed data is not a packed block",
                               "\"wrongsize\" at offset ", "packed block does not unpack to the entry's size",
                               "\"checksum\" at offset ", "packed block does not decode or fails its checksum",
                               "\"cut\" at offset ", "data cut short by the end of the archive",
                               "5 entries: 0 packed entries verified; 1 stored entry carries no checksum\n",
                               "4 problems found\n"}) {
    EXPECT_TRUE(contains(run.err + run.out, expected)) << expected << "\n" << run;
  }
  EXPECT_FALSE(contains(run.err, "intact")) << run;
}

TEST_F(ToolRead, RepeatedNamesLastWinsForAllFirstForANamedEntry) {
  const std::string pak = archive(concat({stored_entry("dup", "first"), stored_entry("dup", "second")}));
  EXPECT_EQ(tarvo({"extract", pak, "-C", path("all")}).status, 0);
  EXPECT_EQ(read_text(path("all/dup")), "second");
  EXPECT_EQ(tarvo({"extract", pak, "-C", path("named"), "dup"}).status, 0);
  EXPECT_EQ(read_text(path("named/dup")), "first");
  EXPECT_EQ(tarvo({"cat", pak, "dup"}).out, "first");
}

TEST_F(ToolRead, UnsafeNamesAreRefusedAndReported) {
  std::filesystem::create_directory(path("out"));
  const std::string pak = archive(concat({stored_entry("../evil", "x"), stored_entry("sub/evil", "x"),
                                          stored_entry("..", "x"), stored_entry("fine", "ok")}));
  const ToolRun run = tarvo({"extract", pak, "-C", path("out")});
  EXPECT_EQ(run.status, 1) << run;
  EXPECT_TRUE(contains(run.err, "entry \"../evil\" at offset 24: unsafe name")) << run;
  EXPECT_TRUE(contains(run.err, "entry \"sub/evil\" at offset ")) << run;
  EXPECT_TRUE(contains(run.err, "entry \"..\" at offset ")) << run;
  EXPECT_EQ(tree(dir.path()), (std::vector<std::string>{"out/", "out/fine", "t.pak"}));
}

TEST_F(ToolRead, NamedEntriesThatAreMissingFail) {
  const std::string pak = archive(stored_entry("a", "a"));
  const ToolRun run = tarvo({"extract", pak, "-C", path("out"), "a", "b"});
  EXPECT_EQ(run.status, 1) << run;
  EXPECT_TRUE(contains(run.err, "no entry named \"b\"")) << run;
  EXPECT_EQ(read_text(path("out/a")), "a");
  const ToolRun cat = tarvo({"cat", pak, "A"});  // names are case-sensitive
  EXPECT_EQ(cat.status, 1) << cat;
  EXPECT_EQ(cat.out, "");
}

TEST_F(ToolRead, KeepLeavesExistingFilesAlone) {
  const std::string pak = archive(concat({stored_entry("a", "new a"), stored_entry("b", "new b")}));
  std::filesystem::create_directory(path("out"));
  file("out/a", "old a");
  EXPECT_EQ(tarvo({"extract", "--keep", pak, "-C", path("out")}).status, 0);
  EXPECT_EQ(read_text(path("out/a")), "old a");
  EXPECT_EQ(read_text(path("out/b")), "new b");
  EXPECT_EQ(tarvo({"extract", pak, "-C", path("out")}).status, 0);
  EXPECT_EQ(read_text(path("out/a")), "new a");
}

TEST_F(ToolRead, ExtractsIntoTheCurrentDirectoryByDefaultAndMakesMissingDirectories) {
  const std::string pak = archive(stored_entry("a", "a"));
  std::filesystem::create_directory(path("here"));
  EXPECT_EQ(tarvo({"extract", pak}, path("here")).status, 0);
  EXPECT_EQ(read_text(path("here/a")), "a");
  EXPECT_EQ(tarvo({"extract", pak, "-C", path("deep/er/still")}).status, 0);
  EXPECT_EQ(read_text(path("deep/er/still/a")), "a");
}

TEST_F(ToolRead, AFileThatCannotBeWrittenLeavesNoTemporaryBehind) {
  const std::string pak = archive(concat({stored_entry("blocked", "data"), stored_entry("free", "ok")}));
  std::filesystem::create_directories(path("out/blocked/inside"));  // a directory holds the name
  const ToolRun run = tarvo({"extract", pak, "-C", path("out")});
  EXPECT_EQ(run.status, 1) << run;
  EXPECT_TRUE(contains(run.err, "blocked: cannot be written")) << run;
  EXPECT_EQ(read_text(path("out/free")), "ok");
  EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
}

TEST_F(ToolRead, QuietTestPrintsNothingOnSuccess) {
  const ToolRun run = tarvo({"test", "--quiet", archive(three_entries())});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out + run.err, "");
}

}  // namespace
}  // namespace mytarvo::test
