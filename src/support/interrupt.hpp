// Holding off interruptions while a file is being rewritten. While an InterruptGuard
// lives, an interrupt (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: Ctrl+C, Ctrl+Break, the
// console closing) does not end the process at once: it is noted, the rewrite sees it
// through interrupted(), cleans up its temporary file and then calls deliver(), which
// ends the process the way the interrupt would have (or, when the program had its own
// handler, hands the interrupt to it and returns). Guards may nest and live on several
// threads; the first installs the handlers and the last restores the program's own.
// One implementation per platform (interrupt_posix.cpp, interrupt_win32.cpp).
#pragma once

namespace mytarvo::platform {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();  // restores the program's handlers; delivers an interrupt noted meanwhile
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // True once an interrupt has arrived while any guard lived.
  [[nodiscard]] bool interrupted() const;
  // Restores the program's handlers (when this is the last guard) and delivers a noted
  // interrupt. Returns only when the program's own handling lets the process go on.
  void deliver();

 private:
  bool active_ = true;
};

}  // namespace mytarvo::platform
