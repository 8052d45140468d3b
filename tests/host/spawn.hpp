// Runs this test program again as child processes, for tests that need several real
// processes at once (one implementation per platform: spawn_posix.cpp, spawn_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace mytarvo::test {

// Starts `count` copies of this program, each running only the tests that `filter`
// selects, with the environment variable `name` set to `value` followed by the copy's
// index (0, 1, ...). Waits for all of them, at most `timeout_seconds` in total (copies
// still running then are killed), and returns their exit codes (-1 for one that did not
// start, was killed or did not exit normally).
std::vector<int> run_self_copies(int count, const std::string& filter, const std::string& name,
                                 const std::string& value, int timeout_seconds);

}  // namespace mytarvo::test
