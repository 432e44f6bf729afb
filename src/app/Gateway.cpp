#include "app/Gateway.h"

#include <asio/post.hpp>
#include <csignal>

#include "codec/LinkCodec.h"
#include "platform/Process.h"

namespace velgate {

Gateway::Gateway(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                 const GatewayOptions& options)
    : io_(io),
      clock_(clock),
      folder_(options.folder),
      error_log_(folder_.File("error.log"), clock,
                 [this](const std::string& description) {
                   view_.Alert("Velgate", "error.log cannot be written: " + description);
                 }),
      saved_files_(error_log_, view_, oplog_),
      descriptors_(clock, error_log_, view_, oplog_),
      feed_(error_log_),
      store_(folder_, error_log_, saved_files_, view_, feed_),
      local_ip_(LocalIPv4Address()),
      highwater_(store_.Marks(), view_, feed_, clock, saved_files_, folder_.File("highwater.dat")),
      watchdog_(timers, view_, feed_, error_log_, oplog_,
                [this](int i, int port) { streams_.Table().Socket(i).ListenAgain(port); }),
      streams_(io, timers,
               {view_, store_.Current(), error_log_, feed_, highwater_, watchdog_, oplog_, clock}),
      link_(
          io, timers, streams_,
          {view_, store_.Current(), error_log_, feed_, clock, start_time_, folder_.Path(), oplog_},
          // The cluster's order to end is carried out from the loop, not inside its handler.
          [this] {
            asio::post(io_, [this] {
              if (!unloaded_) oplog_.Record(oplog::Stopping{"", "cluster"});
              CloseByProgram();
            });
          }),
      monitor_port_(
          io, timers,
          {feed_, streams_.Table(), view_, store_.Current(), store_.Marks(), error_log_, oplog_}),
      start_up_(timers, {clock, folder_, store_, error_log_, view_, streams_.Table(), watchdog_,
                         link_, monitor_port_, descriptors_, start_time_, local_ip_, oplog_,
                         options.raise_priority}),
      summary_(timers, {oplog_, streams_, link_, monitor_port_, store_.Marks()}),
      service_(timers, options.service, streams_.Table(), saved_files_) {
  streams_.AttachUplink(link_);
  start_up_.SetListenersOpenHandler([this] { service_.Ready(); });
}

Gateway::~Gateway() = default;

StreamRange Gateway::ConsoleStreams() const {
  return {store_.Current().FirstStreamIndex, streams_.Table().StreamMax()};
}

void Gateway::FormLoad() {
  started_ms_ = clock_.SteadyMs();
  start_up_.FormLoad();
}

bool Gateway::ConsoleEnter(int s, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return link_.SendToCluster(AA00(s, line));
}

void Gateway::SetCallText(int s, std::string text) {
  if (s < 1 || s >= view_.RowCount()) return;
  view_.MutableRow(s).call.text = std::move(text);
}

void Gateway::PlaceMainWindow(const WindowPlacement& placement) {
  store_.Current().MainWindow = placement;
}

void Gateway::UnloadLockOuts(const WindowPlacement& window) {
  store_.StoreLockOutPlacement(window);
  store_.WriteFix();
}

void Gateway::CloseByUser() {
  if (unloaded_) return;
  oplog_.Record(oplog::Stopping{"", "operator"});
  if (!store_.WriteFix()) unsaved_at_end_ = saved_files_.Unsaved();
  Unload();
}

void Gateway::CloseByProgram() {
  Unload();
}

void Gateway::CloseOnSignal(int signal) {
  if (unloaded_) return;
  const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : nullptr;
  oplog_.Record(oplog::Stopping{name ? name : "SIG" + std::to_string(signal), ""});
  // Nothing is written (the operator may be editing the file), but what could not be saved
  // before is still told at the end.
  unsaved_at_end_ = saved_files_.Unsaved();
  CloseByProgram();
}

void Gateway::WatchSignals(asio::signal_set& signals) {
  std::error_code ignored;
  signals.add(SIGINT, ignored);
  signals.add(SIGTERM, ignored);
  signals.add(SIGHUP, ignored);
  signals.async_wait([this, &signals](const std::error_code& error, int signal) {
    if (error) return;
    if (signal != SIGHUP) {
      CloseOnSignal(signal);
      return;
    }
    Reload();
    if (!unloaded_) WatchSignals(signals);
  });
}

void Gateway::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  service_.Stopping();
  summary_.Stop();
  monitor_port_.Stop();
  streams_.Table().CloseAll();
  link_.Close();
  // Nothing ticks once the window is gone.
  start_up_.Stop();
  watchdog_.StopAll();
  // The program ends from the loop, never inside the handler that closed it.
  if (shutdown_handler_) asio::post(io_, shutdown_handler_);
}

}  // namespace velgate
