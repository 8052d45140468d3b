// POSIX child processes: fork, redirect with dup2, exec, wait.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tool/run_process.hpp"

namespace mytarvo::test {

namespace {

[[noreturn]] void become_child(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& cwd, const std::string& out_path, const std::string& err_path,
                               unsigned time_limit_seconds) {
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) _exit(127);
  if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) _exit(127);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // A pending alarm survives exec: the program is ended by SIGALRM when it runs too long.
  ::alarm(time_limit_seconds);
  ::execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

int run_process(const std::string& program, const std::vector<std::string>& arguments, const std::string& cwd,
                const std::string& out_path, const std::string& err_path, unsigned time_limit_seconds) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) become_child(program, arguments, cwd, out_path, err_path, time_limit_seconds);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace mytarvo::test
