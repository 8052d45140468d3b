// tarvo rm, rename, repair and add --replace / --duplicate: the archives they leave, byte
// for byte, and their messages and exit statuses. Also run under Wine on the Windows build.
#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

class ToolEdit : public ToolTest {
 protected:
  void SetUp() override {
    archive = path("e.pak");
    write_file(archive, concat({kPakHeader, a_, b_, c_, a2_}));
  }
  // The bytes AddToPak appends for `source` with switch `compress`.
  Bytes added_entry(const std::string& source, std::int32_t compress) const {
    const std::string reference = path("reference.pak");
    Library lib;
    create_pak_file(reference.c_str());
    add_to_pak(lib, reference.c_str(), source.c_str(), nullptr, compress);
    Bytes bytes = read_file(reference);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kPakHeader.size()));
    std::remove(reference.c_str());
    return bytes;
  }

  std::string archive;
  const Bytes a_ = stored_entry("a.txt", "alpha");
  const Bytes b_ = packed_entry("b.bin", 8, kBlockAbab);
  const Bytes c_ = stored_entry("c.txt", to_bytes("flag two"), 2);
  const Bytes a2_ = stored_entry("a.txt", "second alpha");
};

TEST_F(ToolEdit, RmRemovesEveryMatchOrNothing) {
  ToolRun run = tarvo({"rm", archive, "a.txt", "nothing*"});
  EXPECT_EQ(run.status, 1) << run;
  EXPECT_TRUE(contains(run.err, "tarvo: " + archive + ": no entry matches \"nothing*\"; nothing removed")) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, a_, b_, c_, a2_}));
  run = tarvo({"rm", archive, "?.txt"});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, b_}));
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

// An argument written wholly in brackets is a pattern or a file name like any other, never
// a list of values.
TEST_F(ToolEdit, ABracketedArgumentIsOneNameOrPattern) {
  const Bytes one = stored_entry("a", "1"), two = stored_entry("b", "2"), both = stored_entry("ab", "3");
  write_file(archive, concat({kPakHeader, one, two, both}));
  ToolRun run = tarvo({"rm", archive, "[ab]"});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, both}));
  const std::string source = file("[x,y]", "bracketed");
  run = tarvo({"add", archive, source});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, both, stored_entry("[x,y]", "bracketed")}));
  run = tarvo({"list", archive, "[[]x,y]"});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.out, "[x,y]")) << run;
  EXPECT_FALSE(contains(run.out, "ab")) << run;
}

TEST_F(ToolEdit, RmOfWhatIsNotAnArchiveIsAUsageError) {
  const std::string notes = file("notes.txt", "plain text\r\n");
  for (const std::string& target : {notes, path("missing.pak"), dir.path().string()}) {
    const ToolRun run = tarvo({"rm", target, "x"});
    EXPECT_EQ(run.status, 2) << run;
    EXPECT_TRUE(contains(run.err, "tarvo: " + target + ": ")) << run;
  }
  EXPECT_EQ(read_text(notes), "plain text\r\n");
}

TEST_F(ToolEdit, AddRefusesANameThatIsThereAndHintsAtTheOptions) {
  const std::string source = file("a.txt", "replacement text, replacement text, replacement text");
  const std::string other = file("new.txt", "new");
  const ToolRun run = tarvo({"add", archive, source, other});
  EXPECT_EQ(run.status, 1) << run;
  EXPECT_TRUE(contains(run.err, "--replace")) << run;
  EXPECT_TRUE(contains(run.err, "--duplicate")) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, a_, b_, c_, a2_, added_entry(other, 1)}));
}

TEST_F(ToolEdit, AddReplaceKeepsThePlaceAndLeavesOneEntryOfTheName) {
  const std::string source = file("a.txt", "replacement text, replacement text, replacement text");
  const std::string other = file("new.txt", "new");
  const ToolRun run = tarvo({"add", "--replace", archive, other, source});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, added_entry(source, 1), b_, c_, added_entry(other, 1)}));
  const ToolRun stored = tarvo({"add", "--replace", "--store", archive, source});
  EXPECT_EQ(stored.status, 0) << stored;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, added_entry(source, 0), b_, c_, added_entry(other, 1)}));
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST_F(ToolEdit, AddDuplicateAppendsAsAddToPakDoes) {
  const std::string source = file("a.txt", "third");
  const ToolRun run = tarvo({"add", "--duplicate", "--store", archive, source});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, a_, b_, c_, a2_, stored_entry("a.txt", "third")}));
  EXPECT_NE(tarvo({"add", "--duplicate", "--replace", archive, source}).status, 0);
}

TEST_F(ToolEdit, RenameChangesTheNameOnlyAndRefusesClashes) {
  ToolRun run = tarvo({"rename", archive, "a.txt", "b.bin"});
  EXPECT_EQ(run.status, 1) << run;
  run = tarvo({"rename", archive, "zzz", "y"});
  EXPECT_EQ(run.status, 1) << run;
  run = tarvo({"rename", archive, "a.txt", "dir/y"});
  EXPECT_EQ(run.status, 2) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, a_, b_, c_, a2_}));
  run = tarvo({"rename", archive, "a.txt", "renamed.txt"});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("renamed.txt", "alpha"), b_, c_,
                                        stored_entry("renamed.txt", "second alpha")}));
}

TEST_F(ToolEdit, RepairCutsATornEndAndSaysWhere) {
  const Bytes whole = concat({kPakHeader, a_, b_, c_, a2_});
  write_file(archive, concat({whole, line("torn.bin"), {0x00}, line("500"), to_bytes("only this")}));
  ToolRun run = tarvo({"repair", archive});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.out, "cut 25 bytes from offset " + std::to_string(whole.size()) +
                                    ": entry \"torn.bin\": claims 500 bytes of data, 9 are left"))
      << run;
  EXPECT_EQ(read_file(archive), whole);
  run = tarvo({"repair", archive});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.out, "nothing to repair")) << run;
  EXPECT_EQ(read_file(archive), whole);
}

}  // namespace
}  // namespace mytarvo::test
