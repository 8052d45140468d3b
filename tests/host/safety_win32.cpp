// The C functions on Windows where they used to extract into the root of the drive, read
// names byte by byte in a double-byte code page, store names their own extraction refuses,
// lose an archive held with delete sharing, and fill the disk with a damaged entry's zeros.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "host/c_api.hpp"
#include "support/paths.hpp"

namespace mytarvo {
namespace {

namespace fs = std::filesystem;
using namespace test;  // kHeaderLine, stored, TempDir

using WindowsSafety = test::HostTest;

// ---- No current directory ---------------------------------------------------------------------

TEST_F(WindowsSafety, WithoutACurrentDirectoryNothingIsExtracted) {
  test::write_file(archive, kHeaderLine + stored("mytarvo-root-probe.txt", "x"));
  // A current directory longer than the ANSI interfaces can report.
  std::wstring deep = L"\\\\?\\" + dir.path().wstring();
  while (deep.size() < 300) {
    deep += L"\\" + std::wstring(60, L'c');
    CreateDirectoryW(deep.c_str(), nullptr);
  }
  wchar_t previous[MAX_PATH * 4];
  GetCurrentDirectoryW(MAX_PATH * 4, previous);
  if (!SetCurrentDirectoryW(deep.c_str() + 4)) GTEST_SKIP() << "the system refuses so long a current directory";
  char room[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, room);
  const std::string result = api.unpak(archive.c_str(), "", "mytarvo-root-probe.txt", nullptr);
  api.unpak_all(archive.c_str(), nullptr, nullptr);
  SetCurrentDirectoryW(previous);
  ASSERT_TRUE(length == 0 || length >= MAX_PATH) << "the current directory still fits";
  EXPECT_EQ(result, "");
  const bool at_root = fs::exists("\\mytarvo-root-probe.txt");
  if (at_root) fs::remove("\\mytarvo-root-probe.txt");
  EXPECT_FALSE(at_root);
}

// ---- Names in a double-byte code page -----------------------------------------------------------

// ソフト.txt in code page 932: the second byte of ソ is 0x5C, the byte of "\".
const std::string kSoftware = "\x83\x5C\x83\x74\x83\x67.txt";

platform::NameRules rules_for(unsigned code_page) {
  platform::NameRules rules = platform::name_rules();
  rules.code_page = code_page;
  return rules;
}

TEST(DoubleByteNames, AreSplitAndCheckedByCharacters) {
  const platform::NameRules sjis = rules_for(932);
  EXPECT_EQ(paths::file_part(("C:\\dir\\" + kSoftware).c_str(), sjis), kSoftware);
  EXPECT_EQ(paths::file_part(("dir/" + kSoftware).c_str(), sjis), kSoftware);
  EXPECT_EQ(paths::file_part(("\x83\x5C\\" + kSoftware).c_str(), sjis), kSoftware);
  EXPECT_EQ(paths::stored_name(("C:\\dir\\" + kSoftware).c_str(), sjis), kSoftware);
  EXPECT_TRUE(paths::is_plain_file_name(kSoftware, sjis));
  // A lone lead byte at the end: the system would read another name (a device here).
  EXPECT_FALSE(paths::is_plain_file_name("COM1\x81", sjis));
  EXPECT_FALSE(paths::is_plain_file_name("a\x81", sjis));
  EXPECT_EQ(paths::stored_name("C:\\dir\\COM1\x81", sjis), "");
  // A "\" that is a character of its own still separates.
  EXPECT_FALSE(paths::is_plain_file_name("a\\b", sjis));
  EXPECT_FALSE(paths::is_plain_file_name("\x83\x5C\\b", sjis));
  // Read byte by byte (a single-byte code page), the same bytes hold a separator.
  EXPECT_EQ(paths::file_part(("C:\\dir\\" + kSoftware).c_str(), rules_for(1252)), "\x83\x74\x83\x67.txt");
}

TEST(DoubleByteNames, RoundTripInTheProcessCodePage) {
  if (GetACP() != 932) GTEST_SKIP() << "run with code page 932 (a Japanese locale) only";
  test::CApi api;
  ASSERT_TRUE(api.ready());
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  const std::string source = dir.file("") + kSoftware;
  const HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "kana", 4, &written, nullptr);
  CloseHandle(file);
  api.create(archive.c_str());
  api.add(archive.c_str(), source.c_str(), nullptr, 0);
  EXPECT_EQ(test::read_text(archive), kHeaderLine + stored(kSoftware, "kana"));
  const std::string out = dir.file("out");
  EXPECT_EQ(std::string(api.unpak(archive.c_str(), out.c_str(), kSoftware.c_str(), nullptr)), out + "\\" + kSoftware);
  EXPECT_NE(GetFileAttributesA((out + "\\" + kSoftware).c_str()), INVALID_FILE_ATTRIBUTES);
}

// ---- Names AddToPak stores ------------------------------------------------------------------------

TEST_F(WindowsSafety, StoredNamesAreTheNamesTheFilesHaveAndAllExtract) {
  test::write_file(dir.file("a.txt"), std::string("aaa"));
  api.create(archive.c_str());
  const std::string base = dir.file("");
  // Trailing periods and blanks are dropped by the system: these all open a.txt.
  api.add(archive.c_str(), (base + "a.txt.").c_str(), nullptr, 0);
  api.add(archive.c_str(), (base + "a.txt  ").c_str(), nullptr, 0);
  // Drive-relative: a.txt in the current directory of the drive.
  {
    const test::ScopedCurrentDirectory cwd(dir.path());
    const std::string drive = fs::current_path().string().substr(0, 2);
    ASSERT_EQ(drive[1], ':');
    api.add(archive.c_str(), (drive + "a.txt").c_str(), nullptr, 0);
  }
  // Devices are not files.
  for (const char* device : {"NUL", "COM1", "CON"}) api.add(archive.c_str(), device, nullptr, 0);
  api.add(archive.c_str(), (base + "nul.txt").c_str(), nullptr, 0);
  const std::string entry = stored("a.txt", "aaa");
  EXPECT_EQ(test::read_text(archive), kHeaderLine + entry + entry + entry);
  api.unpak_all(archive.c_str(), dir.file("out").c_str(), nullptr);
  EXPECT_EQ(test::tree(dir.path() / "out"), (std::vector<std::string>{"a.txt"}));
}

// ---- A new archive over a held one -----------------------------------------------------------------

TEST_F(WindowsSafety, ANewArchiveOverOneHeldWithDeleteSharingLeavesItAsItWas) {
  make_archive({{"x.txt", "hello"}});
  const std::string before = test::read_text(archive);
  const HANDLE holder = CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  api.create(archive.c_str());
  CloseHandle(holder);
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ(test::read_text(archive), before);
  // Once free, the path takes a new archive.
  api.create(archive.c_str());
  EXPECT_EQ(test::read_text(archive), kHeaderLine);
}

// ---- A damaged entry's zeros take no disk space --------------------------------------------------------

// True when the file system marks files sparse on request and reports the mark.
bool sparse_files_supported(const TempDir& dir) {
  const std::string probe = dir.file("sparse-probe");
  const HANDLE h = CreateFileA(probe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const bool marked = DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr) != 0;
  CloseHandle(h);
  const DWORD attributes = GetFileAttributesA(probe.c_str());
  DeleteFileA(probe.c_str());
  return marked && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
}

TEST_F(WindowsSafety, TheZeroTailOfADamagedEntryIsSparse) {
  if (!sparse_files_supported(dir)) GTEST_SKIP() << "the file system here keeps no sparse files";
  // A stored entry that claims 64 MiB and holds 5 bytes.
  test::write_file(archive, kHeaderLine + "big.bin\r\n" + std::string(1, '\0') + "67108864\r\nhello");
  const std::string out = dir.file("out");
  ASSERT_EQ(std::string(api.unpak(archive.c_str(), out.c_str(), "big.bin", nullptr)), out + "\\big.bin");
  const std::string output = out + "\\big.bin";
  EXPECT_EQ(fs::file_size(output), 67108864u);
  EXPECT_NE(GetFileAttributesA(output.c_str()) & FILE_ATTRIBUTE_SPARSE_FILE, 0u);
  EXPECT_EQ(test::read_text(output).substr(0, 6), std::string("hello") + '\0');
}

}  // namespace
}  // namespace mytarvo
