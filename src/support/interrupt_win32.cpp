// Win32 interrupt guard: a console control handler notes Ctrl+C, Ctrl+Break and the
// console closing while a guard lives; a noted interrupt then ends the process with the
// status an unhandled Ctrl+C gives.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "support/interrupt.hpp"

namespace mytarvo::platform {

namespace {

std::atomic<DWORD> g_caught{0};
std::atomic<bool> g_noted{false};
std::mutex g_lock;
int g_guards = 0;

BOOL WINAPI note_control(DWORD type) {
  g_caught = type;
  g_noted = true;
  // The console closing ends the process once the handler returns: give the rewrite a
  // moment to see the note and remove its temporary file.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) Sleep(2000);
  return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  const std::lock_guard<std::mutex> guard(g_lock);
  if (g_guards++ == 0) {
    g_noted = false;
    SetConsoleCtrlHandler(note_control, TRUE);
  }
}

InterruptGuard::~InterruptGuard() { deliver(); }

bool InterruptGuard::interrupted() const { return g_noted; }

void InterruptGuard::deliver() {
  if (!active_) return;
  active_ = false;
  bool pending = false;
  {
    const std::lock_guard<std::mutex> guard(g_lock);
    if (--g_guards > 0) return;
    SetConsoleCtrlHandler(note_control, FALSE);
    pending = g_noted.exchange(false);
  }
  if (pending) ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace mytarvo::platform
