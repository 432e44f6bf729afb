#include "ui/qt/GatewayThread.h"

#include <asio/post.hpp>

namespace velgate::qt {

GatewayThread::GatewayThread(const Clock& clock, bool real_time, const GatewayOptions& options)
    : work_(asio::make_work_guard(io_)), timers_(clock), signals_(io_) {
  if (real_time) driver_.emplace(io_, timers_);
  gateway_ = std::make_unique<Gateway>(io_, clock, timers_, options);
}

GatewayThread::~GatewayThread() {
  Stop();
}

void GatewayThread::Start(ViewListener* listener, std::function<void()> on_shutdown) {
  on_shutdown_ = std::move(on_shutdown);
  gateway_->View().SetListener(listener);
  gateway_->SetShutdownHandler([this] {
    RunOnGuiThread([this] {
      if (on_shutdown_) on_shutdown_();
    });
  });
  gateway_->WatchSignals(signals_);
  asio::post(io_, [this] { gateway_->FormLoad(); });
  thread_ = std::thread([this] { io_.run(); });
}

void GatewayThread::Stop() {
  if (!thread_.joinable()) return;
  asio::post(io_, [this] {
    gateway_->CloseByProgram();
    std::error_code ignored;
    signals_.cancel(ignored);
    gateway_->View().SetListener(nullptr);
    gateway_->Log().SetSink(nullptr);
    work_.reset();
    io_.stop();
  });
  thread_.join();
}

void GatewayThread::Post(std::function<void(WindowActions&)> action) {
  asio::post(io_, [this, action = std::move(action)] {
    if (!gateway_->IsShutDown()) action(*gateway_);
  });
}

void GatewayThread::RequestPublish() {
  asio::post(io_, [this] { exchange_.Publish(gateway_->View()); });
}

void GatewayThread::PostToCore(std::function<void(Gateway&, TimerQueue&)> work) {
  asio::post(io_, [this, work = std::move(work)] { work(*gateway_, timers_); });
}

void GatewayThread::RunOnGuiThread(std::function<void()> work) {
  QMetaObject::invokeMethod(&gui_, std::move(work), Qt::QueuedConnection);
}

}  // namespace velgate::qt
