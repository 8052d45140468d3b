// Prepares the files to add on worker threads (reading and packing them) and hands the
// results back in the order of the sources, so that they can be appended in that order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console.hpp"
#include "mytarvo/archive.hpp"

namespace tarvo {

struct Source {
  std::string path;
  std::uint64_t expected_size = 0;  // for the progress bar; 0 when unknown
};

// Bytes of memory the files held prepared or being prepared may take together, unless a
// single file takes more alone.
inline constexpr std::uint64_t kDefaultMemoryBudget = std::uint64_t{256} << 20;

class PreparePipeline {
 public:
  // Starts `workers` threads (at least 1). At most workers + 2 files are held prepared or
  // being prepared at any time, whatever the number of sources, and a worker takes the
  // next file only when the memory it needs (twice its size to pack it: the file and room
  // for its block; nothing to store it, as it is copied when appended) fits in what
  // `memory_budget` leaves, or when no other file is in flight. With `best`, each file
  // read (as `packing` Store reads it) is then packed in the best mode when that makes it
  // smaller.
  PreparePipeline(const std::vector<Source>& sources, mytarvo::Packing packing, unsigned workers, Console& console,
                  bool best = false, std::uint64_t memory_budget = kDefaultMemoryBudget);
  ~PreparePipeline();  // stops the workers and waits for them
  PreparePipeline(const PreparePipeline&) = delete;
  PreparePipeline& operator=(const PreparePipeline&) = delete;

  // The next prepared entry in source order; waits until it is ready. Call it at most
  // once per source.
  [[nodiscard]] mytarvo::PreparedEntry next();

 private:
  void work();
  [[nodiscard]] mytarvo::PreparedEntry prepare(const Source& source);
  // The memory preparing `source` and holding its result takes, as far as it is known.
  [[nodiscard]] std::uint64_t cost(const Source& source) const;
  // Whether the next source may be claimed now (called with the lock held).
  [[nodiscard]] bool may_claim() const;

  const std::vector<Source>& sources_;
  const mytarvo::Packing packing_;
  const bool best_;
  const std::size_t window_;
  Console& console_;

  std::mutex lock_;
  std::condition_variable ready_;  // a slot was filled
  std::condition_variable room_;   // the consumer moved on, or the pipeline stops
  const std::uint64_t budget_;
  std::vector<std::optional<mytarvo::PreparedEntry>> slots_;  // a ring, see work()
  std::uint64_t in_flight_ = 0;   // cost() of the sources claimed and not yet handed out
  std::size_t next_claim_ = 0;    // the next source a worker takes
  std::size_t next_consume_ = 0;  // the next source next() hands out
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tarvo
