#pragma once
// The lock-out window: one row per entry with its "X", and Add, Save, Exit and Help. Rows are
// edited here; the list in force changes only when Save hands the rows to the gateway. The
// window's place is stored whenever it unloads.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <optional>

#include "protection/LockOutEditor.h"
#include "ui/qt/GatewayThread.h"

namespace velgate::qt {

class LockOutWindow : public QWidget {
 public:
  /// ending is set once the program ends: closing then stores nothing.
  LockOutWindow(GatewayThread& gateway, const bool& ending);

  /// Loads the rows from the list in force and shows the window at its stored place.
  void Reload();
  /// Stores the window's place and writes the settings (the window unloads).
  void Unload();
  /// Moves the window (Reset Screens).
  void MoveTo(const WindowPlacement& place);

  /// The rows as the window shows them (1-based; empty before the first load).
  int RowCount() const { return editor_ ? editor_->RowCount() : 0; }
  QString RowText(int i) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int Px(double twips) const;
  void Load(const Settings& settings);
  void BuildRows();
  void Add();
  void Save();
  WindowPlacement Placement();

  GatewayThread& gateway_;
  const bool& ending_;
  QLabel* warning_;
  QGroupBox* display_;
  QWidget* rows_area_;
  QGroupBox* update_;
  QLineEdit* entry_;
  std::optional<LockOutEditor> editor_;
  int loaded_count_ = 0;
  WindowPlacement known_place_;
};

}  // namespace velgate::qt
