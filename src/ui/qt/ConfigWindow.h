#pragma once
// The configuration window: ports, the bridge switch and PreLoad, with one row per user port.
// Save hands the fields to the gateway, which applies and writes them; the saved ports take
// effect at the next start.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/ConfigForm.h"
#include "ui/qt/GatewayThread.h"

namespace velgate::qt {

class ConfigWindow : public QWidget {
 public:
  /// Filled from settings; saved runs after a Save the gateway accepted.
  ConfigWindow(GatewayThread& gateway, const Settings& settings, std::function<void()> saved);

  /// The fields as they stand, as Save hands them over.
  ConfigForm Form() const;
  /// "Add Telnet Port": a new, empty row.
  void AddPortRow();
  int RowCount() const { return static_cast<int>(port_rows_.size()); }

 private:
  QLineEdit* AddField(const char* name, const char* label_name, const char* label, int left,
                      int top);
  int Px(double twips) const;
  void Save();

  GatewayThread& gateway_;
  std::function<void()> saved_;
  QWidget* frame_;
  QWidget* rows_area_;
  QLineEdit* monitor_port_;
  QLineEdit* cluster_port_;
  QLineEdit* preload_;
  QLineEdit* agw_port_;
  QCheckBox* agw_enabled_;
  QLabel* agw_label_;
  std::vector<QLineEdit*> port_rows_;
};

}  // namespace velgate::qt
