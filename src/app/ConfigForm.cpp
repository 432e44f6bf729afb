#include "app/ConfigForm.h"

#include "platform/NumberText.h"

namespace velgate {

ConfigForm LoadConfigForm(const Settings& settings) {
  ConfigForm form;
  form.monitor_port = settings.MonitorPort;
  form.cluster_port = PlainNumber(settings.ClusterPort);
  for (int i = 1; i <= settings.UserPortCount; ++i) form.user_ports.push_back(settings.UserPort(i));
  form.agw_port = settings.AGWPort;
  form.agw_enabled = settings.AGWEnabled != 0;
  form.preload = PlainNumber(settings.PreLoad);
  form.left = settings.CfgLeft;
  form.top = settings.CfgTop;
  return form;
}

void ApplyConfigForm(const ConfigForm& form, Settings& settings) {
  settings.MonitorPort = form.monitor_port;
  settings.ClusterPort = TextToInteger16(form.cluster_port);
  settings.UserPorts.assign(1, std::string());
  settings.UserPortCount = 0;
  for (const std::string& port : form.user_ports) {
    if (port.empty()) continue;
    settings.UserPortCount += 1;
    settings.SetUserPort(settings.UserPortCount, port);
  }
  settings.AGWPort = form.agw_port;
  settings.AGWEnabled = form.agw_enabled ? 1 : 0;
  settings.PreLoad = ToInteger16(Val(form.preload));
  settings.CfgLeft = form.left;
  settings.CfgTop = form.top;
}

}  // namespace velgate
