#include "GatewayFixture.h"

#include <algorithm>

namespace velgate::testing {

std::string ConfigLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

GatewayFixture::GatewayFixture() {
  std::vector<int> ports = FreePorts(5);
  user_port = ports[0];
  second_user_port = ports[1];
  cluster_port = ports[2];
  monitor_port = ports[3];
  bridge_port = ports[4];
}

GatewayFixture::~GatewayFixture() {
  if (gateway) gateway->CloseByProgram();
  gateway.reset();
}

std::string GatewayFixture::StandardConfig(std::initializer_list<std::string> extra) const {
  std::string text = ConfigLines({
      "\"AGWenabled\",0",
      "\"ClusterPort\"," + std::to_string(cluster_port),
      "\"UserPort\",\"" + std::to_string(user_port) + "\"",
      "\"AGWport\",\"" + std::to_string(bridge_port) + "\"",
      "\"MonitorPort\",\"" + std::to_string(monitor_port) + "\"",
  });
  for (const std::string& line : extra) text += line + "\r\n";
  return text;
}

Gateway& GatewayFixture::Start() {
  gateway = std::make_unique<Gateway>(loop.io, loop.clock, loop.timers,
                                      GatewayOptions{folder.Path(), false});
  gateway->SetShutdownHandler([this] { shut_down = true; });
  gateway->FormLoad();
  loop.AdvanceMs(250);
  return *gateway;
}

std::string GatewayFixture::ErrorLogText() const {
  return folder.Read("error.log").value_or("");
}

}  // namespace velgate::testing

namespace velgate::testing {

std::size_t GatewayFixture::ErrorLogLines() const {
  const std::string text = ErrorLogText();
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace velgate::testing
