#pragma once
// A fresh folder under /tmp for one test, removed with everything in it afterwards.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velgate::testing {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/velgate-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  /// Writes a file in the folder, replacing it.
  void Write(std::string_view name, std::string_view bytes) const {
    std::ofstream(File(name), std::ios::binary | std::ios::trunc) << bytes;
  }
  /// A file's bytes, or nothing when it does not exist.
  std::optional<std::string> Read(std::string_view name) const {
    std::ifstream in(File(name), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  bool Exists(std::string_view name) const {
    return std::filesystem::exists(std::filesystem::symlink_status(File(name)));
  }

 private:
  std::string path_;
};

}  // namespace velgate::testing
