#pragma once
// The gateway on a thread of its own: the same core as the headless program, on its own
// io_context. The window never touches its state; it posts actions to the gateway's thread and
// takes the view's changes through the exchange. Answers come back on the window's thread.
//
//   window thread ── Post / Ask ──> gateway thread (asio::post)
//   window thread <── Take ── ViewExchange <── Publish ── gateway thread
//   window thread <── answers, alerts (queued to a Qt object) ── gateway thread

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/Gateway.h"
#include "model/ViewExchange.h"
#include "platform/AsioTimerDriver.h"
#include "platform/TimerQueue.h"

namespace velgate::qt {

class GatewayThread {
 public:
  /// With real_time the gateway's timers run on the system clock (clock must then be a
  /// SystemClock); otherwise whoever holds the clock moves time on with AdvanceMs.
  GatewayThread(const Clock& clock, bool real_time, const GatewayOptions& options);
  GatewayThread(const GatewayThread&) = delete;
  GatewayThread& operator=(const GatewayThread&) = delete;
  /// Stops the thread (see Stop).
  ~GatewayThread();

  /// Starts the thread with start-up as its first work. The listener hears alerts on the
  /// gateway's thread; on_shutdown runs on the window's thread once the gateway has ended.
  void Start(ViewListener* listener, std::function<void()> on_shutdown);
  /// Ends the thread and waits for it; the gateway is closed first if it still runs.
  void Stop();
  /// What was not saved when the gateway ended (Gateway::UnsavedAtEnd); read after Stop.
  const std::string& UnsavedAtEnd() const { return gateway_->UnsavedAtEnd(); }
  /// Where the operational log goes, set before Start; the sink is used on the gateway's thread.
  void SetLogSink(OperationsSink* sink) { gateway_->Log().SetSink(sink); }

  /// Runs action on the gateway's thread.
  void Post(std::function<void(WindowActions&)> action);
  /// Runs question on the gateway's thread, then answer with its result on the window's
  /// thread, unless context is gone by then.
  template <typename Result>
  void Ask(std::function<Result(WindowActions&)> question, QObject* context,
           std::function<void(const Result&)> answer);
  /// Asks the gateway's thread to publish the view's changes for the next Take.
  void RequestPublish();
  /// The view's changes, published on the gateway's thread and taken on the window's.
  ViewExchange& Exchange() { return exchange_; }

  /// Runs work on the gateway's thread with the gateway and its timers (a test moves virtual
  /// time on this way).
  void PostToCore(std::function<void(Gateway&, TimerQueue&)> work);

 private:
  void RunOnGuiThread(std::function<void()> work);

  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  TimerQueue timers_;
  std::optional<AsioTimerDriver> driver_;
  std::unique_ptr<Gateway> gateway_;
  ViewExchange exchange_;
  asio::signal_set signals_;
  QObject gui_;  // lives on the window's thread; queued work runs there
  std::function<void()> on_shutdown_;
  std::thread thread_;
};

template <typename Result>
void GatewayThread::Ask(std::function<Result(WindowActions&)> question, QObject* context,
                        std::function<void(const Result&)> answer) {
  auto target = std::make_shared<QPointer<QObject>>(context);
  Post([this, question = std::move(question), answer = std::move(answer),
        target](WindowActions& actions) {
    auto result = std::make_shared<Result>(question(actions));
    RunOnGuiThread([answer, result, target] {
      if (!target->isNull()) answer(*result);
    });
  });
}

}  // namespace velgate::qt
