// Fuzz target: the pure readers of untrusted bytes. The first byte picks one: the telnet filter
// (in blocks; it never makes text longer), the Velgate.cfg reader (read, derived, written) or
// the highwater.dat reader, or the monitor client (its model fed in blocks, then its screen and
// a few keys). The Velgate.cfg
// reader's lists (text prefixes and networks, IPv4 and IPv6) are then matched against addresses of
// both families, and the bytes themselves are read as an address, a network and a list record.

#include <cstdlib>
#include <string>

#include "FuzzGateway.h"
#include "app/ConfigFile.h"
#include "codec/TelnetFilter.h"
#include "platform/RunTimeError.h"
#include "protection/HighwaterFile.h"
#include "protection/LockOuts.h"
#include "viewer/MonitorScreen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 4) {
    case 0: {
      velgate::TelnetFilterState state;
      std::string text;
      velgate::testing::InBlocks(data + 1, size - 1, [&](std::string_view block) {
        velgate::FilterTelnet(state, block, text);
      });
      if (text.size() > bytes.size()) std::abort();
      break;
    }
    case 1: {
      velgate::Settings settings;
      velgate::ReadConfigRecords(bytes, settings);
      velgate::FinishConfigReading(settings);
      velgate::AddBridgePortEntry(settings);
      velgate::WriteConfigText(settings);
      for (const char* address : {"192.0.2.7", "2001:db8::1", "::1"}) {
        velgate::FirstMatchingLockOut(settings, address);
        velgate::Allowed(settings.ClusterAllow, address);
      }
      velgate::IpAddress::Parse(bytes);
      if (const auto network = velgate::NetworkPrefix::Parse(bytes)) network->Text();
      velgate::AddressRuleMatches(bytes, "2001:db8::1");
      break;
    }
    case 3: {
      namespace viewer = velgate::viewer;
      velgate::ManualClock clock;
      asio::io_context io;
      velgate::TimerQueue timers(clock);
      viewer::MonitorModel model(clock);
      viewer::MonitorSession session(io, timers, model, "127.0.0.1", 1);
      viewer::MonitorScreen screen(model, session, session);
      velgate::testing::InBlocks(data + 1, size - 1,
                                 [&](std::string_view block) { model.Feed(block); });
      for (const int key :
           std::initializer_list<int>{'s', viewer::keys::kEnd, 'f', '/', 'G', '\n'}) {
        screen.Key(key);
        screen.Picture(80, 24);
      }
      break;
    }
    default:
      try {
        velgate::ReadHighwaterCount(bytes);
      } catch (const velgate::RunTimeError&) {
      }
      velgate::ReadHighwaterDate(bytes);
      break;
  }
  return 0;
}
