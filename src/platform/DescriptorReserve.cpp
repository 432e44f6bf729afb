#include "platform/DescriptorReserve.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>

namespace velgate {
namespace {

int OpenFilesLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur > static_cast<rlim_t>(INT_MAX)) {
    return INT_MAX;
  }
  return static_cast<int>(limit.rlim_cur);
}

}  // namespace

DescriptorReserve::DescriptorReserve() : limit_(OpenFilesLimit()) {
  RestoreSpare();
}

DescriptorReserve::~DescriptorReserve() {
  ReleaseSpare();
}

void DescriptorReserve::ReleaseSpare() {
  if (spare_ >= 0) ::close(spare_);
  spare_ = -1;
}

void DescriptorReserve::RestoreSpare() {
  if (spare_ < 0) spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

}  // namespace velgate
