#pragma once
// The program's folder, where Velgate.cfg, highwater.dat and error.log live, and the file
// operations the gateway needs there.

#include <optional>
#include <string>
#include <string_view>

namespace velgate {

class ProgramFolder {
 public:
  /// The folder made absolute, without a trailing separator.
  explicit ProgramFolder(const std::string& path);

  /// The folder's absolute path.
  const std::string& Path() const { return path_; }
  /// The path of a file in the folder.
  std::string File(std::string_view name) const;
  /// Deletes every regular file named ip*.log (case as written); links and folders stay.
  void DeleteIpLogs() const;

 private:
  std::string path_;
};

/// The whole file, or nothing when it does not exist; RunTimeError when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
/// Replaces the file through a temporary file in the same folder, so it is never half written.
void WriteFileReplacing(const std::string& path, std::string_view bytes);
/// Whether the file exists and is not to be written: it has no write permission at all (an
/// operator's "leave it alone", which holds for root too), or none for this process.
bool IsReadOnlyFile(const std::string& path);
/// Appends to the file, creating it when missing; RunTimeError when it cannot be written.
void AppendToFile(const std::string& path, std::string_view bytes);

}  // namespace velgate
