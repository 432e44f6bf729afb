#include "platform/RunTimeError.h"

#include <cerrno>

namespace velgate {

RunTimeError RunTimeError::FromSocket(const std::error_code& error) {
  // Asio reports system errors in a category of its own; their values are errno values all the
  // same.
  const std::string category = error.category().name();
  if (category == "system" || category == "generic" || category == "asio.system") {
    switch (error.value()) {
      case EADDRINUSE:
        return RunTimeError(10048, "Address in use");
      case EACCES:
        return RunTimeError(10013, "Permission denied");
      case EADDRNOTAVAIL:
        return RunTimeError(10049, "Address not available");
      case ECONNREFUSED:
        return RunTimeError(kConnectionRefused, "Connection is forcefully rejected");
      case ECONNRESET:
        return RunTimeError(10054, "Connection is reset by remote side");
      case ETIMEDOUT:
        return RunTimeError(10060, "Connection timed out");
      case EMFILE:
      case ENFILE:
        return RunTimeError(10024, "Too many open files");
      default:
        break;
    }
  }
  return RunTimeError(10000 + error.value(), error.message());
}

}  // namespace velgate
