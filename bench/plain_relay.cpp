// Plain relay: the floor for the gateway benchmarks. It does the gateway's socket work (accept
// users, frame their lines for the cluster link, deliver the cluster's messages to the streams)
// with none of its rules: no lock-outs, no timers, no monitor, no window, no logs. The load tool
// runs the same scenarios against the gateway and against this relay and reports the ratios.
//
//   plain_relay CLUSTER_PORT USER_PORT
//
// One thread, epoll, non-blocking sockets, one write() per message; runs until SIGTERM/SIGINT.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <queue>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kEtx = '\3';
constexpr char kEot = '\4';
constexpr int kMaxFd = 65536;
constexpr std::size_t kReadSize = 64 * 1024;
constexpr std::size_t kMaxLineTail = 64 * 1024;
constexpr std::size_t kMaxClusterTail = 1024 * 1024;
constexpr std::size_t kMaxUserPending = 4 * 1024 * 1024;

volatile std::sig_atomic_t stop_requested = 0;

enum class Kind { kFree, kListener, kCluster, kUser };

// What the relay keeps per socket, indexed by fd.
struct Socket {
  Kind kind = Kind::kFree;
  bool logged_in = false;
  bool want_out = false;   // EPOLLOUT registered
  int stream = 0;          // users only
  unsigned long conn = 0;  // users only
  std::string pending;     // bytes a write() could not take yet
  std::string tail;        // unfinished line (users)
};

class Relay {
 public:
  Relay(int cluster_port, int user_port)
      : epoll_(epoll_create1(EPOLL_CLOEXEC)),
        cluster_listener_(Listen(cluster_port)),
        user_listener_(Listen(user_port)) {}

  void Run() {
    std::vector<epoll_event> events(1024);
    while (!stop_requested) {
      const int count = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 1000);
      for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        const std::uint32_t what = events[i].events;
        if (fd == cluster_listener_ || fd == user_listener_) {
          Accept(fd);
        } else {
          // Events are hints: a socket closed earlier in this batch (or its reused fd) just finds
          // nothing to read or write.
          if (what & EPOLLOUT) Flush(fd);
          if (what & (EPOLLIN | EPOLLHUP | EPOLLERR)) Read(fd);
        }
      }
    }
  }

 private:
  // A listening socket on 0.0.0.0; the relay is of no use without both, so failing ends it.
  int Listen(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (epoll_ < 0 || fd < 0 || fd >= kMaxFd ||
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 4096) != 0) {
      std::perror("plain_relay");
      std::exit(1);
    }
    Watch(fd, Kind::kListener);
    return fd;
  }

  void Watch(int fd, Kind kind) {
    sockets_[fd].kind = kind;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }

  // Takes what is waiting on a listener, a few at a time (epoll reports the rest again).
  void Accept(int listener) {
    for (int accepted = 0; accepted < 64; ++accepted) {
      sockaddr_in peer{};
      socklen_t length = sizeof peer;
      const int fd = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      if (fd >= kMaxFd || (listener == cluster_listener_ && cluster_ >= 0)) {
        close(fd);  // one cluster link at a time
        continue;
      }
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      if (listener == cluster_listener_) {
        cluster_ = fd;
        Watch(fd, Kind::kCluster);
      } else {
        NewUser(fd, peer);
      }
    }
  }

  void NewUser(int fd, const sockaddr_in& peer) {
    int stream = static_cast<int>(stream_fd_.size());
    if (free_streams_.empty()) {
      stream_fd_.push_back(fd);
    } else {
      stream = free_streams_.top();
      free_streams_.pop();
      stream_fd_[stream] = fd;
    }
    Socket& user = sockets_[fd];
    user.stream = stream;
    user.conn = ++last_conn_;
    Watch(fd, Kind::kUser);
    char ip[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    Up("AA02", 2, HighestStream());
    Up("AA03", "Connect Request", stream, 3, ip, 1, user.conn);
  }

  int HighestStream() const { return std::max(2, static_cast<int>(stream_fd_.size()) - 1); }

  void Read(int fd) {
    const Kind kind = sockets_[fd].kind;
    if (kind != Kind::kCluster && kind != Kind::kUser) return;
    const ssize_t got = read(fd, read_buffer_, kReadSize);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (got <= 0) return Close(fd, static_cast<long>(sockets_[fd].conn));
    const std::string_view block(read_buffer_, static_cast<std::size_t>(got));
    if (kind == Kind::kCluster) FromCluster(block);
    if (kind == Kind::kUser) FromUser(fd, block);
  }

  // User bytes: complete lines (CR LF included) go up one message each.
  void FromUser(int fd, std::string_view block) {
    Socket& user = sockets_[fd];
    std::string held = std::move(user.tail);
    user.tail.clear();
    const std::string_view data = held.empty() ? block : std::string_view(held.append(block));
    std::size_t start = 0;
    for (std::size_t end; (end = data.find("\r\n", start)) != std::string_view::npos;
         start = end + 2)
      LineUp(user, data.substr(start, end + 2 - start));
    if (data.size() - start > kMaxLineTail) {
      LineUp(user, data.substr(start));
    } else {
      user.tail.assign(data.substr(start));
    }
  }

  // A Chr(3) typed by a user becomes Chr(2), so that it cannot end the message early.
  void LineUp(const Socket& user, std::string_view line) {
    Build(user.logged_in ? "AA00" : "AA03", user.stream, line);
    std::replace(up_.begin(), up_.end() - 1, kEtx, '\2');
    SendUp();
  }

  // Cluster bytes: messages closed by Chr(4), fields split at Chr(3); see Dispatch.
  void FromCluster(std::string_view block) {
    std::string held = std::move(rx_tail_);
    rx_tail_.clear();
    std::string_view data = held.empty() ? block : std::string_view(held.append(block));
    if (data == "7261") {  // the ready word: the link is online from now on
      Build("AA01", 2, HighestStream());
      SendUp(true);
      Build("AA18", "");
      SendUp(true);
      online_ = cluster_ >= 0;
      return;
    }
    if (data == "ZQ Cluster") {
      Build("QRV relay 3.02", "relay");
      return SendUp(true);
    }
    const int link = cluster_;
    for (std::size_t end = data.find(kEot); end != std::string_view::npos && cluster_ == link;
         end = data.find(kEot)) {
      Dispatch(data.substr(0, end));
      data.remove_prefix(end + 1);
    }
    if (cluster_ == link && data.size() <= kMaxClusterTail) rx_tail_.assign(data);
  }

  void Dispatch(std::string_view message) {
    std::array<std::string_view, 4> fields;
    std::size_t count = 0;  // fields after the fourth are ignored
    while (count < 4) {
      const std::size_t end = message.find(kEtx);
      fields[count++] = message.substr(0, end);
      if (end == std::string_view::npos) break;
      message.remove_prefix(end + 1);
    }
    if (count == 1) {
      const int fd = StreamFd(current_stream_);
      if (fd >= 0 && sockets_[fd].logged_in && !fields[0].empty()) Write(fd, fields[0]);
      return;
    }
    const long stream = ParseNumber(fields[1]);
    if (fields[0].size() != 1 || stream < 0) return;
    current_stream_ = stream;
    const int fd = StreamFd(stream);
    if (fd < 0) return;
    Socket& user = sockets_[fd];
    switch (fields[0][0]) {
      case '0':
        if (count < 3 || !user.logged_in) return;
        if (count == 4 && ParseNumber(fields[3]) != static_cast<long>(user.conn)) return;
        Write(fd, fields[2]);
        return;
      case '3':
      case '7':
        if (count < 3) return;
        if (fields[0][0] == '7') user.logged_in = false;
        if (fields[0][0] == '3' && fields[2] == "login: ") return Write(fd, fields[2]);
        down_.assign(fields[2]).append("\r\n");
        return Write(fd, down_);
      case '4':
      case '5':
        user.logged_in = true;
        if (fields[0][0] == '4') return Up("AA04", stream, LoginTime(), "80");
        return Up("AA04", stream, LoginTime());
      case '6':
        user.logged_in = true;
        return;
      case '8':
        Close(fd, count < 4 ? 0 : -1);
        return;
      default:
        return;
    }
  }

  // A whole decimal field, else -1.
  static long ParseNumber(std::string_view text) {
    long value = -1;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value >= 0 ? value : -1;
  }

  int StreamFd(long stream) const {
    return stream >= 0 && stream < static_cast<long>(stream_fd_.size()) ? stream_fd_[stream] : -1;
  }

  // "07-Dec-2026 0530Z", worked out again when the second changes.
  const std::string& LoginTime() {
    const std::time_t now = std::time(nullptr);
    if (now != login_time_at_) {
      std::tm utc{};
      gmtime_r(&now, &utc);
      char text[32];
      std::strftime(text, sizeof text, "%d-%b-%Y %H%MZ", &utc);
      login_time_ = text;
      login_time_at_ = now;
    }
    return login_time_;
  }

  // Builds an upstream message in up_: the fields joined by '^', closed by Chr(3).
  template <typename... Fields>
  void Build(const Fields&... fields) {
    up_.clear();
    ((Append(fields), up_.push_back('^')), ...);
    up_.back() = kEtx;
  }
  void Append(std::string_view text) { up_.append(text); }
  void Append(long number) { up_.append(std::to_string(number)); }

  template <typename... Fields>
  void Up(const Fields&... fields) {
    Build(fields...);
    SendUp();
  }

  // Sends up_ to the cluster. Only the handshake answers go out before the ready word.
  void SendUp(bool handshake = false) {
    if ((online_ || handshake) && cluster_ >= 0) Write(cluster_, up_);
  }

  // One write() per message; what it cannot take waits in the socket's pending bytes.
  void Write(int fd, std::string_view data) {
    Socket& socket = sockets_[fd];
    if (socket.kind == Kind::kUser && socket.pending.size() + data.size() > kMaxUserPending)
      return Close(fd, 0);  // a user that stopped reading
    if (!socket.pending.empty()) return socket.pending.append(data), void();
    const std::size_t done = WriteSome(fd, data);
    if (done >= data.size()) return;
    socket.pending.assign(data.substr(done));
    WantOut(fd, true);
  }

  void Flush(int fd) {
    Socket& socket = sockets_[fd];
    if (socket.pending.empty()) return;
    const std::size_t done = WriteSome(fd, socket.pending);
    if (socket.kind == Kind::kFree) return;
    socket.pending.erase(0, done);
    if (socket.pending.empty()) WantOut(fd, false);
  }

  // Bytes written; a failed socket is closed and counts as all written.
  std::size_t WriteSome(int fd, std::string_view data) {
    const ssize_t sent = write(fd, data.data(), data.size());
    if (sent >= 0) return static_cast<std::size_t>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    Close(fd, 0);
    return data.size();
  }

  void WantOut(int fd, bool on) {
    Socket& socket = sockets_[fd];
    if (socket.want_out == on) return;
    socket.want_out = on;
    epoll_event event{};
    event.events = on ? EPOLLIN | EPOLLOUT : EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
  }

  // Closes a socket; for a user, report_conn < 0 sends no AA17 (the cluster ordered the close).
  void Close(int fd, long report_conn) {
    if (sockets_[fd].kind == Kind::kCluster) {
      cluster_ = -1;
      online_ = false;
      rx_tail_.clear();
      return Forget(fd);
    }
    const int stream = sockets_[fd].stream;
    Forget(fd);
    stream_fd_[stream] = -1;
    free_streams_.push(stream);
    if (report_conn >= 0) Up("AA17", "", stream, report_conn);
  }

  void Forget(int fd) {
    close(fd);  // also leaves the epoll set
    sockets_[fd] = Socket{};
  }

  std::vector<Socket> sockets_ = std::vector<Socket>(kMaxFd);
  std::vector<int> stream_fd_ = {-1, -1};  // stream number -> fd or -1; 0 and 1 are never used
  int epoll_;
  int cluster_listener_;
  int user_listener_;
  int cluster_ = -1;
  bool online_ = false;
  std::string rx_tail_;
  std::priority_queue<int, std::vector<int>, std::greater<>> free_streams_;
  unsigned long last_conn_ = 0;
  long current_stream_ = -1;
  std::string up_;    // the upstream message being built
  std::string down_;  // the user-bound text being built
  std::string login_time_;
  std::time_t login_time_at_ = -1;
  char read_buffer_[kReadSize];
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: plain_relay CLUSTER_PORT USER_PORT\n");
    return 2;
  }
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = [](int) { stop_requested = 1; };
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  static Relay relay(std::atoi(argv[1]), std::atoi(argv[2]));
  relay.Run();
  return 0;
}
