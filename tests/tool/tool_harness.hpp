// Runs the built tarvo program in temporary directories and collects what it printed.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "archive/pak_builder.hpp"
#include "support/test_support.hpp"
#include "tool/run_process.hpp"

namespace mytarvo::test {

struct ToolRun {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::ostream& operator<<(std::ostream& os, const ToolRun& run) {
  return os << "status " << run.status << "\n--- stdout:\n" << run.out << "--- stderr:\n" << run.err;
}

class ToolTest : public ::testing::Test {
 protected:
  // Runs tarvo with `arguments` in `cwd` (the test's current directory when empty).
  ToolRun tarvo(const std::vector<std::string>& arguments, const std::string& cwd = {}) const {
    const std::string out = io_.file("stdout");
    const std::string err = io_.file("stderr");
    ToolRun run;
    run.status = run_process(MYTARVO_TARVO_PATH, arguments, cwd, out, err);
    run.out = read_text(out);
    run.err = read_text(err);
    return run;
  }

  // Writes t.pak, the header line followed by `entries`, and returns its path.
  std::string archive(const Bytes& entries) const {
    write_file(path("t.pak"), concat({kPakHeader, entries}));
    return path("t.pak");
  }

  // A path inside the test's directory.
  [[nodiscard]] std::string path(std::string_view name) const { return dir.file(name); }

  // Writes a file into the test's directory and returns its path.
  std::string file(std::string_view name, std::string_view content) const {
    write_file(path(name), content);
    return path(name);
  }

  // Names below `root` that look like the tool's temporary files.
  [[nodiscard]] static std::vector<std::string> temporaries(const std::filesystem::path& root) {
    std::vector<std::string> found;
    for (const auto& item : tree(root)) {
      if (item.find(".tarvo-") != std::string::npos) found.push_back(item);
    }
    return found;
  }

  TempDir dir;

 private:
  TempDir io_;  // the program's output, kept apart from the files it works on
};

inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace mytarvo::test
