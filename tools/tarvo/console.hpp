// Everything the tool writes to standard error: errors, warnings and notices (each
// naming a file and a reason), and the progress bar shown for long work on a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tarvo {

// Exit statuses of every subcommand.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitSomeFailed = 1;   // some entries or files failed; the rest was done
inline constexpr int kExitUsage = 2;        // bad usage, or an archive that cannot be read

class Console {
 public:
  // The progress bar is shown only when standard error is a terminal and not `quiet`.
  explicit Console(bool quiet);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // "tarvo: SUBJECT: REASON". Errors are counted; see failures(). Messages may come from
  // any thread; they clear the progress bar, which comes back at its next update.
  void error(std::string_view subject, std::string_view reason);
  void error(std::string_view message);  // a message that already names its subject
  void warning(std::string_view subject, std::string_view reason);
  // Information that --quiet leaves out.
  void notice(std::string_view subject, std::string_view reason);
  [[nodiscard]] int failures() const { return failures_; }
  [[nodiscard]] bool quiet() const { return quiet_; }
  // kExitSomeFailed after any error, else kExitSuccess.
  [[nodiscard]] int status() const { return failures_ > 0 ? kExitSomeFailed : kExitSuccess; }

  // ---- Progress --------------------------------------------------------------------------
  [[nodiscard]] bool shows_progress() const { return progress_enabled_; }
  // Starts a bar for `items` items of `bytes` bytes in all.
  void start_progress(std::string_view verb, std::uint64_t bytes, std::uint32_t items);
  // Adds bytes done; may be called from any thread.
  void add_bytes(std::uint64_t bytes);
  // One more item done; `name` is shown beside the bar.
  void item_done(std::string_view name);
  // Removes the bar.
  void finish_progress();

 private:
  void write_line(std::string_view prefix, std::string_view subject, std::string_view reason);
  void draw();        // with lock_ held; throttled
  void clear_bar();       // with lock_ held

  bool quiet_;
  bool progress_enabled_;
  std::atomic<int> failures_{0};
  std::mutex lock_;
  std::string verb_;
  std::string current_;
  std::uint64_t total_bytes_ = 0;
  std::atomic<std::uint64_t> done_bytes_{0};
  std::uint32_t total_items_ = 0;
  std::uint32_t done_items_ = 0;
  std::atomic<bool> running_{false};
  std::size_t drawn_width_ = 0;  // characters of the bar now on the screen; 0 when none
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace tarvo
