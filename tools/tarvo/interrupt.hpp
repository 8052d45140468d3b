// What tarvo does when it is asked to stop (SIGINT, SIGTERM or SIGHUP; on Windows Ctrl-C,
// Ctrl-Break or closing the console): it runs the cleanup registered for the work under
// way (cutting an archive back, removing a temporary file), says so on standard error and
// ends as the signal would have ended it. The handlers live in one file per platform.
#pragma once

namespace tarvo {

// Runs on interruption, on whichever thread receives it while the others stand still:
// it may only make system calls that are safe in a signal handler.
using Cleanup = void (*)() noexcept;

// Runs the registered cleanup (once) and writes its message: what the platform's handler
// does first. Signal-safe.
void run_interrupt_cleanup() noexcept;

// Writes `text` to standard error with one system call at a time; signal-safe.
void write_error_text(const char* text) noexcept;

// Deletes the file at `path`; safe to call from a cleanup.
void delete_file_now(const char* path) noexcept;

// Installs the handlers; called once by main before any other thread starts.
void install_interrupt_handlers();

// Registers (or, with nullptr, removes) the cleanup of the work under way. `message`
// (static text) is written after it, as "tarvo: MESSAGE".
void on_interrupt(Cleanup cleanup, const char* message);

// While one lives, interruptions are held back from the calling thread, and threads it
// starts meanwhile never receive them at all: they go to the thread that writes, never
// to a worker in the middle of its own work.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  unsigned char saved_[128];  // the thread's signal mask before (POSIX)
};

}  // namespace tarvo
