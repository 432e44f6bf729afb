#pragma once
// A plain TCP client for tests: connects to a loopback port from a chosen 127.0.0.x address,
// sends bytes and collects what arrives, without blocking the loop that serves it.

#include <string>
#include <string_view>
#include <vector>

namespace velgate::testing {

/// n distinct TCP ports below 32768 that were free a moment ago (the gateway listens on every
/// IPv4 address).
std::vector<int> FreePorts(int n);

/// Whether something listens on the port (a connection to 127.0.0.1 succeeds).
bool PortAnswers(int port);

class TestPeer {
 public:
  /// Connects to 127.0.0.1:port from source_address; Connected() tells whether it worked.
  explicit TestPeer(int port, const std::string& source_address = "127.0.0.1");
  ~TestPeer();
  TestPeer(const TestPeer&) = delete;
  TestPeer& operator=(const TestPeer&) = delete;

  bool Connected() const { return fd_ >= 0 && !closed_; }
  /// This side's port.
  int LocalPort() const;
  /// Sends all of bytes.
  void Send(std::string_view bytes);
  /// Reads whatever has arrived; true when anything changed (data or the close).
  bool Pump();
  /// Everything received so far.
  const std::string& Received() const { return received_; }
  /// Whether the other side has closed.
  bool Closed() const { return closed_; }
  /// Closes this side.
  void Close();
  /// Aborts the connection: the other side sees a reset, not an orderly close.
  void Reset();
  /// Waits (running the loop) until the received bytes reach n or the other side closes.
  template <typename Loop>
  bool WaitForBytes(Loop& loop, std::size_t n) {
    return loop.RunUntil([&] {
      Pump();
      return received_.size() >= n || closed_;
    }) && received_.size() >= n;
  }
  /// Forgets what was received so far.
  void ClearReceived() { received_.clear(); }

 private:
  int fd_ = -1;
  bool closed_ = false;
  std::string received_;
};

}  // namespace velgate::testing
