#include "ui/qt/ConfigWindow.h"

#include <QFontDatabase>
#include <QFrame>
#include <QScrollArea>

#include "ui/qt/HelpPage.h"
#include "ui/qt/Twips.h"

namespace velgate::qt {
namespace {

// The user-port rows stand 400 twips apart in a column of their own, scrolled when they are
// more than the window's height holds.
constexpr int kRowsLeft = 3700;
constexpr int kRowStep = 400;

}  // namespace

ConfigWindow::ConfigWindow(GatewayThread& gateway, const Settings& settings,
                           std::function<void()> saved)
    : QWidget(nullptr, Qt::Window), gateway_(gateway), saved_(std::move(saved)) {
  setObjectName("frmCfg");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Velgate Configuration");
  setFixedSize(Px(6015), Px(4440));
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  frame->setGeometry(Px(120), Px(120), Px(5775), Px(4215));
  frame_ = frame;

  preload_ = AddField("txtPreload", "lblCfg4", "PreLoad", 240, 1080);
  monitor_port_ = AddField("txtMonitorPort", "lblCfg1", "Monitor Port", 2160, 240);
  cluster_port_ = AddField("txtClusterPort", "lblCfg2", "Cluster Port", 2160, 1080);
  agw_enabled_ = new QCheckBox("AGW Enabled", frame_);
  agw_enabled_->setObjectName("chkAGW");
  // Wider than the design's 1335 twips, so the caption fits today's fonts.
  agw_enabled_->setGeometry(Px(240), Px(2220), Px(1680), Px(255));
  agw_port_ = AddField("txtAGWport", "lblCfg5", "AGW/Velgate Port", 2160, 1920);
  agw_label_ = frame_->findChild<QLabel*>("lblCfg5");
  agw_label_->setGeometry(Px(1920), Px(1920), Px(1815), Px(255));
  connect(agw_enabled_, &QCheckBox::toggled, agw_label_, &QLabel::setEnabled);

  auto* heading = new QLabel("Telnet Port", frame_);
  heading->setObjectName("lblTelnet");
  heading->setGeometry(Px(4080), Px(240), Px(1335), Px(255));
  auto* scroll = new QScrollArea(frame_);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setGeometry(Px(kRowsLeft), Px(480), Px(5700 - kRowsLeft), Px(3000));
  rows_area_ = new QWidget;
  scroll->setWidget(rows_area_);

  const char* captions[] = {"Add Telnet Port", "Save", "Exit", "Help"};
  const int places[][2] = {{4080, 1335}, {240, 735}, {1320, 735}, {2400, 735}};
  for (int i = 0; i < 4; ++i) {
    auto* button = new QPushButton(captions[i], frame_);
    button->setObjectName(QString("cmdCluster%1").arg(i));
    button->setGeometry(Px(places[i][0]), Px(3600), Px(places[i][1]), Px(375));
    connect(button, &QPushButton::clicked, this, [this, i] {
      if (i == 0) AddPortRow();
      if (i == 1) Save();
      if (i == 2) close();
      if (i == 3) OpenHelpPage("configuration.html");
    });
  }

  const ConfigForm form = LoadConfigForm(settings);
  monitor_port_->setText(ToQString(form.monitor_port));
  cluster_port_->setText(ToQString(form.cluster_port));
  for (const std::string& port : form.user_ports) {
    AddPortRow();
    port_rows_.back()->setText(ToQString(port));
  }
  agw_port_->setText(ToQString(form.agw_port));
  agw_enabled_->setChecked(form.agw_enabled);
  preload_->setText(ToQString(form.preload));
  move(ToPixels(form.left, logicalDpiX()), ToPixels(form.top, logicalDpiY()));
  agw_label_->setEnabled(agw_enabled_->isChecked());
}

int ConfigWindow::Px(double twips) const {
  return ToPixels(twips, logicalDpiY());
}

QLineEdit* ConfigWindow::AddField(const char* name, const char* label_name, const char* label,
                                  int left, int top) {
  auto* caption = new QLabel(label, frame_);
  caption->setObjectName(label_name);
  caption->setGeometry(Px(left), Px(top), Px(1815), Px(240));
  auto* field = new QLineEdit(frame_);
  field->setObjectName(name);
  field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  field->setGeometry(Px(left), Px(top + 240), Px(1335), Px(330));
  return field;
}

void ConfigWindow::AddPortRow() {
  const int n = RowCount() + 1;
  const int top = (n - 1) * kRowStep;
  auto* remove = new QPushButton("X", rows_area_);
  remove->setObjectName(QString("cmdDel%1").arg(n));
  remove->setToolTip("Delete Line. ");
  remove->setGeometry(Px(50), Px(top + 40), Px(255), Px(255));
  auto* port = new QLineEdit(rows_area_);
  port->setObjectName(QString("txtUserPort%1").arg(n));
  port->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  port->setGeometry(Px(380), Px(top), Px(1335), Px(330));
  // X empties the row; it stays on screen and is dropped at the next Save.
  connect(remove, &QPushButton::clicked, port, &QLineEdit::clear);
  port_rows_.push_back(port);
  rows_area_->resize(Px(1800), Px(n * kRowStep));
  remove->show();
  port->show();
}

ConfigForm ConfigWindow::Form() const {
  ConfigForm form;
  form.monitor_port = ToBytes(monitor_port_->text());
  form.cluster_port = ToBytes(cluster_port_->text());
  for (const QLineEdit* row : port_rows_) form.user_ports.push_back(ToBytes(row->text()));
  form.agw_port = ToBytes(agw_port_->text());
  form.agw_enabled = agw_enabled_->isChecked();
  form.preload = ToBytes(preload_->text());
  form.left = static_cast<std::int32_t>(std::lround(ToTwips(pos().x(), logicalDpiX())));
  form.top = static_cast<std::int32_t>(std::lround(ToTwips(pos().y(), logicalDpiY())));
  return form;
}

void ConfigWindow::Save() {
  gateway_.Ask<bool>(
      [form = Form()](WindowActions& actions) { return actions.SaveConfigForm(form); }, this,
      [this](const bool& saved) {
        // A bad number ends the Save where it failed: logged, nothing written, window as is.
        if (saved && saved_) saved_();
      });
}

}  // namespace velgate::qt
