#pragma once
// The operator's console without a window: operator lines in, alerts and status lines out,
// each with its journald priority in front like the operational log's lines ("<3>alert: ...").
//
//   send S TEXT   what Enter in stream S's call-sign field sends
//   disc          the "Disc Cluster" action, confirmed
//   quit          closing the window, confirmed: settings written, then shutdown

#include <ostream>
#include <string>
#include <string_view>

#include "app/OperatorActions.h"
#include "base/OperationsLog.h"
#include "model/ViewModel.h"

namespace velgate {

class HeadlessConsole final : public ViewListener {
 public:
  /// Lines about the gateway go to out, one each.
  HeadlessConsole(OperatorActions& actions, std::ostream& out);

  /// Carries out one operator line.
  void Execute(std::string_view line);

  void Alert(const std::string& title, const std::string& text) override;
  void LabelsChanged(const MainLabels& labels) override;
  void BringToFront() override {}
  void Report(const std::string& line) override;

 private:
  void Send(std::string_view arguments);
  void Say(LogPriority priority, const std::string& line);

  OperatorActions& actions_;
  std::ostream& out_;
  std::string shown_status_;
  std::string shown_error_;
};

}  // namespace velgate
