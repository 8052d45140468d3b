// The worker threads of tarvo add.
#include "prepare_pipeline.hpp"

#include <algorithm>

#include "interrupt.hpp"

namespace tarvo {

PreparePipeline::PreparePipeline(const std::vector<Source>& sources, mytarvo::Packing packing, unsigned workers,
                                 Console& console, bool best, std::uint64_t memory_budget)
    : sources_(sources), packing_(packing), best_(best), window_(std::max(workers, 1u) + 2u), console_(console),
      budget_(memory_budget), slots_(window_) {
  const std::size_t count = std::min<std::size_t>(std::max(workers, 1u), sources.size());
  const InterruptsHeld held;  // the workers never take an interruption: the writer does
  for (std::size_t i = 0; i < count; ++i) threads_.emplace_back([this] { work(); });
}

PreparePipeline::~PreparePipeline() {
  {
    const std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  room_.notify_all();
  for (auto& thread : threads_) thread.join();
}

// Each worker claims the next source once it lies within the window after the next one
// to be consumed; this bounds the memory held by prepared entries, and lets the results
// live in a ring of window_ slots (source i in slot i % window_): the sources in flight
// are always fewer than window_ apart.
void PreparePipeline::work() {
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock<std::mutex> guard(lock_);
      room_.wait(guard, [&] { return stopping_ || next_claim_ >= sources_.size() || may_claim(); });
      if (stopping_ || next_claim_ >= sources_.size()) return;
      index = next_claim_++;
      in_flight_ += cost(sources_[index]);
    }
    mytarvo::PreparedEntry entry = prepare(sources_[index]);
    {
      const std::lock_guard<std::mutex> guard(lock_);
      slots_[index % window_] = std::move(entry);
    }
    ready_.notify_all();
  }
}

// Packing holds the file and a buffer of its size for the block; a stored file is copied
// a chunk at a time when it is appended, so preparing it holds next to nothing.
std::uint64_t PreparePipeline::cost(const Source& source) const {
  return packing_ == mytarvo::Packing::Pack || best_ ? 2 * source.expected_size : 0;
}

// The next source lies within the ring, and either nothing is in flight (a file larger
// than the budget goes alone) or it fits in what the budget leaves.
bool PreparePipeline::may_claim() const {
  if (next_claim_ >= next_consume_ + window_) return false;
  const std::uint64_t wanted = cost(sources_[next_claim_]);
  return in_flight_ == 0 || wanted <= budget_ - std::min(budget_, in_flight_);
}

mytarvo::PreparedEntry PreparePipeline::prepare(const Source& source) {
  std::uint64_t reported = 0;
  mytarvo::PackProgress progress;
  if (console_.shows_progress()) {
    progress = [&](std::uint32_t position) {
      if (position > reported) console_.add_bytes(position - reported);
      reported = std::max<std::uint64_t>(reported, position);
    };
  }
  mytarvo::PreparedEntry entry = mytarvo::prepare_entry(source.path, packing_, progress);
  if (best_) mytarvo::pack_entry_best(entry);
  if (source.expected_size > reported) console_.add_bytes(source.expected_size - reported);
  return entry;
}

mytarvo::PreparedEntry PreparePipeline::next() {
  std::unique_lock<std::mutex> guard(lock_);
  auto& slot = slots_[next_consume_ % window_];
  ready_.wait(guard, [&] { return slot.has_value(); });
  mytarvo::PreparedEntry entry = std::move(*slot);
  slot.reset();
  in_flight_ -= cost(sources_[next_consume_]);
  ++next_consume_;
  guard.unlock();
  room_.notify_all();
  return entry;
}

}  // namespace tarvo
