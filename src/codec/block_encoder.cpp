// The block encoder's pass: window and memory set-up, header, literal analysis, the
// index-bits schedule, the coding of single bytes and copies, progress reports, the end of
// the stream and the failure rules.
#include "codec/block_encoder.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <optional>

#include "codec/match_search.hpp"
#include "codec/packed_block.hpp"
#include "codec/prefix_chains.hpp"
#include "codec/token_stream.hpp"

namespace mytarvo::codec {

namespace {

constexpr std::uint32_t kAnalysisPeriod = 1024;    // bytes between two literal analyses
constexpr std::uint32_t kProgressPeriod = 96;      // tokens between two progress reports
constexpr std::uint32_t kWideIndexReach = 0xC000;  // reach above which index bits grow
constexpr std::uint32_t kWiderIndexReach = 0x10000;
constexpr std::uint32_t kTailLimit = 3;  // a step whose limit is this or less is not searched

// Chooses the literal coding for a stretch of `count` bytes (count >= 1): unchanged when
// all its bytes are equal, width 8 when they span 128 values or more, else width 7 from the
// smallest byte.
LiteralRange analyse_literals(const std::uint8_t* bytes, std::uint32_t count, LiteralRange current) {
  std::uint8_t lo = 0xFF;
  std::uint8_t hi = 0;
  for (std::uint32_t i = 0; i < count; ++i) {  // a plain loop, so that it is vectorised
    lo = std::min(lo, bytes[i]);
    hi = std::max(hi, bytes[i]);
  }
  if (lo == hi) return current;
  if (hi - lo >= 128) return kFullRange;
  return LiteralRange{7, lo};
}

// The distance (1 to 14) of the nearest byte equal to `byte` among the 14 before `at`, or
// 0 when there is none. Reads the 16 bytes before `at`, eight at a time: in a little-endian
// word of the 8 bytes before a point, the byte at distance d is byte 8 - d, so the nearest
// equal byte is the highest zero byte of word XOR byte-times-8; the 0x80 marks below flag
// exactly the zero bytes (no carry crosses a byte).
std::uint32_t nearest_equal_byte(const std::uint8_t* at, std::uint8_t byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const auto zero_bytes = [](std::uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); };
  const std::uint64_t pattern = kOnes * byte;
  const std::uint64_t near = zero_bytes(load_le64(at - 8) ^ pattern);
  if (near != 0) return 8u - static_cast<std::uint32_t>(63 - std::countl_zero(near)) / 8u;
  // Bytes 2 to 7 of the word before are distances 14 to 9; bytes 0 and 1 (15, 16) are out.
  const std::uint64_t far = zero_bytes(load_le64(at - 16) ^ pattern) & ~std::uint64_t{0xFFFF};
  if (far != 0) return 16u - static_cast<std::uint32_t>(63 - std::countl_zero(far)) / 8u;
  return 0;
}

// The working blocks of one run: the three the format's memory rules name, obtained in the
// order head table, node ring, in-use flags, and released in the order table, flags, nodes;
// then, optionally, a fourth block for the fast search (prefix_chains.hpp), requested after
// the three and released before them. A block never obtained is not released. Without the
// fourth block the plain search runs, which writes the same blocks more slowly.
//
// The blocks are zero-filled here, whatever the allocator did, once it is known which search
// runs: the fast search reads only the head table, so the node ring and the in-use flags
// (over a megabyte at the largest window) are then left as the allocator gave them; a
// zero-filling allocator that maps fresh pages then never has to touch them.
class WorkingMemory {
 public:
  WorkingMemory(AllocateFn allocate, ReleaseFn release, void* user)
      : allocate_(allocate), release_(release), user_(user) {}
  ~WorkingMemory() {
    give_back(chains_);
    give_back(table_);
    give_back(flags_);
    give_back(nodes_);
  }
  WorkingMemory(const WorkingMemory&) = delete;
  WorkingMemory& operator=(const WorkingMemory&) = delete;

  // False when a request is refused or its size does not fit the 32-bit size argument.
  [[nodiscard]] bool obtain(std::uint32_t window) {
    ring_bytes_ = node_ring_bytes(window);
    flag_bytes_ = in_use_bytes(window);
    return take(kHeadTableBytes, table_) && take(ring_bytes_, nodes_) && take(flag_bytes_, flags_);
  }
  // Asks for the fast search's block; false when the window is not served or the request
  // is refused. The block is not cleared here: the chains clear what they read.
  [[nodiscard]] bool obtain_chains(std::uint32_t window) {
    const std::uint64_t size = PrefixChains::bytes_needed(window);
    if (size == 0 || size > 0xFFFFFFFFu) return false;
    chains_ = allocate_(static_cast<std::uint32_t>(size), user_);
    return chains_ != nullptr;
  }

  // Zero-fills what the search will read: the head table always, the node ring and the
  // in-use flags only for the plain search. After obtain() succeeded.
  void clear(bool fast_search) {
    std::memset(table_, 0, kHeadTableBytes);
    if (fast_search) return;
    std::memset(nodes_, 0, static_cast<std::size_t>(ring_bytes_));
    std::memset(flags_, 0, static_cast<std::size_t>(flag_bytes_));
  }

  [[nodiscard]] std::uint32_t* head_table() const { return static_cast<std::uint32_t*>(table_); }
  [[nodiscard]] ChainNode* nodes() const { return static_cast<ChainNode*>(nodes_); }
  [[nodiscard]] std::uint8_t* in_use() const { return static_cast<std::uint8_t*>(flags_); }
  [[nodiscard]] void* chains() const { return chains_; }

 private:
  bool take(std::uint64_t size, void*& block) {
    if (size > 0xFFFFFFFFu) return false;
    block = allocate_(static_cast<std::uint32_t>(size), user_);
    return block != nullptr;
  }
  void give_back(void* block) {
    if (block != nullptr) static_cast<void>(release_(block, user_));
  }

  AllocateFn allocate_;
  ReleaseFn release_;
  void* user_;
  void* table_ = nullptr;
  void* nodes_ = nullptr;
  void* flags_ = nullptr;
  void* chains_ = nullptr;
  std::uint64_t ring_bytes_ = 0;
  std::uint64_t flag_bytes_ = 0;
};

// One encoding after set-up: the bit stream from the first literal-width change to the end
// marker. Invariants of the main loop: every position below `position_` is coded; every
// position up to `position_` is in the index (except the last of the input); `limit_` is
// min(W - 1, length - position_) and never rises.
class EncoderRun {
 public:
  EncoderRun(const std::uint8_t* input, std::uint32_t length, std::uint32_t window, std::uint8_t* dest,
             MatchIndex& index, PrefixChains* fast, ProgressFn progress, void* user)
      : input_(input),
        length_(length),
        window_(window),
        limit_(window - 1),
        out_(dest, length),
        chooser_(index, fast),
        progress_(progress),
        user_(user) {}

  // Returns the block's size, or 0 when it does not fit or the progress callback aborts.
  std::uint32_t run(const LiteralRange& first_range);

 private:
  void start(const LiteralRange& first_range);
  std::uint32_t full_step();
  void update_literal_range();
  void update_index_bits();
  void code_single_byte();
  void code_literal(std::uint8_t byte);
  [[nodiscard]] bool report_progress();
  void advance(std::uint32_t covered);

  const std::uint8_t* input_;
  std::uint32_t length_;
  std::uint32_t window_;
  std::uint32_t limit_;
  TokenStream out_;
  MatchChooser chooser_;
  ProgressFn progress_;
  void* user_;
  std::uint32_t position_ = 0;
  std::uint32_t reach_ = 0;  // min(position, W) at the latest full step
  std::uint32_t analysis_counter_ = 0;
  std::uint32_t progress_counter_ = 0;
};

std::uint32_t EncoderRun::run(const LiteralRange& first_range) {
  start(first_range);
  if (out_.overflowed()) return 0;
  while (position_ < length_) {
    limit_ = std::min(limit_, length_ - position_);
    std::uint32_t covered = 1;
    if (limit_ <= kTailLimit) {
      code_single_byte();  // tail step: no analysis, no index-bits update, no search
    } else {
      covered = full_step();
    }
    // A word that would not fit fails the run before the token is reported.
    if (out_.overflowed() || !report_progress()) return 0;
    advance(covered);
  }
  if (progress_ != nullptr) static_cast<void>(progress_(length_, out_.bytes_stored(), user_));
  out_.end();
  return out_.overflowed() ? 0 : out_.bytes_stored();
}

// Announces the literal coding, then codes the first byte alone (a zero byte or a literal,
// never a near byte) between the inserts of positions 0 and 1. It is not counted as
// progress.
void EncoderRun::start(const LiteralRange& first_range) {
  out_.literal_width_change(first_range);
  chooser_.insert(0);
  if (input_[0] == 0) {
    out_.zero_byte();
  } else {
    code_literal(input_[0]);
  }
  chooser_.insert(1);
  analysis_counter_ = 1;
  position_ = 1;
}

// Returns the number of bytes the step's token covers.
std::uint32_t EncoderRun::full_step() {
  update_literal_range();
  update_index_bits();
  const StepAnswer answer =
      chooser_.decide_step(position_, limit_, out_.index_bits(), out_.last_distance());
  if (!answer.match) {
    code_single_byte();
    return 1;
  }
  out_.copy(answer.distance, answer.length);
  return answer.length;
}

// Every 1024 bytes, the literal coding is chosen again for the bytes ahead (at most the
// limit, so never beyond the input).
void EncoderRun::update_literal_range() {
  if (analysis_counter_ < kAnalysisPeriod) return;
  analysis_counter_ = 0;
  const LiteralRange range =
      analyse_literals(input_ + position_, std::min(limit_, kAnalysisPeriod), out_.literal_range());
  if (range != out_.literal_range()) out_.literal_width_change(range);
}

// Far distances get more plain-coded bits as the reachable history grows: 9 index bits once
// it exceeds 49152 positions, 10 once it exceeds 65536. They never shrink.
void EncoderRun::update_index_bits() {
  reach_ = std::min(position_, window_);
  if (reach_ <= kWideIndexReach) return;
  const std::uint32_t wanted = reach_ > kWiderIndexReach ? 10u : 9u;
  if (wanted != out_.index_bits()) out_.index_bits_change(wanted);
}

// A zero byte; else a copy of the nearest equal byte among the last min(reach, 14); else a
// literal.
void EncoderRun::code_single_byte() {
  const std::uint8_t byte = input_[position_];
  if (byte == 0) {
    out_.zero_byte();
    return;
  }
  const std::uint32_t nearby = std::min(reach_, kNearMaxDistance);
  if (nearby == kNearMaxDistance && position_ >= 16) {
    const std::uint32_t d = nearest_equal_byte(input_ + position_, byte);
    if (d != 0) {
      out_.near_byte(d);
    } else {
      code_literal(byte);
    }
    return;
  }
  for (std::uint32_t d = 1; d <= nearby; ++d) {
    if (input_[position_ - d] == byte) {
      out_.near_byte(d);
      return;
    }
  }
  code_literal(byte);
}

// A byte the analysis schedule left outside the current range (an all-equal stretch, the
// bytes after the last analysis, or the byte a short window's analysis does not reach)
// first switches the coding to width 8, which covers every byte; the schedule goes on from
// there.
void EncoderRun::code_literal(std::uint8_t byte) {
  if (!out_.literal_range().covers(byte)) out_.literal_width_change(kFullRange);
  out_.literal(byte);
}

bool EncoderRun::report_progress() {
  if (progress_ == nullptr) return true;
  if (++progress_counter_ < kProgressPeriod) return true;
  progress_counter_ = 0;
  return progress_(position_, out_.bytes_stored(), user_) != 0;
}

// Moves past the token just written, inserting the positions it covered after its first
// two (position + 1 went in during the search), but never the last position of the input.
void EncoderRun::advance(std::uint32_t covered) {
  analysis_counter_ += covered;
  const std::uint32_t end = position_ + covered;
  const std::uint32_t last_indexed = std::min(end, length_ - 2);
  chooser_.insert_run(position_ + 2, last_indexed);
  position_ = end;
}

// The default working memory: blocks from the free store as they come, null when refused.
// They are not zero-filled here: the encoder clears what it reads itself (WorkingMemory::
// clear(), the chains' heads), writes every link before reading it, and never reads the
// node ring and in-use flags when the fast search runs. Filling the 3.3 MB of a 65536
// window once more per pack is what this saves; the blocks written are the same.
// (The library's archive operations hand in the system allocator they must use instead.)
void* default_allocate(std::uint32_t size, void* /*user*/) { return new (std::nothrow) std::uint8_t[size]; }
int default_release(void* block, void* /*user*/) {
  delete[] static_cast<std::uint8_t*>(block);
  return 1;
}

}  // namespace

std::uint32_t window_for_level(std::int32_t level) {
  static constexpr std::uint32_t kWindows[] = {1024, 2048, 4096, 8192, 16384, 32768, 40960, 57344};
  const auto index = static_cast<std::uint32_t>(level);
  return index < std::size(kWindows) ? kWindows[index] : 65536u;
}

std::uint32_t encode(const std::uint8_t* source, std::uint32_t length, std::uint8_t* dest, std::uint32_t window,
                     AllocateFn allocate, ReleaseFn release, ProgressFn progress, std::int32_t no_checksum,
                     void* user) {
  if (source == nullptr || dest == nullptr || length == 0) return 0;
  const LiteralRange first_range = analyse_literals(source, std::min(length, kAnalysisPeriod), kFullRange);
  const std::uint32_t w = clamp_window(window, length);

  WorkingMemory memory(allocate, release, user);
  if (!memory.obtain(w)) return 0;
  const bool fast = memory.obtain_chains(w);
  memory.clear(fast);
  if (length < kHeaderSize) return 0;  // the header alone would not fit
  store_header(dest, length, no_checksum == 1 ? 0u : block_checksum(source, length));

  MatchIndex index(source, length, w, memory.head_table(), memory.nodes(), memory.in_use());
  std::optional<PrefixChains> chains;
  if (fast) chains.emplace(source, length, w, memory.head_table(), memory.chains());
  EncoderRun run(source, length, w, dest, index, chains ? &*chains : nullptr, progress, user);
  return run.run(first_range);
}

std::uint32_t pack(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length, std::int32_t level) {
  return pack(source, dest, length, level, nullptr, nullptr);
}

std::uint32_t pack(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length, std::int32_t level,
                   ProgressFn progress, void* user) {
  if (source == nullptr || dest == nullptr || length == 0) return 0;
  return encode(source, length, dest, window_for_level(level), &default_allocate, &default_release, progress, 0, user);
}

}  // namespace mytarvo::codec
