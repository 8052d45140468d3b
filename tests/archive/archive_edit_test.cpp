// Editing archives through the C++ interface: removing, replacing, renaming and
// repairing entries. Expected archives are assembled byte by byte; replaced entries are
// compared with what AddToPak writes for the same file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "mytarvo/archive.hpp"

namespace mytarvo::test {
namespace {

struct PatternCase {
  std::string pattern;
  std::string name;
  bool matches;
};

class Pattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Pattern, MatchesAsShellWildcards) {
  EXPECT_EQ(matches_pattern(GetParam().pattern, GetParam().name), GetParam().matches)
      << GetParam().pattern << " vs " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Table, Pattern,
                         ::testing::Values(PatternCase{"a.txt", "a.txt", true}, PatternCase{"a.txt", "A.txt", false},
                                           PatternCase{"a.txt", "a.txt2", false}, PatternCase{"*", "", true},
                                           PatternCase{"*", "anything", true}, PatternCase{"*.txt", "a.txt", true},
                                           PatternCase{"*.txt", "a.txt.gz", false},
                                           PatternCase{"a*b*c", "aXbYbZc", true}, PatternCase{"a*b*c", "aXbYc_", false},
                                           PatternCase{"?", "", false}, PatternCase{"??", "ab", true},
                                           PatternCase{"?.txt", "ab.txt", false}, PatternCase{"[ab].txt", "b.txt", true},
                                           PatternCase{"[ab].txt", "c.txt", false},
                                           PatternCase{"[a-c]x", "bx", true}, PatternCase{"[a-c]x", "dx", false},
                                           PatternCase{"[!a-c]x", "dx", true}, PatternCase{"[^a-c]x", "ax", false},
                                           PatternCase{"[]]", "]", true}, PatternCase{"[!]]", "a", true},
                                           PatternCase{"[ab", "[ab", true}, PatternCase{"[ab", "a", false},
                                           PatternCase{"a-[x-]", "a--", true}, PatternCase{"**a", "a", true},
                                           PatternCase{"*a*a*a*a*b", std::string(60, 'a'), false}));

TEST(EntryName, PlainNamesOnly) {
  EXPECT_TRUE(is_plain_entry_name("report.txt"));
  for (const char* bad : {"", ".", "..", "dir/name", "dir\\name", "line\nbreak", "carriage\rreturn"}) {
    EXPECT_FALSE(is_plain_entry_name(bad)) << bad;
  }
  EXPECT_FALSE(is_plain_entry_name(std::string_view("nul\0byte", 8)));
}

// An archive of entries given as raw bytes; remembers each entry's bytes.
class EditTest : public ::testing::Test {
 protected:
  std::string make(const std::vector<Bytes>& entries, std::string_view name = "edit.pak") {
    Bytes all = kPakHeader;
    for (const auto& e : entries) all.insert(all.end(), e.begin(), e.end());
    const std::string archive = dir.file(name);
    write_file(archive, all);
    return archive;
  }
  static Bytes archive_of(const std::vector<Bytes>& entries) {
    Bytes all = kPakHeader;
    for (const auto& e : entries) all.insert(all.end(), e.begin(), e.end());
    return all;
  }
  // The bytes AddToPak appends for `source` with switch `compress`.
  Bytes added_entry(const std::string& source, std::int32_t compress) {
    const std::string archive = dir.file("reference.pak");
    Library lib;
    create_pak_file(archive.c_str());
    add_to_pak(lib, archive.c_str(), source.c_str(), nullptr, compress);
    Bytes bytes = read_file(archive);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kPakHeader.size()));
    return bytes;
  }
  [[nodiscard]] std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    for (const auto& item : tree(dir.path())) {
      if (item.find(".tarvo-") != std::string::npos) found.push_back(item);
    }
    return found;
  }

  TempDir dir;
  // Entries of every kind: stored, packed, flag byte 2, a packed block that does not
  // decode, a name line ended by LF alone, an empty packed file.
  const Bytes a_ = stored_entry("a.txt", "alpha");
  const Bytes b_ = packed_entry("b.bin", 8, kBlockAbab);
  const Bytes c_ = stored_entry("c.txt", to_bytes("flag two"), 2);
  const Bytes d_ = packed_entry("d.bin", 64, damaged(kBlock64A, 12, 4, 0xEE));
  const Bytes e_ = concat({to_bytes("e.txt\n"), {0x00}, line("3"), to_bytes("eee")});
  const Bytes f_ = packed_entry("f.empty", 0, {}, 0);
  const Bytes a2_ = stored_entry("a.txt", "second alpha");
};

struct RemoveCase {
  std::vector<std::string> patterns;
  std::vector<int> kept;  // indexes into the entry list below
};

class Remove : public EditTest, public ::testing::WithParamInterface<RemoveCase> {};

TEST_P(Remove, LeavesExactlyTheOtherEntriesBytes) {
  const std::vector<Bytes> all = {a_, b_, c_, d_, e_, f_, a2_};
  const std::string archive = make(all);
  const RemoveResult result = remove_entries(archive, GetParam().patterns);
  EXPECT_TRUE(result.unmatched.empty());
  std::vector<Bytes> kept;
  for (const int i : GetParam().kept) kept.push_back(all[static_cast<std::size_t>(i)]);
  EXPECT_EQ(read_file(archive), archive_of(kept));
  EXPECT_EQ(result.removed.size(), all.size() - kept.size());
  EXPECT_TRUE(leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Remove,
    ::testing::Values(RemoveCase{{"a.txt"}, {1, 2, 3, 4, 5}}, RemoveCase{{"d.bin"}, {0, 1, 2, 4, 5, 6}},
                      RemoveCase{{"*.bin", "f.*"}, {0, 2, 4, 6}}, RemoveCase{{"?.txt"}, {1, 3, 5}},
                      RemoveCase{{"[b-e]*"}, {0, 5, 6}}, RemoveCase{{"*"}, {}},
                      RemoveCase{{"f.empty", "f.empty"}, {0, 1, 2, 3, 4, 6}}));

TEST_F(EditTest, RemoveWithAnUnmatchedNameChangesNothing) {
  const std::string archive = make({a_, b_});
  const Bytes before = read_file(archive);
  const RemoveResult result = remove_entries(archive, {"a.txt", "zzz*", "q"});
  EXPECT_EQ(result.unmatched, (std::vector<std::string>{"zzz*", "q"}));
  EXPECT_TRUE(result.removed.empty());
  EXPECT_EQ(read_file(archive), before);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(EditTest, RemoveKeepsATornOrUnreadableTailAsItWas) {
  // A last entry claiming more data than is there, and one hidden behind a negative size.
  const Bytes torn = concat({line("torn.bin"), {0x00}, line("100"), to_bytes("short")});
  std::string archive = make({a_, b_, torn});
  (void)remove_entries(archive, {"b.bin"});
  EXPECT_EQ(read_file(archive), archive_of({a_, torn}));

  const Bytes negative = concat({line("neg"), {0x00}, line("-5"), to_bytes("rest of file")});
  archive = make({a_, negative, b_}, "negative.pak");
  (void)remove_entries(archive, {"a.txt"});
  EXPECT_EQ(read_file(archive), archive_of({negative, b_}));
}

TEST_F(EditTest, RefusesWhatIsNotAnArchive) {
  const std::string text = dir.file("notes.txt");
  write_file(text, to_bytes("just some text\r\nmore\r\n"));
  EXPECT_THROW((void)remove_entries(text, {"more"}), ArchiveError);
  EXPECT_EQ(read_text(text), "just some text\r\nmore\r\n");
  // The refused edit let go of the file: the next one on it goes through.
  write_file(text, concat({kPakHeader, a_, b_}));
  EXPECT_EQ(remove_entries(text, {"a.txt"}).removed.size(), 1u);
  EXPECT_EQ(read_file(text), archive_of({b_}));
  EXPECT_THROW((void)remove_entries(dir.file("missing.pak"), {"x"}), ArchiveError);
  EXPECT_FALSE(file_exists(dir.file("missing.pak")));
  EXPECT_THROW((void)repair_archive(dir.path().string()), ArchiveError);
  EXPECT_TRUE(leftovers().empty());
}

struct ReplaceCase {
  const char* content;
  bool pack;
};

class Replace : public EditTest, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(Replace, PutsAddToPaksBytesWhereTheFirstEntryStood) {
  const std::string source = dir.file("a.txt");
  write_file(source, to_bytes(GetParam().content));
  const Bytes added = added_entry(source, GetParam().pack ? 1 : 0);
  const std::string archive = make({b_, a_, c_, a2_, d_});
  const auto items =
      replace_entries(archive, {prepare_entry(source, GetParam().pack ? Packing::Pack : Packing::Store)});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].outcome, ReplaceOutcome::Replaced);
  EXPECT_EQ(items[0].dropped, 1u);
  EXPECT_EQ(read_file(archive), archive_of({b_, added, c_, d_}));
}

INSTANTIATE_TEST_SUITE_P(Table, Replace,
                         ::testing::Values(ReplaceCase{"", true}, ReplaceCase{"", false}, ReplaceCase{"tiny", true},
                                           ReplaceCase{"abababababababababababababababababababab", true},
                                           ReplaceCase{"abababababababababababababababababababab", false}));

TEST_F(EditTest, ReplaceAppendsNewNamesAndKeepsEntriesOfFilesThatFail) {
  const std::string fresh = dir.file("g.txt");
  write_file(fresh, to_bytes("new file g, new file g, new file g"));
  const Bytes added = added_entry(fresh, 1);
  const std::string archive = make({a_, b_, a2_});
  std::vector<std::size_t> asked;
  const std::vector<std::string> names = {"g.txt", "a.txt", "g.txt"};
  const auto items = replace_entries(archive, names, [&](std::size_t index) {
    asked.push_back(index);
    if (names[index] == "a.txt") return prepare_entry(dir.file("missing/a.txt"), Packing::Pack);
    return prepare_entry(fresh, Packing::Pack);
  });
  EXPECT_EQ(asked, (std::vector<std::size_t>{1, 0}));  // present names first, in archive order
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].outcome, ReplaceOutcome::Appended);
  EXPECT_EQ(items[1].outcome, ReplaceOutcome::Failed);
  EXPECT_FALSE(items[1].error.empty());
  EXPECT_EQ(items[2].outcome, ReplaceOutcome::Failed);
  EXPECT_EQ(items[2].error, "given more than once");
  EXPECT_EQ(read_file(archive), archive_of({a_, b_, a2_, added}));
}

TEST_F(EditTest, ReplaceWithNothingPreparedChangesNothing) {
  const std::string archive = make({a_, b_});
  const Bytes before = read_file(archive);
  const auto items = replace_entries(archive, {prepare_entry(dir.file("absent.txt"), Packing::Pack)});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].outcome, ReplaceOutcome::Failed);
  EXPECT_EQ(read_file(archive), before);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(EditTest, RenameChangesOnlyTheNameText) {
  const std::string archive = make({e_, a_, b_, a2_});
  const RenameResult result = rename_entries(archive, "a.txt", "z.txt");
  EXPECT_EQ(result.outcome, RenameOutcome::Renamed);
  EXPECT_EQ(result.renamed.size(), 2u);
  EXPECT_EQ(read_file(archive), archive_of({e_, stored_entry("z.txt", "alpha"), b_, stored_entry("z.txt", "second alpha")}));
  // A name line ended by LF alone keeps its ending.
  EXPECT_EQ(rename_entries(archive, "e.txt", "longer-name.txt").outcome, RenameOutcome::Renamed);
  EXPECT_EQ(read_file(archive), archive_of({concat({to_bytes("longer-name.txt\n"), {0x00}, line("3"), to_bytes("eee")}),
                                            stored_entry("z.txt", "alpha"), b_, stored_entry("z.txt", "second alpha")}));
}

TEST_F(EditTest, RenameRefusalsChangeNothing) {
  const std::string archive = make({a_, b_});
  const Bytes before = read_file(archive);
  EXPECT_EQ(rename_entries(archive, "nope", "x").outcome, RenameOutcome::NoSuchEntry);
  EXPECT_EQ(rename_entries(archive, "a.txt", "b.bin").outcome, RenameOutcome::NameTaken);
  EXPECT_EQ(rename_entries(archive, "a.txt", "a.txt").outcome, RenameOutcome::NameTaken);
  for (const char* bad : {"", "..", "dir/x", "dir\\x", "two\r\nlines"}) {
    EXPECT_EQ(rename_entries(archive, "a.txt", bad).outcome, RenameOutcome::BadName) << bad;
  }
  EXPECT_EQ(read_file(archive), before);
  EXPECT_TRUE(leftovers().empty());
}

struct RepairCase {
  const char* label;
  Bytes tail;         // what follows the whole entries a_ and b_
  bool cut;           // whether the tail is cut away
  const char* reason;
};

class Repair : public EditTest, public ::testing::WithParamInterface<RepairCase> {};

TEST_P(Repair, CutsBackToTheLastWholeEntry) {
  const std::string archive = make({a_, b_, GetParam().tail});
  const RepairResult result = repair_archive(archive);
  EXPECT_EQ(result.repaired, GetParam().cut);
  if (GetParam().cut) {
    EXPECT_EQ(read_file(archive), archive_of({a_, b_}));
    EXPECT_EQ(result.cut_from, archive_of({a_, b_}).size());
    EXPECT_EQ(result.cut_bytes, GetParam().tail.size());
    EXPECT_EQ(result.reason, GetParam().reason);
  } else {
    EXPECT_EQ(read_file(archive), archive_of({a_, b_, GetParam().tail}));
  }
  EXPECT_TRUE(leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Repair,
    ::testing::Values(
        RepairCase{"whole", {}, false, ""},
        RepairCase{"whole_empty_packed", packed_entry("f.empty", 0, {}, 0), false, ""},
        RepairCase{"data_short", concat({line("x"), {0x00}, line("10"), to_bytes("12345")}), true,
                   "claims 10 bytes of data, 5 are left"},
        RepairCase{"block_short", packed_entry("y", 8, Bytes(kBlockAbab.begin(), kBlockAbab.end() - 3), 18), true,
                   "claims 18 bytes of data, 15 are left"},
        RepairCase{"name_only", to_bytes("partial-na"), true, "its header lines stop at the end of the file"},
        RepairCase{"no_flag", line("x"), true, "its header lines stop at the end of the file"},
        RepairCase{"size_unended", concat({line("x"), {0x00}, to_bytes("0")}), true,
                   "its header lines stop at the end of the file"},
        RepairCase{"packed_size_missing", concat({line("x"), {0x01}, line("0")}), true,
                   "its header lines stop at the end of the file"},
        RepairCase{"negative", concat({line("x"), {0x00}, line("-1"), to_bytes("junk")}), true,
                   "a size line gives a negative size"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EditTest, RepairOfAHeaderOnlyArchiveFindsNothing) {
  const std::string archive = make({});
  EXPECT_FALSE(repair_archive(archive).repaired);
  EXPECT_EQ(read_file(archive), kPakHeader);
}

}  // namespace
}  // namespace mytarvo::test

namespace mytarvo::test {
namespace {

namespace fs = std::filesystem;

// An edit in a directory this process may not write into: no temporary file can be made,
// so the archive stays as it was. (Skipped for users that may write anywhere.)
TEST(FaultsEdit, ReadOnlyDirectoryLeavesTheArchiveAsItWas) {
  TempDir dir;
  const std::string folder = dir.file("locked");
  fs::create_directory(folder);
  const std::string archive = folder + "/a.pak";
  write_file(archive, concat({kPakHeader, stored_entry("a.txt", "alpha"), stored_entry("b.txt", "beta")}));
  const Bytes before = read_file(archive);
  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string probe = folder + "/probe";
  if (FILE* f = std::fopen(probe.c_str(), "wb")) {
    std::fclose(f);
    std::remove(probe.c_str());
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
    GTEST_SKIP() << "this user may write into read-only directories";
  }
  try {
    (void)remove_entries(archive, {"a.txt"});
    ADD_FAILURE() << "the edit did not fail";
  } catch (const ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot create a temporary file"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("the archive is unchanged"), std::string::npos) << e.what();
  }
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(read_file(archive), before);
  EXPECT_EQ(tree(folder), (std::vector<std::string>{"a.pak"}));
}

}  // namespace
}  // namespace mytarvo::test

namespace mytarvo::test {
namespace {

// An archive this process may not read cannot be edited; it is left as it was.
TEST(FaultsEdit, UnreadableArchiveIsReportedAndLeftAlone) {
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  write_file(archive, concat({kPakHeader, stored_entry("a.txt", "alpha")}));
  std::filesystem::permissions(archive, std::filesystem::perms::none);
  if (FILE* f = std::fopen(archive.c_str(), "rb")) {
    std::fclose(f);
    std::filesystem::permissions(archive, std::filesystem::perms::owner_all);
    GTEST_SKIP() << "this user may read unreadable files";
  }
  try {
    (void)remove_entries(archive, {"a.txt"});
    ADD_FAILURE() << "the edit did not fail";
  } catch (const ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find(archive + ": cannot be opened"), std::string::npos) << e.what();
  }
  std::filesystem::permissions(archive, std::filesystem::perms::owner_all);
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("a.txt", "alpha")}));
  EXPECT_EQ(tree(dir.path()), (std::vector<std::string>{"a.pak"}));
}

}  // namespace
}  // namespace mytarvo::test
