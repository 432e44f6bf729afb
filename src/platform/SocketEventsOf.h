#pragma once
// Routes a socket's events to member functions of its owner, so that one owner can hold several
// sockets (or socket arrays) with handlers of their own names.

#include "platform/TcpSocket.h"

namespace velgate {

template <typename Owner, void (Owner::*Request)(int, PendingConnection&),
          void (Owner::*Data)(int, std::string_view), void (Owner::*Connect)(int),
          void (Owner::*Close)(int), void (Owner::*Error)(int, const RunTimeError&)>
class SocketEventsOf final : public TcpSocketEvents {
 public:
  explicit SocketEventsOf(Owner& owner) : owner_(owner) {}
  void OnConnectionRequest(int index, PendingConnection& request) override {
    (owner_.*Request)(index, request);
  }
  void OnDataArrival(int index, std::string_view data) override { (owner_.*Data)(index, data); }
  void OnConnect(int index) override { (owner_.*Connect)(index); }
  void OnClose(int index) override { (owner_.*Close)(index); }
  void OnError(int index, const RunTimeError& error) override { (owner_.*Error)(index, error); }

 private:
  Owner& owner_;
};

}  // namespace velgate
