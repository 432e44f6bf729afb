#pragma once
// A fresh folder under /tmp for one test, removed with everything in it afterwards.

#include <optional>
#include <string>
#include <string_view>

namespace velgate::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// The folder's path.
  const std::string& Path() const { return path_; }
  /// The path of a file in the folder.
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  /// Writes a file in the folder, replacing it.
  void Write(std::string_view name, std::string_view bytes) const;
  /// A file's bytes, or nothing when it does not exist.
  std::optional<std::string> Read(std::string_view name) const;
  /// Whether a file exists.
  bool Exists(std::string_view name) const;

 private:
  std::string path_;
};

}  // namespace velgate::testing
