#pragma once
// Descriptors kept back for what must always get one: the cluster link, the monitor client and
// the gateway's own files. Users' sockets may use every descriptor below the reserve; a caller
// whose descriptor would lie in it is closed at once. When descriptors run out all the same,
// one spare descriptor is given up for a moment to take the waiting caller off the queue and
// close it, instead of leaving it to fail the accept for ever.

namespace velgate {

class DescriptorReserve {
 public:
  /// Descriptors kept back from users.
  static constexpr int kReserved = 32;

  /// Counts with the process's open-files limit; holds the spare descriptor.
  DescriptorReserve();
  DescriptorReserve(const DescriptorReserve&) = delete;
  DescriptorReserve& operator=(const DescriptorReserve&) = delete;
  ~DescriptorReserve();

  /// The open-files limit counted with.
  int Limit() const { return limit_; }
  /// Counts with another limit (after the process's limit changed).
  void SetLimit(int limit) { limit_ = limit; }
  /// Whether a user's socket on descriptor fd would eat into the reserve.
  bool InReserve(int fd) const { return fd >= limit_ - kReserved; }
  /// Gives up the spare descriptor, so that one more can be opened.
  void ReleaseSpare();
  /// Takes the spare descriptor back.
  void RestoreSpare();

 private:
  int limit_;
  int spare_ = -1;
};

}  // namespace velgate
