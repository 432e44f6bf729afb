#pragma once
// The main window: the top row of counters and status texts, one indicator box per listener,
// the stream rows, the error line, and the menus "Configure", "Lock Outs" and "Reset Screens".
// It shows what the gateway's view holds, taken a few dozen times a second, and posts the
// operator's actions and edits to the gateway's thread.

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "ui/qt/ConfigWindow.h"
#include "ui/qt/GatewayThread.h"
#include "ui/qt/LockOutWindow.h"
#include "ui/qt/StreamRowsView.h"

namespace velgate::qt {

class MainWindow : public QMainWindow {
 public:
  /// How often the window takes the view's changes.
  static constexpr int kTickMs = 40;

  explicit MainWindow(GatewayThread& gateway);
  ~MainWindow() override;

  /// Starts the gateway's thread and shows the window at its stored place.
  void Start();
  /// Takes the view's changes and asks for the next ones (the window's tick).
  void TakeChanges();

  StreamRowsView& Rows() { return *rows_; }
  /// The configuration and lock-out windows while they are loaded, else null.
  ConfigWindow* Config() const { return config_; }
  LockOutWindow* LockOuts() const { return lock_outs_; }
  /// The menu commands; after_save reopens the configuration window after a Save.
  void OpenConfig(bool after_save = false);
  void OpenLockOuts();
  void ResetScreens();
  /// The question or alert boxes that are open.
  QList<QMessageBox*> MessageBoxes() const { return findChildren<QMessageBox*>(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  class Listener;

  QLabel* AddLabel(const char* name, const char* text, const char* tip, int left, int top,
                   int width, int height);
  int Px(double twips) const;
  void ApplyLabels(const MainLabels& labels);
  void ApplyIndicators(const std::vector<ListenerIndicator>& indicators);
  void ReFormat();
  void LayOutArea();
  void StorePlacement();
  QMessageBox* Ask(const QString& title, const QString& text, std::function<void()> on_yes);
  void ShowAlert(const QString& title, const QString& text);
  void BringToFront();
  void GatewayEnded();

  GatewayThread& gateway_;
  std::unique_ptr<Listener> listener_;
  QWidget* area_;
  StreamRowsView* rows_;
  QLabel* users_;
  QLabel* session_high_;
  QLabel* all_time_high_;
  QLabel* session_caption_;
  QLabel* all_time_caption_;
  QLabel* monitor_indicator_;
  QLabel* id_;
  QLabel* status_;
  QPushButton* start_;
  QPushButton* disconnect_;
  QLineEdit* error_;
  std::vector<QLabel*> indicator_boxes_;
  QTimer tick_;
  QPointer<ConfigWindow> config_;
  QPointer<LockOutWindow> lock_outs_;
  QPointer<QMessageBox> close_question_;
  std::deque<QPointer<QMessageBox>> open_alerts_;
  WindowPlacement known_place_;
  bool placed_ = false;  // at the stored place; from then on moves are stored
  bool ending_ = false;
  MainLabels shown_labels_;
};

}  // namespace velgate::qt
