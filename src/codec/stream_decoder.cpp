// Streaming block decoder: the shared token loop (token_decoder.hpp) run over the input at
// hand into a sliding history window, with the checksum folded as bytes are produced.
//
// How the one-shot decoder's results are kept:
//  - The block's end is the end of the input at hand. A token that fails where that input
//    ends, while more may come, is undone (it runs on copies of the bit source and state)
//    and retried once input arrives: with the whole block it fails or succeeds exactly as
//    the one-shot decoder's token would.
//  - The fast loop runs only while at least kInputMargin bytes of input lie ahead and at
//    least kRawRunBytes of room in the window, so that no ordinary token meets either end.
//    If a fast token fails anyway (a damaged block, or a token longer than the margin), the
//    run is replayed from its start in the checked form, one token at a time, which stops
//    at the same token and can tell damage from missing input.
//  - The output limit is the block's unpacked size, as for a one-shot decode into a buffer
//    of that size; a copy longer than the window's room copies what fits and finishes after
//    the window slides, a raw run goes a chunk at a time.
//  - The checksum is the one of the first unpacked-size bytes of a zero-filled buffer:
//    bytes the stream did not produce count as 0.
#include "codec/stream_decoder.hpp"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace mytarvo::codec {
namespace {

using tokens::DecodeState;
using tokens::Step;

constexpr std::size_t kInputMargin = 64;          // input the fast loop keeps ahead of it
constexpr std::size_t kRunRoom = std::size_t{1} << 16;  // room a slide aims for
constexpr std::size_t kMinHistory = 1024;
constexpr std::size_t kMinInputBuffer = 4096;

void* system_allocate(std::uint32_t size, void*) { return std::malloc(size); }
int system_release(void* block, void*) {
  std::free(block);
  return 1;
}

StreamAllocator with_default(const StreamAllocator& a) {
  if (a.allocate != nullptr && a.release != nullptr) return a;
  return StreamAllocator{system_allocate, system_release, nullptr};
}

}  // namespace

// ---- StreamBuffer ---------------------------------------------------------------------------

StreamBuffer::~StreamBuffer() {
  if (data_ != nullptr) allocator_.release(data_, allocator_.user);
}

bool StreamBuffer::resize(std::size_t capacity, std::size_t from, std::size_t count) {
  assert(from + count <= capacity_ && count <= capacity);
  if (capacity > std::numeric_limits<std::uint32_t>::max()) return false;
  if (capacity == capacity_) {
    if (count > 0 && from > 0) std::memmove(data_, data_ + from, count);
    return true;
  }
  auto* fresh = static_cast<std::uint8_t*>(allocator_.allocate(static_cast<std::uint32_t>(capacity), allocator_.user));
  if (fresh == nullptr) return false;
  if (count > 0) std::memcpy(fresh, data_ + from, count);
  if (data_ != nullptr) allocator_.release(data_, allocator_.user);
  data_ = fresh;
  capacity_ = capacity;
  return true;
}

// ---- StreamDecoder --------------------------------------------------------------------------

StreamDecoder::StreamDecoder(const StreamAllocator& allocator, std::uint32_t history_limit)
    : history_limit_(history_limit == 0 ? 0 : std::max<std::size_t>(history_limit, kMinHistory)),
      input_(with_default(allocator)),
      window_(with_default(allocator)),
      state_{nullptr, 0, 0, kInitialLastDistance, kInitialIndexBits, 0, 0} {
  state_.reach = history_limit_ == 0 ? std::numeric_limits<std::size_t>::max() : history_limit_;
}

bool StreamDecoder::feed(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || data == nullptr || input_final_) return true;
  starved_ = false;
  const std::size_t held = end_ - next_;
  if (size > input_.capacity() - end_) {
    // Drop the loaded bytes; grow when what is left and the new bytes do not fit.
    std::size_t capacity = input_.capacity();
    if (held + size > capacity) capacity = std::max({held + size, 2 * capacity, kMinInputBuffer});
    if (size > std::numeric_limits<std::uint32_t>::max() || !input_.resize(capacity, next_, held)) {
      phase_ = Phase::OutOfMemory;
      return false;
    }
    next_ = 0;
    end_ = held;
  }
  std::memcpy(input_.data() + end_, data, size);
  end_ += size;
  return true;
}

void StreamDecoder::end_input() {
  input_final_ = true;
  starved_ = false;
}

StreamState StreamDecoder::status() const {
  const bool undelivered = delivered_ < state_.produced;
  switch (phase_) {
    case Phase::Header:
    case Phase::Tokens:
      return undelivered || !starved_ ? StreamState::Ok : StreamState::NeedsInput;
    case Phase::Ended:
      return undelivered ? StreamState::Ok : StreamState::Done;
    case Phase::Damaged:
      return StreamState::Damaged;
    case Phase::OutOfMemory:
      break;
  }
  return StreamState::OutOfMemory;
}

std::size_t StreamDecoder::read(std::uint8_t* out, std::size_t capacity) {
  if (out == nullptr) return 0;
  std::size_t n = 0;
  while (n < capacity) {
    const std::size_t ready = state_.produced - delivered_;
    // Bytes decoded before the block proved damaged are handed out too: a zero-filled
    // buffer would hold them.
    if (ready > 0 && (phase_ == Phase::Tokens || phase_ == Phase::Ended || phase_ == Phase::Damaged)) {
      const std::size_t k = std::min(ready, capacity - n);
      std::memcpy(out + n, window_.data() + delivered_, k);
      delivered_ += k;
      n += k;
    } else if (phase_ != Phase::Header && phase_ != Phase::Tokens) {
      break;
    } else if (!advance()) {
      break;
    }
  }
  return n;
}

// One step of decoding; false when nothing changed (input needed, or the end reached).
bool StreamDecoder::advance() {
  if (starved_) return false;
  return phase_ == Phase::Header ? read_header() : decode_some();
}

bool StreamDecoder::read_header() {
  if (end_ - next_ < kHeaderSize) {
    if (!input_final_) {
      starved_ = true;
      return false;
    }
    phase_ = Phase::Damaged;
    return true;
  }
  const std::uint8_t* header = input_.data() + next_;
  if (header[0] != kMagic0 || header[1] != kMagic1) {
    phase_ = Phase::Damaged;
    return true;
  }
  size_ = load_le32(header + kUnpackedSizeOffset);
  stored_ = load_le32(header + kChecksumOffset);
  next_ += kHeaderSize;
  phase_ = Phase::Tokens;
  return true;
}

// Slides the window (keeping the history copies can reach) and grows it, so that the next
// step has the room it may need: kRunRoom / 2 bytes, or whatever is left of the block.
bool StreamDecoder::make_room() {
  assert(delivered_ == state_.produced);
  std::size_t produced = state_.produced;
  const std::size_t left = static_cast<std::size_t>(size_ - total());
  const std::size_t wanted = std::min(kRunRoom / 2, left);
  if (window_.capacity() - produced >= wanted && window_.data() != nullptr) return true;
  // Keep what copies can reach (and the unfolded bytes, fewer than 4, which lie within it).
  const std::size_t keep = history_limit_ == 0 ? produced : std::min(produced, history_limit_);
  assert(stored_ == 0 || total() - folded_ <= keep);  // unverified blocks fold nothing
  std::size_t capacity = window_.capacity();
  const std::size_t needed = keep + std::min(kRunRoom, left);
  if (capacity - keep < wanted || capacity < needed) {
    capacity = std::max(needed, std::min(2 * capacity, keep + left));
    if (history_limit_ != 0) capacity = std::min(capacity, std::max(needed, history_limit_ + kRunRoom));
  }
  if (!window_.resize(capacity, produced - keep, keep)) return false;
  discarded_ += produced - keep;
  state_.produced = keep;
  delivered_ = keep;
  return true;
}

bool StreamDecoder::decode_some() {
  if (!make_room()) {
    phase_ = Phase::OutOfMemory;
    return true;
  }
  DecodeState& s = state_;
  s.out = window_.data();
  s.hard_limit = static_cast<std::size_t>(size_ - discarded_);
  s.limit = std::min(window_.capacity(), s.hard_limit);
  if (s.pending_length != 0) {
    continue_copy();
    fold_checksum();
    return true;
  }
  std::uint8_t* const base = input_.data();
  const std::size_t words = (end_ - next_) / kWordSize;
  const std::uint8_t* const next = base + next_;
  const std::uint8_t* const end = next + words * kWordSize;
  tokens::BitSource in{bits_, avail_, next, words >= 1 ? end - kWordSize : next, end};

  const std::size_t produced_before = s.produced;
  Step step = Step::Go;
  bool starved = false;
  // make_room() left kRawRunBytes of room, or all the block needs: no token fails for want
  // of room unless the block's unpacked size is reached.
  assert(s.limit == s.hard_limit || s.limit - s.produced >= kRawRunBytes);
  if (!s.raw_pending && (input_final_ || words * kWordSize > kInputMargin)) {
    const tokens::FastBounds bounds{input_final_ ? end : end - kInputMargin,
                                    s.limit == s.hard_limit ? s.limit : s.limit - kRawRunBytes};
    const tokens::BitSource in_before = in;
    const DecodeState state_before = s;
    step = tokens::run_tokens<true>(in, s, bounds);
    if (step == Step::Fail) {
      // Replay the run in the checked form: it stops at the same token, and tells whether
      // that token lacks input or the block is damaged.
      in = in_before;
      s = state_before;
      do {
        step = run_checked(in, starved);
      } while (step == Step::Go && !starved);
    } else if (step == Step::Go && (s.limit == s.hard_limit || s.limit - s.produced >= kRawRunBytes)) {
      step = run_checked(in, starved);  // the fast loop paused: one token in the checked form
    }
  } else {
    step = run_checked(in, starved);
  }
  bits_ = in.bits;
  avail_ = in.avail;
  next_ = static_cast<std::size_t>(in.next - base);
  fold_checksum();
  if (starved) {
    starved_ = true;
    return s.produced != produced_before;
  }
  if (step == Step::Fail) phase_ = Phase::Damaged;
  if (step == Step::End) finish();
  return true;
}

// Runs one token, or the next chunk of a raw run, in the checked form on copies. It takes
// effect unless it failed where the input at hand ends while more may come: then `starved`
// is set and nothing changes.
Step StreamDecoder::run_checked(tokens::BitSource& in, bool& starved) {
  tokens::BitSource copy = in;
  DecodeState t = state_;
  copy.refill();
  Step step = Step::Go;
  if (t.raw_pending) {
    std::size_t produced = t.produced;
    step = tokens::copy_raw_run<true>(copy, t.out, produced, t.limit, t.raw_pending);
    t.produced = produced;
  } else {
    step = tokens::decode_token_checked<true>(copy, t);
  }
  if (step == Step::Fail && !input_final_ && copy.next == copy.end) {
    starved = true;
    return Step::Go;
  }
  in = copy;
  state_ = t;
  return step;
}

// Copies what the window has room for of a copy cut short at its end.
void StreamDecoder::continue_copy() {
  DecodeState& s = state_;
  assert(s.pending_distance <= s.produced);
  const auto part = static_cast<std::uint32_t>(std::min<std::size_t>(s.pending_length, s.limit - s.produced));
  tokens::copy_bytes(s.out + s.produced, s.pending_distance, part);
  s.produced += part;
  s.pending_length -= part;
}

void StreamDecoder::fold_checksum() {
  if (stored_ == 0) return;
  const std::uint64_t done = total();
  const std::uint8_t* const window = window_.data();
  while (folded_ + 4 <= done) {
    sum_ = checksum_fold(sum_, load_le32(window + (folded_ - discarded_)));
    folded_ += 4;
  }
}

// Byte `position` of the output as a zero-filled buffer would hold it: decoded, or 0.
std::uint8_t StreamDecoder::byte_at(std::uint64_t position) const {
  if (position >= total()) return 0;
  assert(position >= discarded_);
  return window_.data()[position - discarded_];
}

// The end marker: the checksum over the unpacked size decides.
void StreamDecoder::finish() {
  phase_ = Phase::Ended;
  if (stored_ == 0) return;
  std::uint32_t sum = 0;
  if (size_ >= 4) {
    sum = sum_;
    std::uint64_t at = folded_;
    if (at + 4 <= size_ && at < total()) {  // the word the stream ended in, filled with zeros
      const std::uint8_t word[4] = {byte_at(at), byte_at(at + 1), byte_at(at + 2), byte_at(at + 3)};
      sum = checksum_fold(sum, load_le32(word));
      at += 4;
    }
    // Whole words the stream never reached are zero, and folding a zero word flips bit 0.
    if (at + 4 <= size_) sum ^= static_cast<std::uint32_t>(((size_ - at) / 4) & 1u);
    if (size_ % 4 != 0) {
      const std::uint64_t at = size_ - 4;
      const std::uint8_t word[4] = {byte_at(at), byte_at(at + 1), byte_at(at + 2), byte_at(at + 3)};
      sum = checksum_fold(sum, load_le32(word));
    }
  }
  if (sum != stored_) phase_ = Phase::Damaged;
}

}  // namespace mytarvo::codec
