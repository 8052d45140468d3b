// The cleanup registered for the work under way, shared by the platforms' handlers.
#include <atomic>

#include "interrupt.hpp"

namespace tarvo {

namespace {

std::atomic<Cleanup> g_cleanup{nullptr};
std::atomic<const char*> g_message{nullptr};

}  // namespace

void on_interrupt(Cleanup cleanup, const char* message) {
  g_message.store(message);
  g_cleanup.store(cleanup);
}

void run_interrupt_cleanup() noexcept {
  const Cleanup cleanup = g_cleanup.exchange(nullptr);
  if (cleanup == nullptr) return;
  cleanup();
  const char* message = g_message.load();
  if (message != nullptr) {
    write_error_text("\ntarvo: ");
    write_error_text(message);
    write_error_text("\n");
  }
}

}  // namespace tarvo
