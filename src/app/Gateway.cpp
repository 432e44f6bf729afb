#include "app/Gateway.h"

#include <asio/post.hpp>

#include "link/LinkCodec.h"
#include "platform/NumberText.h"
#include "platform/Process.h"

namespace velgate {

Gateway::Gateway(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                 GatewayOptions options)
    : io_(io),
      clock_(clock),
      options_(std::move(options)),
      folder_(options_.folder),
      error_log_(folder_.File("error.log"), clock,
                 [this](const std::string& description) {
                   view_.Alert("Velgate", "error.log cannot be written: " + description);
                 }),
      local_ip_(LocalIPv4Address()),
      monitor_feed_(view_, error_log_),
      highwater_(marks_, view_, monitor_feed_, clock, error_log_, folder_.File("highwater.dat")),
      streams_(io, timers, view_, settings_, error_log_, link_, monitor_feed_, highwater_,
               [this](int i) { watchdog_.Reset(i); }),
      link_(io, streams_.Table(), view_, settings_, error_log_, start_time_, folder_.Path(),
            LinkHooks()),
      dispatch_(link_, streams_, view_, monitor_feed_, clock),
      watchdog_(timers, streams_.Table(), view_, monitor_feed_, error_log_),
      monitor_port_(io, timers, monitor_feed_, streams_.Table(), view_, settings_, marks_,
                    error_log_),
      // The window's timers as it is created: Timer2 and Timer4 on, Timer5 off.
      timer2_(timers, 250, true, [this] { Timer2Tick(); }),
      timer4_(timers, 60000, true, [this] { Timer4Tick(); }),
      timer5_(timers, 5000, false, [this] { Timer5Tick(); }) {
  view_.Indicators().resize(1);
  view_.Indicators()[0] = ListenerIndicator{
      "0", "Number of Minutes Since Last Connection.  Resets at 6.", colours::kGreen};
}

Gateway::~Gateway() = default;

ClusterLink::Hooks Gateway::LinkHooks() {
  ClusterLink::Hooks hooks;
  // The cluster's order to end is carried out from the loop, not inside its own handler.
  hooks.shutdown_ordered = [this] { asio::post(io_, [this] { CloseByProgram(); }); };
  hooks.send_to_stream = [this](int s, std::string_view text) { streams_.SendToStream(s, text); };
  hooks.connect_out = [this](std::string_view call, std::string_view host, std::string_view port) {
    streams_.ConnectOut(call, host, port);
  };
  hooks.dispatch = [this](int code, const LinkFields& fields, int& marker) {
    dispatch_.Dispatch(code, fields, marker);
  };
  return hooks;
}

void Gateway::SetStatusColour(Colour colour) {
  view_.UpdateLabels([colour](MainLabels& labels) { labels.StatusColour = colour; });
}

void Gateway::ConsoleEnter(int s, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  link_.SendToCluster(AA00(s, line));
}

}  // namespace velgate
