// Runs a program as a child process with its standard output and error sent to files,
// one implementation per platform (run_process_posix.cpp, run_process_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace mytarvo::test {

// Runs `program` with `arguments` in directory `cwd` (the current one when empty),
// standard output to `out_path`, standard error to `err_path`, standard input empty.
// Returns the exit status, or -1 when the program could not be run or did not exit. A child
// still running after `time_limit_seconds` is killed (and so gives -1), so that a hung program
// fails its test instead of holding the whole run.
inline constexpr unsigned kDefaultTimeLimitSeconds = 300;
int run_process(const std::string& program, const std::vector<std::string>& arguments, const std::string& cwd,
                const std::string& out_path, const std::string& err_path,
                unsigned time_limit_seconds = kDefaultTimeLimitSeconds);

}  // namespace mytarvo::test
