// Path services: file part, size query, deletion, current directory, trimmed directory
// creation, normalisation of output directories and the plain file name test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/paths.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const std::string kSep(1, test::native_separator());

// ---- File part ------------------------------------------------------------------------------

// The two rule sets, the Windows one without a code page (every byte one character), so
// that both are checked on every build.
platform::NameRules windows_rules() {
  platform::NameRules rules;
  rules.backslash_separates = true;
  rules.quotes_enclose = true;
  rules.drive_prefix = true;
  rules.drops_trailing_dots_and_blanks = true;
  return rules;
}
const platform::NameRules kPosixRules{};

struct FilePartCase {
  const char* path;
  const char* windows;
  const char* posix;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const FilePartCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class FilePart : public ::testing::TestWithParam<FilePartCase> {};

TEST_P(FilePart, TakesTheNameAfterTheLastSeparator) {
  const FilePartCase& c = GetParam();
  EXPECT_EQ(paths::file_part(c.path, windows_rules()), c.windows) << c.path;
  EXPECT_EQ(paths::file_part(c.path, kPosixRules), c.posix) << c.path;
  EXPECT_EQ(paths::file_part(c.path), test::windows_build() ? c.windows : c.posix) << c.path;
}

// Elsewhere than on Windows "\" and the double quote are ordinary characters of a name.
INSTANTIATE_TEST_SUITE_P(
    Examples, FilePart,
    ::testing::Values(FilePartCase{"C:\\dir\\file.txt", "file.txt", "C:\\dir\\file.txt"},
                      FilePartCase{"\"C:\\dir\\file.txt\"", "file.txt", "\"C:\\dir\\file.txt\""},
                      FilePartCase{"dir/sub/name.ext", "name.ext", "name.ext"}, FilePartCase{"dir/sub/", "", ""},
                      FilePartCase{"C:\\dir\\", "", "C:\\dir\\"}, FilePartCase{"name", "name", "name"},
                      FilePartCase{"", "", ""}, FilePartCase{"a\\b/c\\d", "d", "c\\d"},
                      FilePartCase{"\"bare name\"", "bare name", "\"bare name\""},
                      FilePartCase{"\"unclosed", "unclosed", "\"unclosed"}, FilePartCase{"\"", "", "\""},
                      FilePartCase{"a\"b", "a", "a\"b"},
                      // The part ends at the first quote at or after its start.
                      FilePartCase{"dir\\\"x\"", "", "dir\\\"x\""}, FilePartCase{"\"a b\"\\c", "c", "\"a b\"\\c"},
                      FilePartCase{"/", "", ""}, FilePartCase{"..", "..", ".."},
                      // A drive is no part of the name on Windows: C:name is name in the
                      // drive's current directory. A colon elsewhere stays (a stream name,
                      // refused later as a file name).
                      FilePartCase{"C:name", "name", "C:name"}, FilePartCase{"z:a.txt", "a.txt", "z:a.txt"},
                      FilePartCase{"\"Z:a.txt\"", "a.txt", "\"Z:a.txt\""}, FilePartCase{"C:", "", "C:"},
                      FilePartCase{"1:x", "1:x", "1:x"}, FilePartCase{"a.txt:s", "a.txt:s", "a.txt:s"},
                      FilePartCase{"dir/C:x", "C:x", "C:x"}));

TEST(FilePartNull, GivesTheEmptyString) { EXPECT_EQ(paths::file_part(nullptr), ""); }

// ---- Size query ------------------------------------------------------------------------------

class SizeQuery : public ::testing::Test {
 protected:
  SizeQuery() {
    test::write_file(dir.file("abc.txt"), std::string("12345"));
    test::write_file(dir.file("empty"), std::string());
    fs::create_directory(dir.path() / "sub");
  }
  [[nodiscard]] std::int64_t size_of(const std::string& path) const { return paths::query_size(path.c_str()); }

  TempDir dir;
};

TEST_F(SizeQuery, FilesGiveTheirSize) {
  EXPECT_EQ(size_of(dir.file("abc.txt")), 5);
  EXPECT_EQ(size_of(dir.file("empty")), 0);
}

TEST_F(SizeQuery, DirectoriesGiveMinusTwoAlsoWithTrailingSeparators) {
  EXPECT_EQ(size_of(dir.file("sub")), paths::kDirectory);
  EXPECT_EQ(size_of(dir.file("sub") + kSep), paths::kDirectory);
  EXPECT_EQ(size_of(dir.file("sub") + kSep + kSep + kSep), paths::kDirectory);
  EXPECT_EQ(size_of(dir.path().string()), paths::kDirectory);
}

TEST_F(SizeQuery, TrailingSeparatorsAfterAFileAreDropped) {
  EXPECT_EQ(size_of(dir.file("abc.txt") + kSep), 5);
  EXPECT_EQ(size_of(dir.file("abc.txt") + kSep + kSep), 5);
}

TEST_F(SizeQuery, NothingThereGivesMinusOne) {
  EXPECT_EQ(size_of(dir.file("missing")), paths::kNoSuchFile);
  EXPECT_EQ(size_of(dir.file("missing") + kSep), paths::kNoSuchFile);
  EXPECT_EQ(size_of(dir.file("sub") + kSep + "missing"), paths::kNoSuchFile);
  EXPECT_EQ(size_of(""), paths::kNoSuchFile);
  EXPECT_EQ(paths::query_size(nullptr), paths::kNoSuchFile);
  // A path made only of separators is empty once they are dropped.
  EXPECT_EQ(size_of(kSep), paths::kNoSuchFile);
  EXPECT_EQ(size_of(kSep + kSep + kSep), paths::kNoSuchFile);
  EXPECT_EQ(size_of(dir.file(std::string(600, 'x'))), paths::kNoSuchFile);
}

TEST_F(SizeQuery, WildcardsMatchOnWindowsAndAreOrdinaryCharactersElsewhere) {
  const std::int64_t expected = test::windows_build() ? 5 : paths::kNoSuchFile;
  EXPECT_EQ(size_of(dir.file("ab?.txt")), expected);
  EXPECT_EQ(size_of(dir.file("*.txt")), expected);
  if (!test::windows_build()) {
    test::write_file(dir.file("a*"), std::string("xy"));
    EXPECT_EQ(size_of(dir.file("a*")), 2);
  }
}

TEST_F(SizeQuery, DriveFormsOnWindows) {
  if (!test::windows_build()) GTEST_SKIP() << "drive forms arise on Windows only";
  EXPECT_EQ(size_of("C:"), paths::kDirectory);
  EXPECT_EQ(size_of("C:\\"), paths::kDirectory);
}

// A path the system takes whole is asked for whole; a longer one is never cut to fit, so
// that a file named by its first kPathLimit characters is not taken for it.
TEST_F(SizeQuery, PathsAreNeverCut) {
  const std::string prefix = dir.file("");
  ASSERT_LT(prefix.size(), 200u);
  const std::string name(std::min<std::size_t>(platform::kPathLimit - prefix.size(), 250), 'n');
  test::write_file(prefix + name, std::string("abc"));
  EXPECT_EQ(size_of(prefix + name), 3);
  // Longer than the limit, with the file's path as the part that a cut would keep.
  std::string longer = prefix + name;
  while (longer.size() <= platform::kPathLimit) longer += test::native_separator() == '/' ? "/" : "\\";
  EXPECT_EQ(size_of(longer), paths::kNoSuchFile);
  EXPECT_EQ(size_of(prefix + name + std::string(platform::kPathLimit, 'z')), paths::kNoSuchFile);
}

// ---- Deletion ----------------------------------------------------------------------------------

TEST(DeleteFile, RemovesTheFileAndIgnoresFailures) {
  TempDir dir;
  test::write_file(dir.file("gone"), std::string("x"));
  paths::delete_file(dir.file("gone").c_str());
  EXPECT_FALSE(test::file_exists(dir.file("gone")));
  paths::delete_file(dir.file("gone").c_str());  // already missing
  paths::delete_file(nullptr);
  paths::delete_file("");
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ---- Current directory and normalisation ---------------------------------------------------------

TEST(CurrentDirectory, EndsInTheSeparatorOfTheSystem) {
  TempDir dir;
  const test::ScopedCurrentDirectory cwd(dir.path());
  const std::string expected = fs::current_path().string() + kSep;
  EXPECT_EQ(paths::current_directory(), expected);
  EXPECT_EQ(paths::normalise_directory(""), expected);
}

TEST(CurrentDirectory, RootAlreadyEndsInASeparator) {
  const fs::path root = fs::current_path().root_path();
  const test::ScopedCurrentDirectory cwd(root);
  EXPECT_EQ(paths::current_directory(), root.string());
}

struct NormaliseCase {
  const char* directory;
  const char* windows;
  const char* posix;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const NormaliseCase& c, std::ostream* os) { *os << '"' << c.directory << '"'; }

class NormaliseDirectory : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseDirectory, EndsInASeparatorAndKeepsOneGiven) {
  const NormaliseCase& c = GetParam();
  EXPECT_EQ(paths::normalise_directory(c.directory), test::windows_build() ? c.windows : c.posix);
}

INSTANTIATE_TEST_SUITE_P(Examples, NormaliseDirectory,
                         ::testing::Values(NormaliseCase{"C:\\out", "C:\\out\\", "C:\\out/"},
                                           NormaliseCase{"C:\\out/", "C:\\out/", "C:\\out/"},
                                           NormaliseCase{"C:\\out\\", "C:\\out\\", "C:\\out\\/"},
                                           NormaliseCase{"out", "out\\", "out/"},
                                           NormaliseCase{"out//", "out//", "out//"},
                                           NormaliseCase{"out ", "out \\", "out /"},
                                           NormaliseCase{"/", "/", "/"}));

// ---- Trimmed directory creation ---------------------------------------------------------------

struct TrimCase {
  const char* suffix;       // written after "made"
  const char* windows;      // the directory expected on Windows
  const char* posix;        // and elsewhere
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const TrimCase& c, std::ostream* os) { *os << '"' << c.suffix << '"'; }

class TrimmedCreation : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimmedCreation, CreatesTheDirectoryNamedWithoutTrailingBlanksAndSeparators) {
  TempDir dir;
  const TrimCase& c = GetParam();
  paths::create_directory_trimmed((dir.file("made") + c.suffix).c_str());
  const std::string expected = test::windows_build() ? c.windows : c.posix;
  EXPECT_EQ(test::tree(dir.path()), std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(Suffixes, TrimmedCreation,
                         ::testing::Values(TrimCase{"", "made/", "made/"}, TrimCase{" ", "made/", "made/"},
                                           TrimCase{"/", "made/", "made/"}, TrimCase{" / // ", "made/", "made/"},
                                           TrimCase{"\\", "made/", "made\\/"},
                                           TrimCase{"\\ / ", "made/", "made\\/"},
                                           TrimCase{" x", "made x/", "made x/"}));

TEST(TrimmedCreationOnly, CreatesTheLastComponentAlone) {
  TempDir dir;
  paths::create_directory_trimmed((dir.file("missing") + kSep + "made").c_str());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(TrimmedCreationOnly, AcceptsAnExistingDirectoryAFileAndNull) {
  TempDir dir;
  fs::create_directory(dir.path() / "there");
  test::write_file(dir.file("there") + kSep + "f", std::string("x"));
  test::write_file(dir.file("file"), std::string("y"));
  paths::create_directory_trimmed(dir.file("there").c_str());
  paths::create_directory_trimmed(dir.file("file").c_str());
  paths::create_directory_trimmed(nullptr);
  EXPECT_EQ(test::tree(dir.path()), (std::vector<std::string>{"file", "there/", "there/f"}));
  EXPECT_EQ(test::read_text(dir.file("file")), "y");
}

TEST(TrimmedCreationOnly, APathLongerThanTheSystemTakesCreatesNothing) {
  TempDir dir;
  const std::string prefix = dir.file("");
  const std::string name(std::min<std::size_t>(200, platform::kPathLimit - prefix.size()), 'd');
  // Cut to the limit, this would name the directory prefix + name.
  std::string path = prefix + name;
  path += std::string(platform::kPathLimit - path.size(), ' ') + "tail";
  paths::create_directory_trimmed(path.c_str());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ---- Plain file names ------------------------------------------------------------------------

struct NameCase {
  const char* name;
  bool plain_on_windows;
  bool plain_elsewhere;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class PlainFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlainFileName, AcceptsOnlyNamesInsideADirectory) {
  const NameCase& c = GetParam();
  EXPECT_EQ(paths::is_plain_file_name(c.name), test::windows_build() ? c.plain_on_windows : c.plain_elsewhere)
      << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlainFileName,
    ::testing::Values(NameCase{"a.txt", true, true}, NameCase{"...", false, true}, NameCase{"a.", false, true},
                      NameCase{"a ", false, true}, NameCase{". .", false, true}, NameCase{" a", true, true}, NameCase{".hidden", true, true},
                      NameCase{"CONSOLE", true, true}, NameCase{"COM10", true, true}, NameCase{"LPT", true, true},
                      NameCase{"my con.txt", true, true}, NameCase{"", false, false}, NameCase{".", false, false},
                      NameCase{"..", false, false}, NameCase{"a/b", false, false}, NameCase{"a\\b", false, false},
                      NameCase{"/abs", false, false}, NameCase{"\\abs", false, false},
                      NameCase{"../evil", false, false}, NameCase{"..\\evil", false, false},
                      NameCase{"C:x", false, true}, NameCase{"x:stream", false, true}, NameCase{"CON", false, true},
                      NameCase{"con", false, true}, NameCase{"Con.txt", false, true}, NameCase{"PRN", false, true},
                      NameCase{"aux.tar.gz", false, true}, NameCase{"NUL", false, true},
                      NameCase{"nul.", false, true}, NameCase{"CON .txt", false, true},
                      NameCase{"COM1", false, true}, NameCase{"com9.log", false, true},
                      NameCase{"LPT1", false, true}, NameCase{"lpt9", false, true}, NameCase{"COM0", false, true},
                      NameCase{"CONIN$", false, true}, NameCase{"conout$.x", false, true},
                      NameCase{"COM\xB9", false, true}, NameCase{"lpt\xB3.txt", false, true}));

}  // namespace
}  // namespace mytarvo
