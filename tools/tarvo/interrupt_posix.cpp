// Interruptions on POSIX: SIGINT, SIGTERM and SIGHUP run the registered cleanup in the
// handler, then take their default action (the process ends by that signal).
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "interrupt.hpp"

namespace tarvo {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};


extern "C" void handle_interrupt(int signal_number) {
  run_interrupt_cleanup();
  // SA_RESETHAND has restored the default action and SA_NODEFER lets it act at once.
  ::raise(signal_number);
}

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : kSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

void write_error_text(const char* text) noexcept {
  const std::size_t size = std::strlen(text);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t wrote = ::write(STDERR_FILENO, text + done, size - done);
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

void delete_file_now(const char* path) noexcept { ::unlink(path); }

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = handle_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (const int s : kSignals) {
    struct sigaction old {};
    // A signal ignored by whoever started us (nohup, for SIGHUP) stays ignored.
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

InterruptsHeld::InterruptsHeld() {
  static_assert(sizeof(sigset_t) <= sizeof saved_, "room for a signal mask");
  const sigset_t set = interrupt_set();
  sigset_t old;
  ::pthread_sigmask(SIG_BLOCK, &set, &old);
  std::memcpy(saved_, &old, sizeof old);
}

InterruptsHeld::~InterruptsHeld() {
  sigset_t old;
  std::memcpy(&old, saved_, sizeof old);
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace tarvo
