// Path services: file part, size query, deletion, current directory, trimmed directory
// creation, normalisation of output directories and the plain file name test.
#include <gtest/gtest.h>

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

struct FilePartCase {
  const char* path;
  const char* part;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const FilePartCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class FilePart : public ::testing::TestWithParam<FilePartCase> {};

TEST_P(FilePart, TakesTheNameAfterTheLastSeparator) {
  EXPECT_EQ(paths::file_part(GetParam().path), GetParam().part) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FilePart,
    ::testing::Values(FilePartCase{"C:\\dir\\file.txt", "file.txt"}, FilePartCase{"\"C:\\dir\\file.txt\"", "file.txt"},
                      FilePartCase{"dir/sub/name.ext", "name.ext"}, FilePartCase{"dir/sub/", ""},
                      FilePartCase{"C:\\dir\\", ""}, FilePartCase{"C:name", "C:name"}, FilePartCase{"name", "name"},
                      FilePartCase{"", ""}, FilePartCase{"a\\b/c\\d", "d"}, FilePartCase{"\"bare name\"", "bare name"},
                      FilePartCase{"\"unclosed", "unclosed"}, FilePartCase{"\"", ""}, FilePartCase{"a\"b", "a"},
                      // The part ends at the first quote at or after its start.
                      FilePartCase{"dir\\\"x\"", ""}, FilePartCase{"\"a b\"\\c", "c"},
                      FilePartCase{"/", ""}, FilePartCase{"..", ".."}));

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

TEST_F(SizeQuery, PathsAreCutTo260Characters) {
  if (test::windows_build()) GTEST_SKIP() << "the system's own path limit is 259 characters";
  // A file whose full path is exactly 260 characters long, asked for with more behind it.
  const std::string prefix = dir.file("");
  ASSERT_LT(prefix.size(), 200u);
  const std::string path = prefix + std::string(paths::kMaxPath - prefix.size(), 'n');
  ASSERT_EQ(path.size(), paths::kMaxPath);
  test::write_file(path, std::string("abc"));
  EXPECT_EQ(size_of(path + "zzzz"), 3);
  EXPECT_EQ(size_of(path.substr(0, path.size() - 1) + "m"), paths::kNoSuchFile);
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

TEST(TrimmedCreationOnly, CutsThePathTo260Characters) {
  if (test::windows_build()) GTEST_SKIP() << "the system refuses directory paths this long";
  TempDir dir;
  const std::string prefix = dir.file("");
  const std::string name(paths::kMaxPath - prefix.size(), 'd');
  paths::create_directory_trimmed((prefix + name + "tail").c_str());
  EXPECT_EQ(test::tree(dir.path()), std::vector<std::string>{name + "/"});
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
