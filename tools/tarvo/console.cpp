// Messages and the progress bar on standard error.
#include "console.hpp"

#include <algorithm>
#include <cstdio>

#include "printable.hpp"
#include "terminal.hpp"

namespace tarvo {

namespace {

using Clock = std::chrono::steady_clock;

// Short jobs show no bar at all; long ones redraw it a few times a second.
constexpr auto kFirstDrawAfter = std::chrono::milliseconds(300);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr std::size_t kBarCells = 30;
constexpr std::size_t kLineWidth = 79;

std::string bar_text(std::string_view verb, double fraction, std::uint32_t done, std::uint32_t total,
                     std::string_view current) {
  const auto filled = static_cast<std::size_t>(fraction * kBarCells);
  std::string line(verb);
  line += " [";
  line.append(filled, '#');
  line.append(kBarCells - filled, '.');
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "] %3d%%  %u/%u  ", static_cast<int>(fraction * 100), done, total);
  line += numbers;
  line += printable(current);
  if (line.size() > kLineWidth) line.resize(kLineWidth);
  return line;
}

}  // namespace

Console::Console(bool quiet) : quiet_(quiet), progress_enabled_(!quiet && stderr_is_terminal()) {}

Console::~Console() { finish_progress(); }

void Console::write_line(std::string_view prefix, std::string_view subject, std::string_view reason) {
  const std::lock_guard<std::mutex> guard(lock_);
  clear_bar();
  // Names in messages come from archives and directories: nothing in them may reach the
  // terminal as a control sequence.
  std::string text = "tarvo: ";
  text += prefix;
  text += printable(subject);
  if (!reason.empty()) {
    text += ": ";
    text += printable(reason);
  }
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void Console::error(std::string_view subject, std::string_view reason) {
  ++failures_;
  write_line("", subject, reason);
}

void Console::error(std::string_view message) { error(message, ""); }

void Console::warning(std::string_view subject, std::string_view reason) { write_line("warning: ", subject, reason); }

void Console::notice(std::string_view subject, std::string_view reason) {
  if (!quiet_) write_line("", subject, reason);
}

void Console::start_progress(std::string_view verb, std::uint64_t bytes, std::uint32_t items) {
  const std::lock_guard<std::mutex> guard(lock_);
  verb_ = verb;
  current_.clear();
  total_bytes_ = bytes;
  done_bytes_ = 0;
  total_items_ = items;
  done_items_ = 0;
  running_ = progress_enabled_;
  started_ = Clock::now();
  last_draw_ = started_;
}

void Console::add_bytes(std::uint64_t bytes) {
  if (!running_) return;
  done_bytes_ += bytes;
  // Workers never wait for the screen: whoever finds it free draws.
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (guard.owns_lock()) draw();
}

void Console::item_done(std::string_view name) {
  if (!running_) return;
  const std::lock_guard<std::mutex> guard(lock_);
  ++done_items_;
  current_ = name;
  draw();
}

void Console::finish_progress() {
  const std::lock_guard<std::mutex> guard(lock_);
  clear_bar();
  running_ = false;
}

void Console::draw() {
  if (!running_) return;
  const auto now = Clock::now();
  if (now - started_ < kFirstDrawAfter || now - last_draw_ < kRedrawEvery) return;
  last_draw_ = now;
  double fraction = total_bytes_ > 0 ? static_cast<double>(done_bytes_.load()) / static_cast<double>(total_bytes_)
                    : total_items_ > 0 ? static_cast<double>(done_items_) / total_items_
                                       : 1.0;
  fraction = std::clamp(fraction, 0.0, 1.0);
  std::string line = bar_text(verb_, fraction, done_items_, total_items_, current_);
  const std::size_t width = line.size();
  if (width < drawn_width_) line.append(drawn_width_ - width, ' ');  // cover the longer old bar
  line.insert(line.begin(), '\r');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  drawn_width_ = width;
}

void Console::clear_bar() {
  if (drawn_width_ == 0) return;
  std::string blank(drawn_width_ + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  std::fwrite(blank.data(), 1, blank.size(), stderr);
  std::fflush(stderr);
  drawn_width_ = 0;
}

}  // namespace tarvo
