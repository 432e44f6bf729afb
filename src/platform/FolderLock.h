#pragma once
// One gateway per folder: a lock on velgated.lock in the program's folder, taken before anything
// there is read, written or deleted, and held for the life of the process (a crash leaves
// nothing to clean: the kernel lets go of it).

#include <optional>
#include <string>

namespace velgate {

class FolderLock {
 public:
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

  /// Takes the lock for program; false when another process holds it (the holder's program
  /// and pid say who). A folder where the lock file can be neither made nor opened is run
  /// unlocked (true).
  bool Take(const std::string& folder, const std::string& program);
  /// The program and pid of the process that holds the lock; empty when unknown.
  const std::string& HolderProgram() const { return holder_program_; }
  const std::string& HolderPid() const { return holder_pid_; }
  /// The lock is held by this process.
  bool Held() const { return descriptor_ >= 0; }

 private:
  int descriptor_ = -1;
  std::string holder_program_;
  std::string holder_pid_;
};

}  // namespace velgate
