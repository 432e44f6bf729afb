#include "ui/qt/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QScreen>
#include <iostream>

#include "ui/qt/Twips.h"

namespace velgate::qt {
namespace {

// Alerts waiting for the window, and alert boxes open at once: a burst of failures must not
// queue or open without bound.
constexpr int kMaxPendingAlerts = 100;
constexpr std::size_t kMaxOpenAlerts = 10;

}  // namespace

// Hears the gateway on its own thread and hands what it says to the window's thread.
class MainWindow::Listener final : public ViewListener {
 public:
  explicit Listener(MainWindow& window) : window_(window) {}

  void Alert(const std::string& title, const std::string& text) override {
    if (pending_.fetch_add(1) >= kMaxPendingAlerts) {
      pending_.fetch_sub(1);
      return;
    }
    QMetaObject::invokeMethod(
        &window_,
        [this, title = ToQString(title), text = ToQString(text)] {
          pending_.fetch_sub(1);
          window_.ShowAlert(title, text);
        },
        Qt::QueuedConnection);
  }
  // Labels reach the window with the rows, through the exchange.
  void LabelsChanged(const MainLabels&) override {}
  void BringToFront() override {
    QMetaObject::invokeMethod(
        &window_, [this] { window_.BringToFront(); }, Qt::QueuedConnection);
  }
  // The operator's log goes where a sysop looks first, as the headless program's does.
  void Report(const std::string& line) override { std::cerr << line << std::endl; }

 private:
  MainWindow& window_;
  std::atomic<int> pending_{0};
};

MainWindow::MainWindow(GatewayThread& gateway)
    : gateway_(gateway),
      listener_(std::make_unique<Listener>(*this)),
      area_(new QWidget(this)),
      rows_(new StreamRowsView(area_)) {
  setObjectName("frmVelgate");
  setCentralWidget(area_);
  area_->setAutoFillBackground(true);
  menuBar()->addAction("Configure", this, [this] { OpenConfig(); })->setObjectName("configure");
  menuBar()->addAction("Lock Outs", this, [this] { OpenLockOuts(); })->setObjectName("Lockouts");
  menuBar()
      ->addAction("Reset Screens", this, [this] { ResetScreens(); })
      ->setObjectName("ResetScreen");

  AddLabel("Label1", "Users", "Current Number of Links", 120, 60, 495, 195);
  users_ = AddLabel("lblIn", "0", nullptr, 660, 60, 495, 195);
  session_caption_ = AddLabel("Label3", "Max", "Session Highwater Mark", 1440, 60, 345, 195);
  session_high_ = AddLabel("Label6", "0", nullptr, 1860, 60, 495, 195);
  all_time_caption_ = AddLabel("Label5", "Highest", "All-Time Highwater Mark", 2520, 60, 675, 195);
  all_time_high_ = AddLabel("Label4", "0", nullptr, 3240, 60, 495, 195);
  monitor_indicator_ = AddLabel("Label2", "", nullptr, 3600, 60, 135, 195);
  monitor_indicator_->setAutoFillBackground(true);
  id_ = AddLabel("lblIDnr", "ID ", nullptr, 3960, 60, 975, 255);
  id_->setAutoFillBackground(true);
  status_ = AddLabel("lblDate", "Socket Error", nullptr, 8160, 60, 5835, 195);

  start_ = new QPushButton("Start", area_);
  start_->setObjectName("Command2");
  start_->setGeometry(Px(6480), 0, Px(735), Px(255));
  connect(start_, &QPushButton::clicked, this,
          [this] { gateway_.Post([](WindowActions& actions) { actions.StartAction(); }); });
  disconnect_ = new QPushButton("Disc Cluster", area_);
  disconnect_->setObjectName("Command1");
  disconnect_->setGeometry(Px(14160), Px(60) - 2, Px(1095), Px(255));
  connect(disconnect_, &QPushButton::clicked, this, [this] {
    Ask("Disconnect?", "Do you really want to terminate the cluster connection?",
        [this] { gateway_.Post([](WindowActions& actions) { actions.DisconnectCluster(); }); });
  });
  error_ = new QLineEdit("Error Text", area_);
  error_->setObjectName("txtError");
  error_->setReadOnly(true);
  error_->setToolTip("Error messages will appear here.");

  rows_->on_call_edited = [this](int s, const std::string& text) {
    gateway_.Post([s, text](WindowActions& actions) { actions.SetCallText(s, text); });
  };
  rows_->on_call_enter = [this](int s, const std::string& text) {
    gateway_.Post([s, text](WindowActions& actions) { actions.ConsoleEnter(s, text); });
  };
  // Tab order: the buttons, then the rows.
  setTabOrder(start_, disconnect_);
  setTabOrder(disconnect_, rows_);
  setTabOrder(rows_, error_);

  connect(&tick_, &QTimer::timeout, this, [this] { TakeChanges(); });
  resize(Px(7000), Px(5000));
  LayOutArea();
}

MainWindow::~MainWindow() = default;

QLabel* MainWindow::AddLabel(const char* name, const char* text, const char* tip, int left, int top,
                             int width, int height) {
  auto* label = new QLabel(text, area_);
  label->setObjectName(name);
  if (tip) label->setToolTip(tip);
  label->setGeometry(Px(left), Px(top), Px(width), Px(height));
  return label;
}

int MainWindow::Px(double twips) const {
  return ToPixels(twips, logicalDpiY());
}

void MainWindow::Start() {
  gateway_.Start(listener_.get(), [this] { GatewayEnded(); });
  show();
  // Start-up reads the stored place first; the window takes it from there.
  gateway_.Ask<Settings>([](WindowActions& actions) { return actions.SettingsCopy(); }, this,
                         [this](const Settings& settings) {
                           showNormal();
                           known_place_ = settings.MainWindow;
                           Place(*this, known_place_);
                           // A place on a screen that is no longer there comes back in view.
                           const QScreen* shown =
                               QGuiApplication::screenAt(frameGeometry().center());
                           if (shown == nullptr && screen() != nullptr)
                             move(screen()->availableGeometry().topLeft());
                           placed_ = true;
                           StorePlacement();
                         });
  tick_.start(kTickMs);
}

void MainWindow::TakeChanges() {
  ViewChanges changes = gateway_.Exchange().Take();
  bool place_rows = changes.row_count > rows_->RowCount();
  if (changes.indicators) {
    ApplyIndicators(*changes.indicators);
    place_rows = true;
  }
  if (changes.labels) ApplyLabels(*changes.labels);
  rows_->SetRowCount(changes.row_count);
  for (auto& [s, row] : changes.rows) rows_->SetRow(s, std::move(row));
  if (place_rows) ReFormat();
  if (!changes.rows.empty()) rows_->viewport()->update();
  gateway_.RequestPublish();
}

void MainWindow::ApplyLabels(const MainLabels& labels) {
  setWindowTitle(ToQString(labels.title));
  users_->setText(ToQString(labels.lblIn));
  session_high_->setText(ToQString(labels.Label6));
  all_time_high_->setText(ToQString(labels.Label4));
  session_caption_->setToolTip(ToQString(labels.Label3Tip));
  all_time_caption_->setToolTip(ToQString(labels.Label5Tip));
  id_->setText(ToQString(labels.lblIDnr));
  status_->setText(ToQString(labels.lblDate));
  error_->setText(ToQString(labels.txtError));
  error_->setCursorPosition(0);
  start_->setVisible(labels.StartButtonVisible);
  start_->setText(ToQString(labels.StartButtonCaption));
  const QColor face = QApplication::palette().color(QPalette::Button);
  QPalette painted = area_->palette();
  painted.setColor(QPalette::Window, ToQColor(labels.StatusColour, face));
  area_->setPalette(painted);
  QPalette indicator = monitor_indicator_->palette();
  indicator.setColor(QPalette::Window, ToQColor(labels.Label2Colour, face));
  monitor_indicator_->setPalette(indicator);
  QPalette plain = id_->palette();
  plain.setColor(QPalette::Window, face);
  id_->setPalette(plain);
  shown_labels_ = labels;
}

void MainWindow::ApplyIndicators(const std::vector<ListenerIndicator>& indicators) {
  const QColor face = QApplication::palette().color(QPalette::Button);
  // Box 0 is the template; box i stands 300 twips right of box i-1.
  const std::size_t boxes = indicators.empty() ? 0 : indicators.size() - 1;
  while (indicator_boxes_.size() < boxes) {
    const int i = static_cast<int>(indicator_boxes_.size()) + 1;
    auto* box = new QLabel(area_);
    box->setObjectName(QString("txtReset%1").arg(i));
    box->setAlignment(Qt::AlignCenter);
    box->setFrameShape(QFrame::Box);
    box->setAutoFillBackground(true);
    box->setGeometry(Px(5280 + 300 * i), 0, Px(255), Px(285));
    box->show();
    indicator_boxes_.push_back(box);
  }
  for (std::size_t i = 0; i < indicator_boxes_.size(); ++i) {
    QLabel* box = indicator_boxes_[i];
    box->setVisible(i < boxes);
    if (i >= boxes) continue;
    const ListenerIndicator& shown = indicators[i + 1];
    box->setText(ToQString(shown.text));
    box->setToolTip(ToQString(shown.tip));
    QPalette colour = box->palette();
    colour.setColor(QPalette::Window, ToQColor(shown.colour, face));
    box->setPalette(colour);
  }
  if (static_cast<int>(boxes) != rows_->Listeners()) rows_->Resized();
  rows_->SetListeners(static_cast<int>(boxes));
}

void MainWindow::ReFormat() {
  const int dpi = logicalDpiY();
  rows_->ReFormat(static_cast<int>(std::lround(ToTwips(frameGeometry().height(), dpi))),
                  isMinimized());
}

void MainWindow::LayOutArea() {
  const int width = area_->width();
  const int height = area_->height();
  const int error_top = height - Px(285) - Px(60);
  rows_->setGeometry(0, Px(StreamRowsView::kAreaTop), width,
                     std::max(0, error_top - Px(60) - Px(StreamRowsView::kAreaTop)));
  error_->setGeometry(Px(120), error_top, std::min(Px(10815), std::max(0, width - Px(240))),
                      Px(285));
}

void MainWindow::StorePlacement() {
  if (!placed_ || ending_ || windowState() != Qt::WindowNoState) return;
  known_place_ = PlacementOf(*this, known_place_);
  gateway_.Post([place = known_place_](WindowActions& actions) { actions.PlaceMainWindow(place); });
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  StorePlacement();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayOutArea();
  rows_->Resized();
  ReFormat();
  StorePlacement();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  // Back from the task bar: every row is placed again for the height the window has now.
  if (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized) {
    rows_->Resized();
    ReFormat();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (ending_) {
    event->accept();
    return;
  }
  event->ignore();
  // The settings are written before the question; No keeps everything running.
  StorePlacement();
  gateway_.Post([](WindowActions& actions) { actions.WriteSettings(); });
  if (close_question_) return;
  close_question_ =
      Ask("Cluster Telnet Connections", "Do you really want to end program? ", [this] {
        if (lock_outs_) lock_outs_->Unload();
        gateway_.Post([](WindowActions& actions) { actions.EndProgram(); });
      });
}

QMessageBox* MainWindow::Ask(const QString& title, const QString& text,
                             std::function<void()> on_yes) {
  auto* box =
      new QMessageBox(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, this);
  box->setDefaultButton(QMessageBox::No);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::WindowModal);
  connect(box, &QMessageBox::buttonClicked, this,
          [box, on_yes = std::move(on_yes)](QAbstractButton* button) {
            if (box->standardButton(button) == QMessageBox::Yes) on_yes();
          });
  box->open();
  return box;
}

void MainWindow::ShowAlert(const QString& title, const QString& text) {
  std::erase_if(open_alerts_, [](const QPointer<QMessageBox>& box) { return box.isNull(); });
  while (open_alerts_.size() >= kMaxOpenAlerts) {
    if (open_alerts_.front()) open_alerts_.front()->close();
    open_alerts_.pop_front();
  }
  // Non-modal: the relay goes on while the operator reads it.
  auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
  open_alerts_.emplace_back(box);
}

void MainWindow::BringToFront() {
  // Timer4 brings the window forward: to the top-left corner, size unchanged, on top.
  if (isMinimized()) showNormal();
  if (screen() != nullptr) move(screen()->availableGeometry().topLeft());
  raise();
  activateWindow();
}

void MainWindow::OpenConfig(bool after_save) {
  if (config_) {
    config_->raise();
    config_->activateWindow();
    return;
  }
  gateway_.Ask<Settings>([](WindowActions& actions) { return actions.SettingsCopy(); }, this,
                         [this, after_save](const Settings& settings) {
                           if (config_ || ending_) return;
                           config_ = new ConfigWindow(gateway_, settings, [this] {
                             // Save reopens the window with the saved values, then says so.
                             config_->close();
                             config_ = nullptr;
                             OpenConfig(true);
                           });
                           config_->show();
                           if (!after_save) return;
                           auto* box = new QMessageBox(QMessageBox::Information, "Restart?",
                                                       "Please restart if any ports were changed.",
                                                       QMessageBox::Ok, this);
                           box->setAttribute(Qt::WA_DeleteOnClose);
                           box->open();
                         });
}

void MainWindow::OpenLockOuts() {
  if (lock_outs_) {
    lock_outs_->raise();
    lock_outs_->activateWindow();
    return;
  }
  lock_outs_ = new LockOutWindow(gateway_, ending_);
  lock_outs_->Reload();
}

void MainWindow::ResetScreens() {
  showNormal();
  known_place_ = WindowPlacement{0, 0, 4000, 4000};
  Place(*this, known_place_);
  if (lock_outs_) lock_outs_->MoveTo(WindowPlacement{0, 0, 4000, 4000});
  if (config_) config_->move(0, 0);
  gateway_.Post([](WindowActions& actions) { actions.ResetScreens(); });
}

void MainWindow::GatewayEnded() {
  ending_ = true;
  tick_.stop();
  if (config_) config_->close();
  if (lock_outs_) lock_outs_->close();
  close();
  QCoreApplication::quit();
}

}  // namespace velgate::qt
