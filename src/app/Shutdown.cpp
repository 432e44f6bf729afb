// Shutdown: the operator's close saves the settings first; any other close does not.

#include <asio/post.hpp>

#include "app/Gateway.h"

namespace velgate {

void Gateway::CloseByUser() {
  if (unloaded_) return;
  WriteFix();
  Unload();
}

void Gateway::CloseByProgram() {
  Unload();
}

void Gateway::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  monitor_port_.Socket().Close();
  monitor_port_.Socket().SetRemotePort(0);
  monitor_port_.Socket().SetLocalPort(0);
  monitor_port_.Stop();
  Streams().CloseVelgatesIn();
  link_.Close();
  // Nothing ticks once the window is gone.
  timer2_.SetEnabled(false);
  timer4_.SetEnabled(false);
  timer5_.SetEnabled(false);
  watchdog_.StopAll();
  for (Timer& timer : Streams().tmrDisconnect) timer.SetEnabled(false);
  // The program ends from the loop, never inside the handler that closed it.
  if (shutdown_handler_) asio::post(io_, shutdown_handler_);
}

}  // namespace velgate
