// A directory of a benchmark's own under the system's temporary directory, removed when
// the object goes (at exit for a static one).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace mytarvo::bench {

class Scratch {
 public:
  explicit Scratch(const std::string& prefix)
      : root_(std::filesystem::temp_directory_path() /
              (prefix + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    std::filesystem::create_directories(root_);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  [[nodiscard]] std::string path(const std::string& name) const { return (root_ / name).string(); }

 private:
  std::filesystem::path root_;
};

}  // namespace mytarvo::bench
