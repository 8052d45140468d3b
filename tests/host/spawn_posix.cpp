// Child copies of this program on POSIX: fork and exec of /proc/self/exe.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "host/spawn.hpp"

namespace mytarvo::test {

std::vector<int> run_self_copies(int count, const std::string& filter, const std::string& name,
                                 const std::string& value, int timeout_seconds) {
  std::vector<pid_t> children;
  const std::string filter_argument = "--gtest_filter=" + filter;
  for (int i = 0; i < count; ++i) {
    const std::string own_value = value + std::to_string(i);
    const pid_t pid = fork();
    if (pid == 0) {
      setenv(name.c_str(), own_value.c_str(), 1);
      // The copies' own reports would only mix into this program's.
      const int quiet = open("/dev/null", O_WRONLY);
      if (quiet >= 0) dup2(quiet, STDOUT_FILENO);
      execl("/proc/self/exe", "/proc/self/exe", filter_argument.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    children.push_back(pid);
  }
  std::vector<int> codes(children.size(), -1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  std::size_t waiting = children.size();
  while (waiting > 0) {
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (children[i] <= 0) continue;
      int status = 0;
      if (waitpid(children[i], &status, WNOHANG) != children[i]) continue;
      codes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      children[i] = 0;
      --waiting;
    }
    if (waiting == 0) break;
    if (std::chrono::steady_clock::now() > deadline) {
      for (pid_t pid : children) {
        if (pid <= 0) continue;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return codes;
}

}  // namespace mytarvo::test
