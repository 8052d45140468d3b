// The public C++ interface of mytarvo/archive.hpp and mytarvo/files.hpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "mytarvo/archive.hpp"
#include "mytarvo/files.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::concat;
using test::kBlock64A;
using test::kBlockAbab;
using test::kPakHeader;
using test::packed_entry;
using test::stored_entry;
using test::to_bytes;

class ArchiveApi : public ::testing::Test {
 protected:
  std::string write(std::string_view name, const Bytes& content) const {
    test::write_file(dir.file(name), content);
    return dir.file(name);
  }
  std::string archive(const Bytes& entries) const { return write("t.pak", concat({kPakHeader, entries})); }

  test::TempDir dir;
};

TEST_F(ArchiveApi, ReaderNeverCreatesAMissingArchive) {
  const std::string missing = dir.file("missing.pak");
  EXPECT_THROW(ArchiveReader{missing}, ArchiveError);
  EXPECT_FALSE(test::file_exists(missing));
  EXPECT_THROW(ArchiveAppender{missing}, ArchiveError);
  EXPECT_FALSE(test::file_exists(missing));
  try {
    ArchiveReader reader(dir.path().string());
    FAIL() << "a directory opened as an archive";
  } catch (const ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find("is a directory"), std::string::npos) << e.what();
  }
}

TEST_F(ArchiveApi, ReaderYieldsEveryEntryWithItsOffsets) {
  ArchiveReader reader(archive(concat({stored_entry("a.txt", "hello"), packed_entry("b", 64, kBlock64A),
                                       stored_entry("a.txt", "again")})));
  EXPECT_TRUE(reader.has_header());
  ASSERT_EQ(reader.entries().size(), 3u);
  const ArchiveEntry& b = reader.entries()[1];
  EXPECT_EQ(b.name, "b");
  EXPECT_TRUE(b.packed());
  EXPECT_EQ(b.file_size, 64u);
  EXPECT_EQ(b.packed_size, 18u);
  EXPECT_EQ(b.header_offset, 40u);
  EXPECT_EQ(b.data_offset, 40u + 3 + 1 + 4 + 4);
  EXPECT_EQ(reader.find_first("a.txt"), &reader.entries()[0]);
  EXPECT_EQ(reader.find_first("A.TXT"), nullptr);
  EXPECT_EQ(reader.read(b).bytes, Bytes(64, 0x41));
  EXPECT_EQ(reader.read(reader.entries()[2]).bytes, to_bytes("again"));
  EXPECT_FALSE(reader.bad_tail().has_value());
}

struct DamageCase {
  const char* label;
  Bytes entry;
  Damage damage;
};

class ReaderDamage : public ArchiveApi, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(ReaderDamage, IsFoundAndNoContentIsGiven) {
  ArchiveReader reader(archive(GetParam().entry));
  ASSERT_EQ(reader.entries().size(), 1u);
  const EntryData data = reader.read(reader.entries()[0]);
  EXPECT_EQ(data.damage, GetParam().damage) << describe(data.damage);
  EXPECT_EQ(reader.verify(reader.entries()[0]), GetParam().damage);
  if (data.damage != Damage::None) {
    EXPECT_TRUE(data.bytes.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderDamage,
    ::testing::Values(
        DamageCase{"intact", packed_entry("x", 8, kBlockAbab), Damage::None},
        DamageCase{"emptyPacked", packed_entry("x", 0, {}), Damage::None},
        DamageCase{"emptyStored", stored_entry("x", ""), Damage::None},
        DamageCase{"storedCutShort", concat({test::line("x"), {0}, test::line("10"), to_bytes("abc")}),
                   Damage::CutShort},
        DamageCase{"packedCutShort", packed_entry("x", 8, Bytes(kBlockAbab.begin(), kBlockAbab.end() - 1), 18),
                   Damage::CutShort},
        DamageCase{"noMagic", packed_entry("x", 8, test::damaged(kBlockAbab, 0, 1, 0x52)), Damage::NotABlock},
        DamageCase{"tooShortForABlock", packed_entry("x", 8, to_bytes("QZ")), Damage::NotABlock},
        DamageCase{"largerEntry", packed_entry("x", 9, kBlockAbab), Damage::SizeMismatch},
        DamageCase{"smallerEntry", packed_entry("x", 7, kBlockAbab), Damage::SizeMismatch},
        DamageCase{"checksum", packed_entry("x", 8, test::damaged(kBlockAbab, 7, 1, 0)), Damage::BadBlock},
        DamageCase{"stream", packed_entry("x", 8, test::damaged(kBlockAbab, 10, 8, 0xFF)), Damage::BadBlock}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ArchiveApi, NegativeSizeIsTheBadTail) {
  ArchiveReader reader(archive(concat({stored_entry("a", "a"), test::line("neg"), {1}, test::line("5"),
                                       test::line("-1"), stored_entry("hidden", "h")})));
  ASSERT_EQ(reader.entries().size(), 1u);
  ASSERT_TRUE(reader.bad_tail().has_value());
  EXPECT_EQ(reader.bad_tail()->name, "neg");
  EXPECT_EQ(reader.bad_tail()->header_offset, 32u);
}

TEST_F(ArchiveApi, HeaderlessFilesAreReadAllTheSame) {
  ArchiveReader reader(write("odd.pak", concat({to_bytes("Tarvo Pak 2\r\n"), stored_entry("a", "a")})));
  EXPECT_FALSE(reader.has_header());
  EXPECT_EQ(reader.entries().size(), 1u);
  EXPECT_FALSE(ArchiveReader(write("empty.pak", {})).has_header());
}

// Sources with every outcome of the packing decision.
std::vector<std::pair<std::string, Bytes>> sample_sources() {
  Bytes text;
  for (int i = 0; i < 400; ++i) {
    for (char c : std::string("entry ") + std::to_string(i % 37) + "\r\n") text.push_back(static_cast<std::uint8_t>(c));
  }
  Bytes noise(3000);
  std::uint32_t state = 5;
  for (auto& b : noise) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  return {{"text.txt", text}, {"noise", noise}, {"empty", {}}, {"tiny", to_bytes("abc")}, {"zeros", Bytes(100, 0)}};
}

TEST_F(ArchiveApi, PreparedEntriesAppendExactlyWhatAddToPakAppends) {
  for (const Packing packing : {Packing::Pack, Packing::Store}) {
    Library lib;
    const std::string by_library = dir.file("library.pak");
    const std::string by_api = dir.file("api.pak");
    create_pak_file(by_library.c_str());
    create_archive(by_api);
    EXPECT_EQ(test::read_file(by_api), kPakHeader);
    ArchiveAppender appender(by_api);
    EXPECT_TRUE(appender.has_header());
    for (const auto& [name, content] : sample_sources()) {
      const std::string source = write(name, content);
      add_to_pak(lib, by_library.c_str(), source.c_str(), nullptr, packing == Packing::Pack ? 1 : 0);
      const PreparedEntry entry = prepare_entry(source, packing);
      ASSERT_TRUE(entry.ok()) << entry.error;
      EXPECT_EQ(entry.name, name);
      EXPECT_TRUE(appender.append(entry));
    }
    EXPECT_EQ(test::read_file(by_api), test::read_file(by_library));
  }
}

TEST_F(ArchiveApi, PreparingOnManyThreadsGivesTheSameEntries) {
  std::vector<std::string> sources;
  for (const auto& [name, content] : sample_sources()) sources.push_back(write(name, content));
  std::vector<PreparedEntry> alone;
  for (const auto& source : sources) alone.push_back(prepare_entry(source, Packing::Pack));
  std::vector<PreparedEntry> together(sources.size());
  std::vector<std::uint32_t> reported(sources.size(), 0);
  {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      threads.emplace_back([&, i] {
        together[i] = prepare_entry(sources[i], Packing::Pack, [&, i](std::uint32_t p) { reported[i] = p; });
      });
    }
    for (auto& t : threads) t.join();
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    EXPECT_EQ(together[i].flag, alone[i].flag) << sources[i];
    EXPECT_EQ(together[i].data, alone[i].data) << sources[i];
  }
  EXPECT_EQ(reported[0], together[0].file_size);  // packing ends by reporting the whole input
}

TEST_F(ArchiveApi, SourcesThatCannotBeAddedSayWhy) {
  std::filesystem::create_directory(dir.file("folder"));
  for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
           {dir.file("missing"), "no such file"}, {dir.file("folder"), "is a directory"}, {"", "no such file"}}) {
    const PreparedEntry entry = prepare_entry(path, Packing::Pack);
    EXPECT_FALSE(entry.ok()) << path;
    EXPECT_EQ(entry.error, reason) << path;
  }
}

TEST_F(ArchiveApi, AppendingRefusesAnEntryWhoseSizesDisagree) {
  create_archive(dir.file("a.pak"));
  ArchiveAppender appender(dir.file("a.pak"));
  PreparedEntry entry;
  entry.name = "x";
  entry.file_size = 10;
  entry.data = to_bytes("short");
  EXPECT_FALSE(appender.append(entry));
  EXPECT_EQ(test::read_file(dir.file("a.pak")), kPakHeader);
}

TEST_F(ArchiveApi, ExtractionWritesCompleteFilesOnly) {
  const Bytes bad_checksum = test::damaged(kBlockAbab, 7, 1, 0);
  ArchiveReader reader(archive(concat({stored_entry("a", "new"), packed_entry("bad", 8, bad_checksum),
                                       stored_entry("../up", "x"), stored_entry("blocked", "x")})));
  const std::string out = dir.file("out");
  ASSERT_TRUE(files::create_directories(out));
  test::write_file(files::join(out, "a"), "old");
  std::filesystem::create_directories(files::join(out, "blocked") + "/x");
  const auto& e = reader.entries();
  EXPECT_EQ(extract_entry(reader, e[0], out, true).outcome, ExtractOutcome::Kept);
  EXPECT_EQ(test::read_text(files::join(out, "a")), "old");
  const ExtractResult written = extract_entry(reader, e[0], out, false);
  EXPECT_EQ(written.outcome, ExtractOutcome::Written);
  EXPECT_EQ(written.path, files::join(out, "a"));
  EXPECT_EQ(test::read_text(written.path), "new");
  const ExtractResult bad = extract_entry(reader, e[1], out, false);
  EXPECT_EQ(bad.outcome, ExtractOutcome::Damaged);
  EXPECT_EQ(bad.damage, Damage::BadBlock);
  EXPECT_EQ(extract_entry(reader, e[2], out, false).outcome, ExtractOutcome::Unsafe);
  EXPECT_EQ(extract_entry(reader, e[3], out, false).outcome, ExtractOutcome::WriteFailed);
  EXPECT_EQ(test::tree(out), (std::vector<std::string>{"a", "blocked/", "blocked/x/"}));
}

TEST(UnsafeNames, AreThoseTheLibraryRefusesToExtract) {
  for (const char* name : {"", ".", "..", "a/b", "../x", "/abs", "a\\b", "..\\x"}) {
    EXPECT_TRUE(is_unsafe_entry_name(name)) << name;
  }
  for (const char* name : {"a.txt", "...x", "name with spaces"}) EXPECT_FALSE(is_unsafe_entry_name(name)) << name;
  EXPECT_EQ(is_unsafe_entry_name("CON"), test::windows_build());
}

TEST_F(ArchiveApi, FileServices) {
  EXPECT_EQ(files::join("", "n"), "n");
  EXPECT_EQ(files::join("d/", "n"), "d/n");
  EXPECT_EQ(files::join("d", "n"), std::string("d") + test::native_separator() + "n");
  EXPECT_EQ(files::file_part("x/y/z.txt"), "z.txt");
  const std::string deep = files::join(files::join(dir.path().string(), "p"), "q");
  EXPECT_TRUE(files::create_directories(deep + "/r/"));
  EXPECT_EQ(files::kind_of(deep), files::PathKind::Directory);
  test::write_file(files::join(deep, "b"), "bb");
  test::write_file(files::join(deep, "a"), "");
  EXPECT_EQ(files::kind_of(files::join(deep, "a")), files::PathKind::File);
  EXPECT_EQ(files::size_of(files::join(deep, "b")), 2);
  EXPECT_EQ(files::kind_of(files::join(deep, "c")), files::PathKind::Missing);
  std::vector<files::Item> items;
  ASSERT_TRUE(files::list_directory(deep, items));
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].name, "a");
  EXPECT_EQ(items[1].name, "b");
  EXPECT_EQ(items[2].name, "r");
  EXPECT_EQ(items[2].kind, files::PathKind::Directory);
  EXPECT_FALSE(files::list_directory(files::join(deep, "c"), items));
  EXPECT_FALSE(files::create_directories(files::join(deep, "b")));  // a file is in the way
}

}  // namespace
}  // namespace mytarvo
