// Several processes appending to one archive at once: every entry must arrive whole, none
// lost and none mixed into another. The processes are copies of this program, each running
// the worker test below.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <string>
#include <vector>

#include "host/c_api.hpp"
#include "host/spawn.hpp"

namespace mytarvo {
namespace {

constexpr const char* kWorkerVariable = "MYTARVO_APPEND_WORKER";
constexpr int kWorkers = 3;
constexpr int kAddsPerWorker = 30;

std::string worker_content(int worker) {
  // Large entries: a writer takes long enough over one that others try to append meanwhile.
  return std::string(1000000 + 3000 * worker, static_cast<char>('p' + worker)) + std::to_string(worker);
}

// The worker: with MYTARVO_APPEND_WORKER set to "<directory>|<index>", it appends its own
// source kAddsPerWorker times to <directory>/shared.pak. Skipped in an ordinary run.
TEST(ConcurrentAppendWorker, AppendsItsSource) {
  const char* setting = std::getenv(kWorkerVariable);
  if (setting == nullptr) GTEST_SKIP() << "run by ConcurrentAppend only";
  const std::string text = setting;
  const std::size_t bar = text.rfind('|');
  ASSERT_NE(bar, std::string::npos);
  const std::string directory = text.substr(0, bar);
  const std::string sep(1, test::native_separator());
  const std::string archive = directory + sep + "shared.pak";
  const std::string source = directory + sep + "w" + text.substr(bar + 1) + ".txt";
  test::CApi api;
  ASSERT_TRUE(api.ready());
  // All workers start together: each says it is ready and waits (at most a minute) until
  // every worker is.
  test::write_file(directory + sep + "ready" + text.substr(bar + 1), std::string());
  const auto all_ready = [&] {
    for (int w = 0; w < kWorkers; ++w) {
      if (!test::file_exists(directory + sep + "ready" + std::to_string(w))) return false;
    }
    return true;
  };
  for (int wait = 0; wait < 60000 && !all_ready(); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (int i = 0; i < kAddsPerWorker; ++i) api.add(archive.c_str(), source.c_str(), nullptr, 0);
}

TEST(ConcurrentAppend, EveryEntryArrivesWhole) {
  test::TempDir dir;
  test::CApi api;
  ASSERT_TRUE(api.ready());
  std::vector<std::string> entries;
  for (int w = 0; w < kWorkers; ++w) {
    const std::string name = std::string("w") + static_cast<char>('0' + w) + ".txt";
    test::write_file(dir.file(name), worker_content(w));
    entries.push_back(test::stored(name, worker_content(w)));
  }
  const std::string archive = dir.file("shared.pak");
  api.create(archive.c_str());

  const std::vector<int> codes =
      test::run_self_copies(kWorkers, "ConcurrentAppendWorker.*", kWorkerVariable, dir.path().string() + "|", 120);
  for (int code : codes) EXPECT_EQ(code, 0);

  // The archive is the header and then whole entries only, kAddsPerWorker of each.
  const std::string bytes = test::read_text(archive);
  ASSERT_EQ(bytes.compare(0, test::kHeaderLine.size(), test::kHeaderLine), 0);
  std::vector<int> seen(kWorkers, 0);
  std::size_t at = test::kHeaderLine.size();
  while (at < bytes.size()) {
    int which = -1;
    for (int w = 0; w < kWorkers; ++w) {
      if (bytes.compare(at, entries[w].size(), entries[w]) == 0) which = w;
    }
    ASSERT_GE(which, 0) << "no whole entry at offset " << at;
    ++seen[which];
    at += entries[which].size();
  }
  for (int w = 0; w < kWorkers; ++w) EXPECT_EQ(seen[w], kAddsPerWorker) << "worker " << w;
}

}  // namespace
}  // namespace mytarvo
