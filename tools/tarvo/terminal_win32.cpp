// Terminal services on Windows: the C runtime's console test and binary mode.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "terminal.hpp"

namespace tarvo {

bool stderr_is_terminal() { return ::_isatty(::_fileno(stderr)) != 0; }

void set_stdin_binary() { ::_setmode(::_fileno(stdin), _O_BINARY); }

void set_stdout_binary() {
  std::fflush(stdout);
  ::_setmode(::_fileno(stdout), _O_BINARY);
}

}  // namespace tarvo
