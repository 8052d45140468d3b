// Interruptions on Windows: the console runs the control handler on a thread of its own.
// It stops the main thread (the one that writes) where it is, runs the registered
// cleanup and ends the process with the status of an interrupted program.
#include <windows.h>

#include <cstring>

#include "interrupt.hpp"

namespace tarvo {

namespace {

constexpr UINT kInterruptedStatus = 0xC000013Au;  // STATUS_CONTROL_C_EXIT

HANDLE g_main_thread = nullptr;

BOOL WINAPI handle_control(DWORD) {
  if (g_main_thread != nullptr) SuspendThread(g_main_thread);
  run_interrupt_cleanup();
  TerminateProcess(GetCurrentProcess(), kInterruptedStatus);
  return TRUE;
}

}  // namespace

void write_error_text(const char* text) noexcept {
  DWORD wrote = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &wrote, nullptr);
}

void delete_file_now(const char* path) noexcept { DeleteFileA(path); }

void install_interrupt_handlers() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main_thread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  SetConsoleCtrlHandler(handle_control, TRUE);
}

// The control handler suspends the main thread itself; workers never write.
InterruptsHeld::InterruptsHeld() : saved_{} {}
InterruptsHeld::~InterruptsHeld() = default;

}  // namespace tarvo
