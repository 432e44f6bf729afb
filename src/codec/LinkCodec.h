#pragma once
// The cluster link's wire format, as pure functions over bytes.
//
// Upstream (gateway to cluster): fields joined by "^", closed by one Chr(3): "AA03^5^G1ABC" ETX.
// Downstream (cluster to gateway): fields joined by Chr(3), closed by one Chr(4); the code is
// field 0. Two handshake words come unterminated, each a block of its own: "ZQ Cluster" and
// "7261". A message may be split over blocks; its tail is held until its Chr(4) arrives.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velgate {

inline constexpr char kEtx = '\x03';  ///< ends an upstream message
inline constexpr char kEot = '\x04';  ///< ends a downstream message

/// Fields joined by "^" and closed by Chr(3).
std::string UpstreamMessage(std::initializer_list<std::string_view> fields);

/// "AA00^stream^text" ETX: input of a logged-in stream (text as it goes up).
std::string AA00(std::int32_t stream, std::string_view text);
/// "AA01^first^last" ETX: the answer to the ready word.
std::string AA01(std::int32_t first_stream, std::int32_t last_stream);
/// "AA02^first^last" ETX: the stream numbers in use after an accept.
std::string AA02(std::int32_t first_stream, std::int32_t last_stream);
/// "AA03^Connect Request^stream^3^address^listener^connection" ETX: a user has connected.
std::string AA03ConnectRequest(std::int32_t stream, std::string_view address,
                               std::string_view listener, std::int32_t connection);
/// "AA03^stream^text" ETX: input of a stream that is not logged in.
std::string AA03(std::int32_t stream, std::string_view text);
/// "AA04^stream^logintime^80" ETX, or without "^80": the login acknowledgement.
std::string AA04(std::int32_t stream, std::string_view login_time, bool with_80);
/// "AA06^Outgoing Connect Request to CALL^stream^3^host^0^connection" ETX.
std::string AA06(std::string_view call, std::int32_t stream, std::string_view host,
                 std::int32_t connection);
/// "AA17^call^stream^connection" ETX: a stream has ended; a "^" in call becomes "_".
std::string AA17(std::string_view call, std::int32_t stream, std::string_view connection);
/// "AA18^" ETX: the end of the resync list.
std::string AA18();
/// The nine-field resync "AA38^call^stream^2^address^colour^logintime^listener^connection" ETX.
std::string AA38Resync(std::string_view call, std::int32_t stream, std::string_view address,
                       std::string_view colour, std::string_view login_time,
                       std::string_view listener, std::int32_t connection);
/// The six-field "AA38^call^stream^2^host^" ETX: an outgoing connection is established.
std::string AA38Outgoing(std::string_view call, std::int32_t stream, std::string_view host);
/// "QRV starttime version^folder" ETX: the answer to the greeting.
std::string QrvReply(std::string_view start_time, std::string_view version,
                     std::string_view folder);

/// The handshake words, recognised only as a whole block of at most 10 characters.
inline constexpr std::string_view kGreeting = "ZQ Cluster";
inline constexpr std::string_view kReadyWord = "7261";

/// Splits the downstream byte stream into messages, holding back an incomplete tail.
class DownstreamSplitter {
 public:
  static constexpr std::size_t kMostHeld = 16 * 1024 * 1024;
  /// Buffers larger than this are given back once what they held is handled.
  static constexpr std::size_t kKeptCapacity = 1024 * 1024;

  enum class Kind {
    kMessages,  ///< messages() holds the complete messages, in order (maybe none)
    kGreeting,  ///< the block was the greeting
    kReady,     ///< the block was the ready word
    kOverflow,  ///< more than kMostHeld bytes arrived without a Chr(4): the link is broken
  };

  /// Takes one received block. The messages stay valid until the next Feed or Reset.
  Kind Feed(std::string_view block);
  /// The complete messages of the last Feed, each without its Chr(4).
  const std::vector<std::string_view>& Messages() const { return messages_; }
  /// The tail held for the next block (RxHolding).
  const std::string& Holding() const { return holding_; }
  /// Forgets everything held: a new link starts clean.
  void Reset();

 private:
  std::string holding_;
  std::string combined_;
  std::vector<std::string_view> messages_;
};

/// The fields of one downstream message.
using LinkFields = std::vector<std::string_view>;

/// The fields of one downstream message, split at Chr(3); an empty message has none.
void SplitFields(std::string_view message, LinkFields& fields);

}  // namespace velgate
