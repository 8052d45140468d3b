// POSIX interrupt guard: SIGINT, SIGTERM and SIGHUP are caught and noted while a guard
// lives, then raised again with the program's own disposition.
#include <signal.h>

#include <array>
#include <csignal>
#include <mutex>

#include "support/interrupt.hpp"

namespace mytarvo::platform {

namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_caught = 0;  // the signal noted, or 0
std::mutex g_lock;
int g_guards = 0;
std::array<struct sigaction, kSignals.size()> g_previous{};

extern "C" void note_signal(int signal_number) { g_caught = signal_number; }

void install() {
  g_caught = 0;
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

void restore() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

}  // namespace

InterruptGuard::InterruptGuard() {
  const std::lock_guard<std::mutex> guard(g_lock);
  if (g_guards++ == 0) install();
}

InterruptGuard::~InterruptGuard() { deliver(); }

bool InterruptGuard::interrupted() const { return g_caught != 0; }

void InterruptGuard::deliver() {
  if (!active_) return;
  active_ = false;
  int pending = 0;
  {
    const std::lock_guard<std::mutex> guard(g_lock);
    if (--g_guards > 0) return;  // the last guard delivers
    restore();
    pending = g_caught;
    g_caught = 0;
  }
  if (pending != 0) ::raise(pending);
}

}  // namespace mytarvo::platform
