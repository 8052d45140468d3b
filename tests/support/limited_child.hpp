// Real resource faults for tests (POSIX): runs a piece of work in a forked child process
// under a resource limit, as a full disk, a quota or a small address space would impose.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mytarvo::test {

// Runs `body` (which returns the child's exit code) in a child whose `resource` limit
// (RLIMIT_FSIZE, RLIMIT_AS, ...) is `limit`. Returns the exit code, or -1 when the child
// could not be started or did not exit normally. A write past a file-size limit fails with
// EFBIG instead of killing the child, and a child that hangs is ended after 120 s.
template <typename Body>
int run_limited(int resource, rlim_t limit, Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(120);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit rl{limit, limit};
    if (setrlimit(resource, &rl) != 0) _exit(90);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace mytarvo::test
