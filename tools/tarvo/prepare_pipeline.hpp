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

class PreparePipeline {
 public:
  // Starts `workers` threads (at least 1). At most workers + 2 files are held prepared or
  // being prepared at any time, whatever the number of sources. With `best`, each file
  // read (as `packing` Store reads it) is then packed in the best mode when that makes it
  // smaller.
  PreparePipeline(const std::vector<Source>& sources, mytarvo::Packing packing, unsigned workers, Console& console,
                  bool best = false);
  ~PreparePipeline();  // stops the workers and waits for them
  PreparePipeline(const PreparePipeline&) = delete;
  PreparePipeline& operator=(const PreparePipeline&) = delete;

  // The next prepared entry in source order; waits until it is ready. Call it at most
  // once per source.
  [[nodiscard]] mytarvo::PreparedEntry next();

 private:
  void work();
  [[nodiscard]] mytarvo::PreparedEntry prepare(const Source& source);

  const std::vector<Source>& sources_;
  const mytarvo::Packing packing_;
  const bool best_;
  const std::size_t window_;
  Console& console_;

  std::mutex lock_;
  std::condition_variable ready_;  // a slot was filled
  std::condition_variable room_;   // the consumer moved on, or the pipeline stops
  std::vector<std::optional<mytarvo::PreparedEntry>> slots_;  // a ring, see work()
  std::size_t next_claim_ = 0;    // the next source a worker takes
  std::size_t next_consume_ = 0;  // the next source next() hands out
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Packs a stored entry in the best mode and keeps the block when it is smaller than the
// file; otherwise (and when memory runs out) the entry stays stored.
void pack_best(mytarvo::PreparedEntry& entry);

}  // namespace tarvo
