#pragma once
// A real gateway in a temporary folder, on a test loop with virtual time, listening on free
// loopback ports written into its Velgate.cfg.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestLoop.h"
#include "TestPeer.h"
#include "app/Gateway.h"

namespace velgate::testing {

/// Records as Velgate.cfg holds them, one a line, CR LF after each.
std::string ConfigLines(std::initializer_list<std::string> lines);

class GatewayFixture : public ::testing::Test {
 protected:
  GatewayFixture();
  ~GatewayFixture() override;

  /// The usual settings: one user port, cluster and monitor ports, all free, plus extra lines.
  std::string StandardConfig(std::initializer_list<std::string> extra = {}) const;
  /// Creates the gateway and runs start-up up to and past the 250 ms pause.
  Gateway& Start();
  /// error.log's text, empty when there is none.
  std::string ErrorLogText() const;
  /// How many entries error.log holds.
  std::size_t ErrorLogLines() const;

  TempFolder folder;
  TestLoop loop;
  int user_port;
  int second_user_port;
  int cluster_port;
  int monitor_port;
  int bridge_port;
  std::unique_ptr<Gateway> gateway;
  bool shut_down = false;
};

}  // namespace velgate::testing
