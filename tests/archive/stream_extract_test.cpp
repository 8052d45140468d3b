// Entries moved a piece at a time: UnPak and UnPakAll write, for every damaged or
// disagreeing block, exactly what decoding the whole block into a zero-filled buffer of
// the entry's size writes; the C++ reader streams in bounded pieces, stops at damage and
// decodes blocks that copy from farther back than the bounded history; stored sources are
// copied into the archive a chunk at a time, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/add_entry.hpp"
#include "archive/entry_stream.hpp"
#include "archive/library.hpp"
#include "archive/operations.hpp"
#include "archive/pak_builder.hpp"
#include "codec/block_decoder.hpp"
#include "mytarvo/archive.hpp"
#include "mytarvo/codec.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::concat;
using test::kBlockAbab;
using test::packed_entry;
using test::stored_entry;
using test::TempDir;
using test::to_bytes;

// Text-like bytes that pack well and hold matches all over the window.
Bytes text_like(std::size_t n, std::uint32_t seed) {
  static const char* const words[] = {"stream ", "block ", "archive ", "entry ", "window ", "piece ", "\n", "zero "};
  Bytes out;
  while (out.size() < n) {
    seed = seed * 1664525u + 1013904223u;
    const char* word = words[seed >> 29];
    out.insert(out.end(), word, word + std::strlen(word));
    if ((seed & 0xFF) == 7) out.push_back(static_cast<std::uint8_t>(seed >> 8));
  }
  out.resize(n);
  return out;
}

Bytes pseudo_random(std::size_t n, std::uint32_t seed) { return test::noise(n, seed); }

Bytes pack(const Bytes& data) {
  Bytes block(data.size());
  block.resize(pack_block(data, block, 9));
  return block;
}

// What extraction wrote before it streamed: the block (cut to what the archive holds plus
// 1024 zero bytes) decoded whole into a zero-filled buffer of the entry's file size,
// whatever the verdict.
Bytes whole_block_reference(const Bytes& archive_tail, std::size_t packed_size, std::size_t file_size) {
  Bytes block(std::min(packed_size, archive_tail.size() + 1024), 0);
  std::copy_n(archive_tail.begin(), std::min(block.size(), archive_tail.size()), block.begin());
  Bytes out(file_size, 0);
  if (!block.empty() && !out.empty()) {
    [[maybe_unused]] const auto result = codec::decode(block.data(), block.size(), out.data(), out.size());
  }
  return out;
}

// Where two outputs first differ, for a readable failure.
std::string first_difference(const Bytes& got, const Bytes& want) {
  if (got == want) return "same";
  const auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  const auto index = at.first - got.begin();
  return "sizes " + std::to_string(got.size()) + "/" + std::to_string(want.size()) + ", first difference at " +
         std::to_string(index);
}

void put_le32(Bytes& block, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) block.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// One damaged or disagreeing packed entry: the block as stored, the sizes its header lines
// claim, and how many bytes of it the archive still holds (the archive ends there).
struct DamageCase {
  const char* what;
  Bytes block;
  std::size_t file_size;
  std::size_t packed_size;
};

std::vector<DamageCase> damage_cases() {
  const Bytes data = text_like(200000, 3);  // beyond the bounded history
  const Bytes good = pack(data);
  const std::size_t n = good.size();
  const auto flipped = [&](std::size_t at, std::uint8_t mask) {
    Bytes b = good;
    b.at(at) ^= mask;
    return b;
  };
  const auto with_size = [&](std::uint32_t size, bool unverified) {
    Bytes b = good;
    put_le32(b, 2, size);
    if (unverified) put_le32(b, 6, 0);
    return b;
  };
  const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n / 2));
  // Unverified, and ending early at an end marker made of zero bits.
  Bytes short_unverified = concat({cut, Bytes(64, 0)});
  put_le32(short_unverified, 6, 0);
  return {
      {"intact", good, data.size(), n},
      {"magic", flipped(0, 0x01), data.size(), n},
      {"second magic byte", flipped(1, 0x80), data.size(), n},
      {"checksum", flipped(7, 0x10), data.size(), n},
      {"stream start", flipped(12, 0x40), data.size(), n},
      {"stream middle", flipped(n / 2, 0x08), data.size(), n},
      {"stream end", flipped(n - 3, 0x02), data.size(), n},
      {"archive ends mid-block", cut, data.size(), n},
      {"packed size short", good, data.size(), n - 40},
      {"header claims fewer", with_size(150000, false), data.size(), n},
      {"header claims more", with_size(250000, false), data.size(), n},
      {"header claims more, unverified", with_size(250000, true), data.size(), n},
      {"entry smaller than block", good, 120000, n},
      {"entry smaller, unverified", with_size(200000, true), 120000, n},
      {"entry larger than block", good, 300000, n},
      {"entry larger, unverified", with_size(200000, true), 300000, n},
      {"unverified, ends short", short_unverified, data.size(), short_unverified.size()},
      {"header only", Bytes(good.begin(), good.begin() + 10), data.size(), 10},
      {"shorter than a header", Bytes(good.begin(), good.begin() + 7), data.size(), 7},
      {"no block, sized entry", {}, 5000, 0},
      {"size 0 entry", good, 0, n},
  };
}

class DamagedEntries : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedEntries, UnPakWritesWhatWholeBlockDecodingWrote) {
  const DamageCase& c = GetParam();
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  const Bytes entry = packed_entry("e", static_cast<std::int64_t>(c.file_size), c.block,
                                   static_cast<std::int64_t>(c.packed_size));
  test::write_file(archive, concat({test::kPakHeader, entry}));
  const Bytes expected = whole_block_reference(c.block, c.packed_size, c.file_size);

  Library lib;
  const std::string out = dir.file("one");
  ASSERT_NE(std::string(unpak(lib, archive.c_str(), out.c_str(), "e")), "");
  EXPECT_EQ(first_difference(test::read_file(out + test::native_separator() + "e"), expected), "same");
  const std::string all = dir.file("all");
  unpak_all(lib, archive.c_str(), all.c_str());
  EXPECT_EQ(first_difference(test::read_file(all + test::native_separator() + "e"), expected), "same");
}

TEST_P(DamagedEntries, ReaderAgreesWithWholeBlockDecoding) {
  const DamageCase& c = GetParam();
  if (c.packed_size != c.block.size() || c.block.size() < 14) GTEST_SKIP() << "judged from the header alone";
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  test::write_file(archive, concat({test::kPakHeader, packed_entry("e", static_cast<std::int64_t>(c.file_size),
                                                                   c.block)}));
  ArchiveReader reader(archive);
  const EntryData data = reader.read(reader.entries().at(0));
  Bytes whole(c.file_size, 0);
  const bool same_size = block_unpacked_size(c.block) == c.file_size;
  const bool decodes =
      same_size && (c.file_size == 0 || decode_block(c.block, whole) == c.file_size);
  EXPECT_EQ(data.damage == Damage::None, decodes);
  if (decodes) {
    EXPECT_EQ(data.bytes, whole);
  }
  EXPECT_EQ(reader.verify(reader.entries().at(0)), data.damage);
}

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.what; }

INSTANTIATE_TEST_SUITE_P(Cases, DamagedEntries, ::testing::ValuesIn(damage_cases()));

// Byte-exact outputs of small damaged entries, as whole-block decoding wrote them.
TEST(DamagedEntryVectors, UnPakOutputs) {
  struct Vector {
    Bytes entry;
    Bytes output;
  };
  Bytes wrong_sum = kBlockAbab;
  wrong_sum.at(6) ^= 1;
  Bytes broken = kBlockAbab;
  broken.at(13) = 0xFF;  // the long match becomes a stream that runs out
  const std::vector<Vector> vectors = {
      {packed_entry("e", 8, wrong_sum), to_bytes("abababab")},
      {packed_entry("e", 12, kBlockAbab), concat({to_bytes("abababab"), Bytes(4, 0)})},
      {packed_entry("e", 5, kBlockAbab), Bytes(5, 0)},  // verified, claims more: not decoded
      {packed_entry("e", 6, test::damaged(kBlockAbab, 0, 1, 0x52)), Bytes(6, 0)},
      {packed_entry("e", 8, broken), whole_block_reference(broken, broken.size(), 8)},
      {packed_entry("e", 8, kBlockAbab, 400), concat({to_bytes("abababab")})},
  };
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    TempDir dir;
    test::write_file(dir.file("a.pak"), concat({test::kPakHeader, vectors[i].entry}));
    Library lib;
    unpak_all(lib, dir.file("a.pak").c_str(), dir.file("out").c_str());
    EXPECT_EQ(test::read_file(dir.file("out") + test::native_separator() + "e"), vectors[i].output) << "vector " << i;
  }
}

// A block packed with a window far beyond what archives use: copies reach 300000 bytes
// back, past the bounded history, so the first pass fails and the second, with the whole
// history, decodes it.
Bytes far_reaching_block(const Bytes& data) {
  Bytes block(data.size());
  block.resize(encode_block(
      data, block, 1u << 20, [](std::uint32_t size, void*) -> void* { return std::calloc(size, 1); },
      [](void* p, void*) {
        std::free(p);
        return 1;
      },
      nullptr, 0));
  return block;
}

class Collect : public ContentSink {
 public:
  explicit Collect(bool can_restart) : can_restart_(can_restart) {}
  bool write(const std::uint8_t* data, std::size_t size) override {
    largest = std::max(largest, size);
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
  bool restart() override {
    if (can_restart_) bytes.clear();
    return can_restart_;
  }
  Bytes bytes;
  std::size_t largest = 0;

 private:
  bool can_restart_;
};

TEST(StreamedReading, BlockCopyingFromFarBackDecodesEverywhere) {
  const Bytes unit = pseudo_random(300000, 11);
  const Bytes data = concat({unit, unit});
  const Bytes block = far_reaching_block(data);
  ASSERT_GT(block.size(), 0u);
  ASSERT_LT(block.size(), data.size() * 3 / 4);  // the second half is copies from far back
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  test::write_file(archive, concat({test::kPakHeader, packed_entry("far", static_cast<std::int64_t>(data.size()), block)}));

  Library lib;
  EXPECT_NE(std::string(unpak(lib, archive.c_str(), dir.file("out").c_str(), "far")), "");
  EXPECT_EQ(test::read_file(dir.file("out") + test::native_separator() + "far"), data);

  {
    ArchiveReader reader(archive);
    const ArchiveEntry& entry = reader.entries().at(0);
    Collect once(false);
    EXPECT_EQ(reader.stream(entry, once), Damage::Unreadable);  // cannot start over, not yet seen
    EXPECT_EQ(reader.verify(entry), Damage::None);
    Collect after(false);
    EXPECT_EQ(reader.stream(entry, after), Damage::None);
    EXPECT_EQ(after.bytes, data);
  }
  {
    ArchiveReader reader(archive);
    Collect restarting(true);
    EXPECT_EQ(reader.stream(reader.entries().at(0), restarting), Damage::None);
    EXPECT_EQ(restarting.bytes, data);
    std::filesystem::create_directories(dir.file("x"));
    const ExtractResult result = extract_entry(reader, reader.entries().at(0), dir.file("x"), false);
    EXPECT_EQ(result.outcome, ExtractOutcome::Written);
    EXPECT_EQ(test::read_file(result.path), data);
  }
}

TEST(StreamedReading, PiecesAreBoundedAndDamageStopsEarly) {
  const Bytes data = text_like(kStreamChunk * 2 + 12345, 5);
  const Bytes good = pack(data);
  Bytes early = good;
  early.at(40) ^= 0x21;
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  test::write_file(archive, concat({test::kPakHeader, packed_entry("good", static_cast<std::int64_t>(data.size()), good),
                                    packed_entry("early", static_cast<std::int64_t>(data.size()), early),
                                    stored_entry("stored", data)}));
  ArchiveReader reader(archive);
  Collect good_pieces(true);
  EXPECT_EQ(reader.stream(reader.entries().at(0), good_pieces), Damage::None);
  EXPECT_EQ(good_pieces.bytes, data);
  EXPECT_LE(good_pieces.largest, kStreamChunk);
  Collect early_pieces(true);
  EXPECT_EQ(reader.stream(reader.entries().at(1), early_pieces), Damage::BadBlock);
  EXPECT_LT(early_pieces.bytes.size(), kStreamChunk);  // stopped long before the end
  Collect stored_pieces(false);
  EXPECT_EQ(reader.stream(reader.entries().at(2), stored_pieces), Damage::None);
  EXPECT_EQ(stored_pieces.bytes, data);
  EXPECT_LE(stored_pieces.largest, kStreamChunk);
  // A damaged entry leaves nothing under its name.
  std::filesystem::create_directories(dir.file("x"));
  EXPECT_EQ(extract_entry(reader, reader.entries().at(1), dir.file("x"), false).outcome, ExtractOutcome::Damaged);
  EXPECT_EQ(test::tree(dir.file("x")), std::vector<std::string>{});
}

// Buffers refused above a size, as a 32-bit process refuses them.
class SmallHeap final : public BufferSource {
 public:
  explicit SmallHeap(std::int64_t largest) : largest_(largest) {}
  DataBuffer take_buffer(std::int64_t size) override {
    if (size > largest_) return DataBuffer(nullptr, static_cast<std::size_t>(size), nullptr, nullptr);
    return store_.take_buffer(size);
  }

 private:
  std::int64_t largest_;
  FreeStore store_;
};

struct StoreCase {
  std::int32_t compress;
  std::uint8_t flag;
  std::int64_t heap_limit;  // the largest buffer the heap gives
};

class StoredAdd : public ::testing::TestWithParam<StoreCase> {};

// A source larger than the copy chunk is copied into the archive byte for byte, also when
// packing was asked for and the memory to pack it cannot be had.
TEST_P(StoredAdd, SourceLargerThanTheChunkIsCopiedExactly) {
  const Bytes content = pseudo_random(kCopyChunk * 2 + 777, 9);
  TempDir dir;
  const std::string archive = dir.file("a.pak");
  const std::string source = dir.file("big.bin");
  test::write_file(archive, test::kPakHeader);
  test::write_file(source, content);
  SmallHeap heap(GetParam().heap_limit);
  BufferedFile archive_file;
  ASSERT_TRUE(archive_file.open(archive.c_str(), platform::OpenMode::OpenOrCreate));
  BufferedFile source_file;
  SourceEntry entry;
  ASSERT_EQ(read_source(source, GetParam().compress, heap, source_file, entry), Outcome::Done);
  EXPECT_NE(entry.streamed_from, nullptr);
  ASSERT_EQ(append_entry(archive_file, entry.record()), Outcome::Done);
  archive_file.close();
  EXPECT_EQ(test::read_file(archive), concat({test::kPakHeader, stored_entry("big.bin", content, GetParam().flag)}));
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredAdd,
                         ::testing::Values(StoreCase{0, 0, std::int64_t{1} << 40}, StoreCase{2, 2, std::int64_t{1} << 40},
                                           StoreCase{1, 0, kCopyChunk}, StoreCase{257, 0, kCopyChunk}));

TEST(StoredAdd, CFunctionAndPreparedEntryWriteTheSameBytes) {
  const Bytes content = pseudo_random(kCopyChunk + 4096, 13);
  TempDir dir;
  test::write_file(dir.file("big.bin"), content);
  Library lib;
  create_pak_file(dir.file("c.pak").c_str());
  add_to_pak(lib, dir.file("c.pak").c_str(), dir.file("big.bin").c_str(), nullptr, 0);
  create_archive(dir.file("cpp.pak"));
  const PreparedEntry prepared = prepare_entry(dir.file("big.bin"), Packing::Store);
  EXPECT_TRUE(prepared.streamed);
  EXPECT_TRUE(prepared.data.empty());
  ArchiveAppender appender(dir.file("cpp.pak"));
  EXPECT_TRUE(appender.append(prepared));
  const Bytes expected = concat({test::kPakHeader, stored_entry("big.bin", content)});
  EXPECT_EQ(test::read_file(dir.file("c.pak")), expected);
  EXPECT_EQ(test::read_file(dir.file("cpp.pak")), expected);

  // A source that shrank between preparing and appending is not appended at all.
  test::write_file(dir.file("big.bin"), Bytes(content.begin(), content.begin() + 1000));
  EXPECT_FALSE(appender.append(prepared));
  EXPECT_EQ(test::read_file(dir.file("cpp.pak")), expected);
}

}  // namespace
}  // namespace mytarvo
