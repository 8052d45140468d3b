// Terminal services on POSIX systems: standard output is always binary.
#include <unistd.h>

#include "terminal.hpp"

namespace tarvo {

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) != 0; }

void set_stdout_binary() {}

void set_stdin_binary() {}

}  // namespace tarvo
