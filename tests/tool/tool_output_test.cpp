// What tarvo prints: names made safe for a terminal, the list's name column, the summary of
// test and its view of header lines no writer writes, and messages about bad usage.
#include <set>
#include <sstream>

#include "archive/pak_builder.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

using ToolOutput = ToolTest;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Control bytes, DEL, C1 controls and broken UTF-8 in names reach the terminal escaped, in
// the table and in every message; well-formed UTF-8 and the JSON listing stay as they are.
TEST_F(ToolOutput, NamesAreEscapedOnTheTerminal) {
  // (Names cannot hold CR or LF; a name asked for on the command line can.)
  const std::string evil = "a\x1b]0;owned\x07\t\x7f\xc2\x9b\xff-\xc3\xa9";
  const std::string shown = "a\\033]0;owned\\007\\t\\177\\302\\233\\377-\xc3\xa9";
  const std::string pak = archive(concat({packed_entry(evil, 8, damaged(kBlockAbab, 6, 1, 0))}));
  const ToolRun list = tarvo({"list", pak});
  EXPECT_TRUE(contains(list.out, shown + " ")) << list;
  const ToolRun test = tarvo({"test", pak});
  EXPECT_TRUE(contains(test.err, "entry \"" + shown + "\" at offset 24")) << test;
  const ToolRun missing = tarvo({"extract", pak, evil + "\r\n", "-C", path("out")});
  EXPECT_TRUE(contains(missing.err, "no entry named \"" + shown + "\\r\\n\"")) << missing;
  for (const ToolRun* run : {&list, &test, &missing}) {
    for (const char c : run->out + run->err) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << *run;
  }
  const ToolRun json = tarvo({"list", "--json", pak});
  EXPECT_TRUE(contains(json.out, "\"name\": \"a\\u001b]0;owned\\u0007\\u0009\\u007f\\u00c2")) << json;
}

// The name column grows with the names up to 40 characters; a longer name overflows its
// own cell and leaves the other rows alone.
TEST_F(ToolOutput, ListCapsTheNameColumn) {
  const std::string long_name(100, 'n');
  const ToolRun run = tarvo({"list", archive(concat({stored_entry("short", "x"), stored_entry(long_name, "y")}))});
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 4u) << run;
  EXPECT_EQ(lines[0].find(" size"), 40u + 6u) << run;
  EXPECT_EQ(lines[1].substr(0, 41), "short" + std::string(36, ' ')) << run;
  EXPECT_EQ(lines[1].size(), lines[0].size()) << run;
  EXPECT_EQ(lines[2].substr(0, 101), long_name + " ") << run;
}

struct SummaryCase {
  Bytes entries;
  const char* summary;
};

class ToolTestSummary : public ToolOutput, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(ToolTestSummary, CountsAgreeInNumber) {
  const ToolRun run = tarvo({"test", archive(GetParam().entries)});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out, path("t.pak") + ": " + GetParam().summary + "\n") << run;
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ToolTestSummary,
    ::testing::Values(
        SummaryCase{{}, "0 entries: 0 packed entries verified; 0 stored entries carry no checksum"},
        SummaryCase{packed_entry("b", 64, kBlock64A), "1 entry: 1 packed entry verified; 0 stored entries carry no checksum"},
        SummaryCase{stored_entry("a", "x"), "1 entry: 0 packed entries verified; 1 stored entry carries no checksum"},
        SummaryCase{concat({stored_entry("a", "x"), stored_entry("c", "y"), packed_entry("b", 64, kBlock64A),
                            packed_entry("e", 0, {})}),
                    "4 entries: 2 packed entries verified; 2 stored entries carry no checksum"}));

// Size lines no writer writes are read by the number rules (so the entry is found and its
// data read), but test counts each as a problem.
class ToolOddSizeLine : public ToolOutput, public ::testing::WithParamInterface<const char*> {};

TEST_P(ToolOddSizeLine, IsReadButReportedByTest) {
  const std::string size_line = GetParam();
  const std::string pak = archive(concat({line("a.txt"), {0}, line(size_line), to_bytes("0123456789abcdef")}));
  const ToolRun cat = tarvo({"cat", pak, "a.txt"});
  EXPECT_EQ(cat.status, 0) << cat;
  EXPECT_EQ(cat.out, size_line == "$10" ? "0123456789abcdef" : "01234") << cat;
  const ToolRun test = tarvo({"test", pak});
  EXPECT_EQ(test.status, 1) << test;
  EXPECT_TRUE(contains(test.err, "its header lines are not as any writer writes them")) << test;
}

INSTANTIATE_TEST_SUITE_P(Lines, ToolOddSizeLine, ::testing::Values("+5", " 5", "5x", "4294967301", "$10", "05"));

// Names given to list, extract and cat are patterns; a name without pattern characters
// matches exactly, and one that matches nothing is an error.
struct PatternCase {
  std::vector<std::string> names;
  const char* listed;  // the names list shows, one per line
  int status;
};

class ToolPattern : public ToolOutput, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(ToolPattern, SelectsTheEntriesItMatches) {
  const std::string pak = archive(concat({stored_entry("a.txt", "A"), stored_entry("b.txt", "B"),
                                          stored_entry("ab.dat", "AB"), stored_entry("a.txt", "A2"),
                                          stored_entry("a*", "star")}));
  std::vector<std::string> list = {"list", pak};
  list.insert(list.end(), GetParam().names.begin(), GetParam().names.end());
  const ToolRun run = tarvo(list);
  EXPECT_EQ(run.status, GetParam().status) << run;
  std::string names;
  for (const auto& row : lines_of(run.out)) {
    if (row.rfind("name ", 0) != 0 && row.find(" entr") == std::string::npos) names += row.substr(0, row.find(' ')) + "\n";
  }
  EXPECT_EQ(names, GetParam().listed) << run;

  std::vector<std::string> extract = {"extract", pak, "-C", path("out")};
  extract.insert(extract.end(), GetParam().names.begin(), GetParam().names.end());
  EXPECT_EQ(tarvo(extract).status, GetParam().status);
  std::string extracted;
  for (const auto& name : tree(path("out"))) extracted += name + "\n";
  std::set<std::string> expected;
  for (const auto& name : lines_of(GetParam().listed)) expected.insert(name);
  std::string expected_files;
  for (const auto& name : expected) expected_files += name + "\n";
  EXPECT_EQ(extracted, expected_files);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ToolPattern,
    ::testing::Values(PatternCase{{"*.txt"}, "a.txt\nb.txt\na.txt\n", 0},
                      PatternCase{{"?.txt"}, "a.txt\nb.txt\na.txt\n", 0},
                      PatternCase{{"[!a].txt"}, "b.txt\n", 0},
                      PatternCase{{"[a-b]*"}, "a.txt\nb.txt\nab.dat\na.txt\na*\n", 0},
                      PatternCase{{"a*t"}, "a.txt\nab.dat\na.txt\n", 0},
                      PatternCase{{"b.txt"}, "b.txt\n", 0},
                      PatternCase{{"b.tx"}, "", 1},
                      PatternCase{{"*.zip", "b.txt"}, "b.txt\n", 1}));

TEST_F(ToolOutput, CatWritesTheFirstEntryOfEveryMatchingName) {
  const std::string pak = archive(concat({stored_entry("a.txt", "A"), stored_entry("ab.dat", "AB"),
                                          stored_entry("a.txt", "A2"), stored_entry("b", "B")}));
  EXPECT_EQ(tarvo({"cat", pak, "a*"}).out, "AAB");
  const ToolRun none = tarvo({"cat", pak, "z*"});
  EXPECT_EQ(none.status, 1) << none;
  EXPECT_TRUE(contains(none.err, "no entry matches \"z*\"")) << none;
}

struct UsageCase {
  std::vector<std::string> arguments;
  const char* message;
};

class ToolUsageMessage : public ToolTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(ToolUsageMessage, NamesTheCulpritOnLinesStartingWithTarvo) {
  const ToolRun run = tarvo(GetParam().arguments);
  EXPECT_EQ(run.status, 2) << run;
  EXPECT_TRUE(contains(run.err, std::string("tarvo: ") + GetParam().message + "\n")) << run;
  for (const auto& line : lines_of(run.err)) EXPECT_EQ(line.rfind("tarvo: ", 0), 0u) << run;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ToolUsageMessage,
    ::testing::Values(UsageCase{{"frob"}, "unknown command 'frob'"},
                      UsageCase{{"-q", "frob", "x"}, "unknown command 'frob'"},
                      UsageCase{{"list", "--bogus", "a.pak"}, "unknown option '--bogus'"},
                      UsageCase{{"create", "a.pak", "b.pak"}, "unexpected argument 'b.pak'"},
                      UsageCase{{}, "no command given (create, add, list, extract, test, cat)"},
                      UsageCase{{"add", "a.pak"}, "FILE is required"}));

}  // namespace
}  // namespace mytarvo::test
