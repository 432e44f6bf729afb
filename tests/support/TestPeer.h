#pragma once
// A plain TCP client for tests: connects to a loopback port from a chosen 127.x.y.z address (or
// an IPv6 one, to ::1),
// sends bytes and collects what arrives, without blocking the loop that serves it.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velgate::testing {

/// n distinct TCP ports below 32768 that were free a moment ago (the cluster port is 16-bit).
std::vector<int> FreePorts(int n);

/// Whether something listens on the port (a connection to 127.0.0.1 succeeds).
bool PortAnswers(int port);

class TestPeer {
 public:
  /// Connects to 127.0.0.1:port from source_address, or to [::1]:port from an IPv6 source;
  /// Connected() tells whether it worked.
  explicit TestPeer(int port, const std::string& source_address = "127.0.0.1");
  /// Connects to the local (Unix-domain) socket at path.
  static std::unique_ptr<TestPeer> Local(const std::string& path);
  ~TestPeer() { Close(); }
  TestPeer(const TestPeer&) = delete;
  TestPeer& operator=(const TestPeer&) = delete;

  bool Connected() const { return fd_ >= 0 && !closed_; }
  int LocalPort() const;
  void Send(std::string_view bytes);
  /// Reads whatever has arrived; true when anything changed (data or the close).
  bool Pump();
  const std::string& Received() const { return received_; }
  bool Closed() const { return closed_; }
  /// The other side ended the connection with a reset, not an orderly close.
  bool WasReset() const { return reset_; }
  void Close();
  /// Aborts the connection: the other side sees a reset, not an orderly close.
  void Reset();
  /// Runs the loop until the received bytes reach n or the other side closes.
  template <typename Loop>
  bool WaitForBytes(Loop& loop, std::size_t n) {
    return loop.RunUntil([&] {
      Pump();
      return received_.size() >= n || closed_;
    }) && received_.size() >= n;
  }
  void ClearReceived() { received_.clear(); }

 private:
  friend class PortHolder;
  TestPeer() = default;

  int fd_ = -1;
  bool closed_ = false;
  bool reset_ = false;
  std::string received_;
};

/// A port held the way another program would hold it (0: any free port) on an address (IPv4's
/// every one by default, or "::1"); it takes connections.
class PortHolder {
 public:
  explicit PortHolder(int port = 0, const std::string& address = "0.0.0.0");
  ~PortHolder() { Release(); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

  int Port() const;
  std::unique_ptr<TestPeer> Accept();
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace velgate::testing
