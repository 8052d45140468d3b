// Where UnPak and UnPakAll write: entry names that are not plain file names are never
// written, and output directories are normalised (final separator, current directory)
// and created with trailing blanks and separators trimmed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/library.hpp"
#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::concat;
using test::stored_entry;
using test::TempDir;
using Tree = std::vector<std::string>;

const std::string kSep(1, test::native_separator());

// Entry names and whether this build writes them.
struct NameCase {
  std::string name;
  bool written;
};

std::vector<NameCase> name_cases() {
  const bool windows = test::windows_build();
  std::vector<NameCase> cases = {
      {"", false},         {".", false},         {"..", false},       {"../evil", false},
      {"..\\evil", false}, {"sub/x", false},     {"sub\\x", false},   {"/abs", false},
      {"\\abs", false},    {"out/../../x", false}, {"plain", true},   {"...", !windows},
      {"dot.", !windows},  {"blank ", !windows},
  };
  for (const char* reserved : {"C:x", "c:\\x", "x:stream", "CON", "con", "Con.txt", "PRN", "AUX", "aux.tar.gz", "NUL",
                               "nul.", "COM1", "com9.log", "LPT1", "Lpt9.log", "COM0", "CONIN$"}) {
    // Names with "\" are refused everywhere; the others only where the system reserves them.
    const bool has_backslash = std::string(reserved).find('\\') != std::string::npos;
    cases.push_back({reserved, !windows && !has_backslash});
  }
  return cases;
}

class ExtractNames : public ::testing::Test {
 protected:
  void write_archive(const Bytes& entries) { test::write_file(archive, concat({test::kPakHeader, entries})); }

  TempDir dir;
  Library lib;
  const std::string archive = dir.file("a.pak");
  const std::string out = dir.file("out");
};

TEST_F(ExtractNames, UnPakAllWritesPlainNamesOnlyAndGoesOn) {
  Bytes entries;
  Tree expected = {"a.pak", "out/"};
  int n = 0;
  for (const NameCase& c : name_cases()) {
    const std::string content = "entry " + std::to_string(n++);
    entries = concat({entries, stored_entry(c.name, content), stored_entry("ok" + std::to_string(n), content)});
    expected.push_back("out/ok" + std::to_string(n));
    if (c.written) expected.push_back("out/" + c.name);
  }
  write_archive(entries);
  mytarvo::unpak_all(lib, archive.c_str(), out.c_str());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(test::tree(dir.path()), expected);
  EXPECT_EQ(test::read_text(out + kSep + "ok1"), "entry 0");
}

TEST_F(ExtractNames, UnPakOfANameThatIsNotPlainWritesNothing) {
  for (const NameCase& c : name_cases()) {
    fs::remove_all(out);
    write_archive(concat({stored_entry(c.name, "data"), stored_entry("plain", "p")}));
    const std::string result = mytarvo::unpak(lib, archive.c_str(), out.c_str(), c.name.c_str());
    if (c.written) {
      EXPECT_EQ(result, out + kSep + c.name);
      EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/", "out/" + c.name}));
    } else {
      EXPECT_EQ(result, "") << c.name;
      EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/"})) << c.name;
    }
  }
}

TEST_F(ExtractNames, PackedEntryWithANameThatIsNotPlainIsSkippedBySeeking) {
  write_archive(concat({test::packed_entry("../up", 8, test::kBlockAbab), test::packed_entry("ok", 8, test::kBlockAbab)}));
  mytarvo::unpak_all(lib, archive.c_str(), out.c_str());
  EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/", "out/ok"}));
  EXPECT_EQ(test::read_text(out + kSep + "ok"), "abababab");
}

// ---- Output directories ------------------------------------------------------------------------

TEST_F(ExtractNames, DirectoryWithoutAFinalSeparatorGetsTheSystemsOne) {
  write_archive(stored_entry("f", "x"));
  EXPECT_EQ(mytarvo::unpak(lib, archive.c_str(), out.c_str(), "f"), out + kSep + "f");
  EXPECT_EQ(test::read_text(out + kSep + "f"), "x");
}

TEST_F(ExtractNames, FinalSlashIsKeptAsGiven) {
  write_archive(stored_entry("f", "x"));
  const std::string given = out + "/";
  EXPECT_EQ(mytarvo::unpak(lib, archive.c_str(), given.c_str(), "f"), given + "f");
  EXPECT_EQ(test::read_text(out + kSep + "f"), "x");
  const std::string doubled = out + "//";
  mytarvo::unpak_all(lib, archive.c_str(), doubled.c_str());
  EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/", "out/f"}));
}

TEST_F(ExtractNames, FinalBackslashIsASeparatorOnWindowsOnly) {
  write_archive(stored_entry("f", "x"));
  const std::string given = out + "\\";
  const std::string result = mytarvo::unpak(lib, archive.c_str(), given.c_str(), "f");
  if (test::windows_build()) {
    EXPECT_EQ(result, given + "f");
    EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/", "out/f"}));
  } else {
    // An ordinary character here: the directory is "out\" and the file goes inside it.
    EXPECT_EQ(result, given + "/f");
    EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out\\/", "out\\/f"}));
  }
}

TEST_F(ExtractNames, TrailingBlanksAndSeparatorsAreTrimmedWhenTheDirectoryIsMade) {
  write_archive(stored_entry("f", "x"));
  const std::string given = out + " / ";
  // The path is reported exactly when the file could be written there: Windows may read
  // "out /" as out (Wine does not); elsewhere no directory "out /" exists.
  const std::string result = mytarvo::unpak(lib, archive.c_str(), given.c_str(), "f");
  const bool written = test::windows_build() && test::file_exists(given + kSep + "f");
  EXPECT_EQ(result, written ? given + kSep + "f" : "");
  const Tree made = test::tree(dir.path());
  EXPECT_NE(std::find(made.begin(), made.end(), "out/"), made.end());
  // Windows itself ignores the blank in "out /"; elsewhere no directory of that name exists.
  if (!test::windows_build()) {
    EXPECT_EQ(made, (Tree{"a.pak", "out/"}));
  }
}

TEST_F(ExtractNames, EmptyOrNullDirectoryIsTheCurrentOne) {
  write_archive(concat({stored_entry("f", "x"), stored_entry("g", "y")}));
  fs::create_directory(out);
  const test::ScopedCurrentDirectory cwd(out);
  const std::string prefix = fs::current_path().string() + kSep;
  EXPECT_EQ(mytarvo::unpak(lib, archive.c_str(), "", "f"), prefix + "f");
  EXPECT_EQ(mytarvo::unpak(lib, archive.c_str(), nullptr, "g"), prefix + "g");
  EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/", "out/f", "out/g"}));
  fs::remove(out + kSep + "f");
  fs::remove(out + kSep + "g");
  mytarvo::unpak_all(lib, archive.c_str(), nullptr);
  mytarvo::unpak_all(lib, archive.c_str(), "");
  EXPECT_EQ(test::tree(dir.path()), (Tree{"a.pak", "out/", "out/f", "out/g"}));
  EXPECT_EQ(test::read_text(out + kSep + "g"), "y");
}

}  // namespace
}  // namespace mytarvo
