// tarvo add: the archive it writes is byte for byte what AddToPak writes for the same
// files, whatever the number of worker threads; and how it treats bad arguments.
#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

std::uint32_t next_random(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

std::string words(std::size_t size) {
  static const char* const kWords[] = {"archive ", "entry ", "packed ", "stored ", "block ", "the ", "of ", "\r\n"};
  std::string text;
  std::uint32_t state = 1;
  while (text.size() < size) text += kWords[next_random(state) % 8];
  return text;
}

std::string noise(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 2;
  for (auto& b : bytes) b = static_cast<char>(next_random(state));
  return bytes;
}

std::string records(std::size_t count) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) {
    bytes += "rec";
    bytes += static_cast<char>(i & 0xFF);
    bytes += static_cast<char>(i >> 8);
    bytes.append(11, static_cast<char>(i % 3));
  }
  return bytes;
}

class ToolAdd : public ToolTest {
 protected:
  // A mix of packed, stored, tiny and empty sources, in a fixed order: text, noise that
  // does not pack, records with a repeating layout, and small ones.
  std::vector<std::string> sources() const {
    std::vector<std::string> paths;
    paths.push_back(file("words.txt", words(120000)));
    paths.push_back(file("noise.bin", noise(70000)));
    paths.push_back(file("records.dat", records(2500)));
    paths.push_back(file("five.txt", "hello"));
    paths.push_back(file("empty", ""));
    paths.push_back(file("zeros", std::string(5000, '\0')));
    return paths;
  }

  // The archive the library makes from `paths` with AddToPak's switch `compress`.
  Bytes library_archive(const std::vector<std::string>& paths, std::int32_t compress) const {
    const std::string archive = path("library.pak");
    Library lib;
    create_pak_file(archive.c_str());
    for (const auto& source : paths) add_to_pak(lib, archive.c_str(), source.c_str(), nullptr, compress);
    return read_file(archive);
  }

  // The archive tarvo makes from `paths` with the given extra options.
  Bytes tool_archive(const std::string& name, const std::vector<std::string>& paths,
                     const std::vector<std::string>& options) const {
    const std::string archive = path(name);
    EXPECT_EQ(tarvo({"create", archive}).status, 0);
    std::vector<std::string> arguments = {"add", archive};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const ToolRun run = tarvo(arguments);
    EXPECT_EQ(run.status, 0) << run;
    return read_file(archive);
  }
};

TEST_F(ToolAdd, AnyNumberOfJobsWritesWhatAddToPakWrites) {
  const auto paths = sources();
  const Bytes expected = library_archive(paths, 1);
  EXPECT_EQ(tool_archive("j1.pak", paths, {"-j", "1"}), expected);
  EXPECT_EQ(tool_archive("j4.pak", paths, {"-j", "4"}), expected);
  EXPECT_EQ(tool_archive("default.pak", paths, {}), expected);
}

TEST_F(ToolAdd, StoreWritesWhatAddToPakWritesWithSwitchZero) {
  const auto paths = sources();
  EXPECT_EQ(tool_archive("stored.pak", paths, {"--store", "-j", "3"}), library_archive(paths, 0));
}

TEST_F(ToolAdd, BestPacksSmallerAndStillStoresWhatDoesNotPack) {
  const auto paths = sources();
  const Bytes level_nine = library_archive(paths, 1);
  const Bytes best = tool_archive("best.pak", paths, {"--best", "-j", "2"});
  EXPECT_LT(best.size() + 1000, level_nine.size());
  // Extracted, every file is as it was; the noise and the tiny files are stored.
  ASSERT_EQ(tarvo({"extract", path("best.pak"), "-C", path("out")}).status, 0);
  for (const auto& source : paths) {
    const std::string name = std::filesystem::path(source).filename().string();
    EXPECT_EQ(read_file(path("out/" + name)), read_file(source)) << name;
  }
  const ToolRun listing = tarvo({"list", "--json", path("best.pak")});
  EXPECT_EQ(listing.status, 0) << listing;
  EXPECT_EQ(tarvo({"test", path("best.pak")}).status, 0);
  EXPECT_EQ(tarvo({"add", "--best", "--store", path("best.pak"), paths[0]}).status, 2);  // one or the other
}

TEST_F(ToolAdd, AddingAppendsAfterWhatIsThere) {
  const std::string a = file("a.txt", "hello");
  const std::string b = file("b.txt", std::string(100, '\0'));
  tool_archive("x.pak", {a}, {"--store"});
  ASSERT_EQ(tarvo({"add", path("x.pak"), b}).status, 0);
  EXPECT_EQ(read_file(path("x.pak")),
            concat({kPakHeader, stored_entry("a.txt", "hello"), packed_entry("b.txt", 100, kBlock100Zeros)}));
}

TEST_F(ToolAdd, MissingSourceIsReportedAndTheOthersAreAdded) {
  const std::string archive = path("a.pak");
  tarvo({"create", archive});
  const ToolRun run = tarvo({"add", "--store", archive, file("a.txt", "hello"), path("nope.txt"), file("b", "b")});
  EXPECT_EQ(run.status, 1) << run;
  EXPECT_TRUE(contains(run.err, "nope.txt: no such file; not added")) << run;
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("a.txt", "hello"), stored_entry("b", "b")}));
}

TEST_F(ToolAdd, RecursiveAddsEveryFileInSortedOrderUnderItsBareName) {
  std::filesystem::create_directories(path("d/sub"));
  std::filesystem::create_directories(path("d/a"));
  file("d/b.txt", "B");
  file("d/a.txt", "A");
  file("d/a/x", "X");
  file("d/sub/b.txt", "b2");
  const std::string archive = path("r.pak");
  tarvo({"create", archive});
  const ToolRun run = tarvo({"add", "--store", "-r", archive, path("d")});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.err, "warning: ")) << run;
  EXPECT_TRUE(contains(run.err, "its name \"b.txt\" repeats")) << run;
  // "a" sorts before "a.txt", so the directory a comes first.
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("x", "X"), stored_entry("a.txt", "A"),
                                        stored_entry("b.txt", "B"), stored_entry("b.txt", "b2")}));
}

TEST_F(ToolAdd, RefusesFilesThatAreNotArchives) {
  const std::string notes = file("notes.txt", "my notes\r\n");
  const ToolRun run = tarvo({"add", notes, file("a.txt", "hello")});
  EXPECT_EQ(run.status, 2) << run;
  EXPECT_TRUE(contains(run.err, "notes.txt: not an archive")) << run;
  EXPECT_EQ(read_text(notes), "my notes\r\n");
}

TEST_F(ToolAdd, CreateRefusesToReplaceAFileWithoutForce) {
  const std::string existing = file("keep.pak", "precious");
  const ToolRun refused = tarvo({"create", existing});
  EXPECT_EQ(refused.status, 2) << refused;
  EXPECT_TRUE(contains(refused.err, "keep.pak: already exists (use --force to replace it)")) << refused;
  EXPECT_EQ(read_text(existing), "precious");
  EXPECT_EQ(tarvo({"create", "--force", existing}).status, 0);
  EXPECT_EQ(read_file(existing), kPakHeader);
}

struct UsageCase {
  std::vector<std::string> arguments;
};

class ToolUsage : public ToolTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(ToolUsage, BadUsageExitsWithTwo) {
  const ToolRun run = tarvo(GetParam().arguments);
  EXPECT_EQ(run.status, 2) << run;
  EXPECT_NE(run.err, "") << run;
}

INSTANTIATE_TEST_SUITE_P(Arguments, ToolUsage,
                         ::testing::Values(UsageCase{{}}, UsageCase{{"frobnicate"}}, UsageCase{{"create"}},
                                           UsageCase{{"add", "a.pak"}}, UsageCase{{"add", "-j", "0", "a.pak", "x"}},
                                           UsageCase{{"cat", "a.pak"}}, UsageCase{{"list", "--bogus", "a.pak"}}));

TEST_F(ToolAdd, HelpExitsWithZero) {
  const ToolRun run = tarvo({"--help"});
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.out, "extract")) << run;
}

}  // namespace
}  // namespace mytarvo::test
