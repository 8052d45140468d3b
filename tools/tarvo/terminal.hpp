// The two things the tool asks of the terminal, one file per platform.
#pragma once

namespace tarvo {

// Whether standard error goes to a terminal (where a progress bar makes sense).
[[nodiscard]] bool stderr_is_terminal();

// Makes standard output carry bytes unchanged (no line-end translation).
void set_stdout_binary();
// The same for standard input.
void set_stdin_binary();

}  // namespace tarvo
