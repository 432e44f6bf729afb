#include "ui/qt/LockOutWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/qt/HelpPage.h"
#include "ui/qt/Twips.h"

namespace velgate::qt {
namespace {

constexpr int kRowStep = 330;

}  // namespace

LockOutWindow::LockOutWindow(GatewayThread& gateway, const bool& ending)
    : QWidget(nullptr, Qt::Window),
      gateway_(gateway),
      ending_(ending),
      warning_(new QLabel(kEmptyLockOutWarning)),
      display_(new QGroupBox("IP Addresses", this)),
      update_(new QGroupBox("Add IP", this)),
      entry_(new QLineEdit(update_)) {
  setObjectName("frmLockOuts");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Lock Outs");
  display_->setObjectName("fraDisplay");
  update_->setObjectName("fraUpdate");
  // The rows scroll when there are more than the frame holds.
  auto* scroll = new QScrollArea(display_);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rows_area_ = new QWidget;
  scroll->setWidget(rows_area_);
  auto* display_layout = new QVBoxLayout(display_);
  // The list in force refuses everyone while it holds an empty entry; the operator is told.
  warning_->setObjectName("lblWarning");
  warning_->setWordWrap(true);
  warning_->setStyleSheet("color: #b00000");
  warning_->hide();
  display_layout->addWidget(warning_);
  display_layout->addWidget(scroll);

  entry_->setObjectName("txtCall");
  entry_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  entry_->setGeometry(Px(120), Px(300), Px(2400), Px(330));
  connect(entry_, &QLineEdit::returnPressed, this, [this] { Add(); });
  const char* captions[] = {"Add", "Save", "Exit", "Help"};
  for (int i = 0; i < 4; ++i) {
    auto* button = new QPushButton(captions[i], update_);
    button->setObjectName(QString("cmdLockOuts%1").arg(i));
    button->setGeometry(Px(120 + i * 840), Px(800), Px(735), Px(375));
    connect(button, &QPushButton::clicked, this, [this, i] {
      if (i == 0) Add();
      if (i == 1) Save();
      if (i == 2) close();
      if (i == 3) OpenHelpPage("lockouts.html");
    });
  }
}

int LockOutWindow::Px(double twips) const {
  return ToPixels(twips, logicalDpiY());
}

QString LockOutWindow::RowText(int i) const {
  const auto* label = rows_area_->findChild<QLabel*>(QString("lblLockOuts%1").arg(i));
  return label ? label->text() : QString();
}

void LockOutWindow::Reload() {
  gateway_.Ask<Settings>([](WindowActions& actions) { return actions.SettingsCopy(); }, this,
                         [this](const Settings& settings) { Load(settings); });
}

void LockOutWindow::Load(const Settings& settings) {
  known_place_ = WindowPlacement{
      static_cast<float>(settings.LockOutsTop), static_cast<float>(settings.LockOutsLeft),
      static_cast<float>(settings.LockOutsHeight), static_cast<float>(settings.LockOutsWidth)};
  editor_.emplace(settings);
  loaded_count_ = settings.LockOutCount;
  warning_->setVisible(settings.HasEmptyLockOut());
  entry_->clear();
  BuildRows();
  show();
  Place(*this, known_place_);
}

void LockOutWindow::BuildRows() {
  for (QWidget* row : rows_area_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    delete row;
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (int i = 1; i <= editor_->RowCount(); ++i) {
    const int top = (i - 1) * kRowStep;
    auto* remove = new QPushButton("X", rows_area_);
    remove->setObjectName(QString("cmdDel%1").arg(i));
    remove->setToolTip("Delete Line. ");
    remove->setGeometry(Px(60), Px(top + 30), Px(255), Px(255));
    auto* label = new QLabel(ToQString(editor_->Row(i)), rows_area_);
    label->setObjectName(QString("lblLockOuts%1").arg(i));
    label->setFont(fixed);
    label->setGeometry(Px(420), Px(top), Px(2600), Px(300));
    // X blanks the row; the blank row stays with its button.
    connect(remove, &QPushButton::clicked, this, [this, i, label] {
      editor_->Delete(i);
      label->clear();
    });
    remove->show();
    label->show();
  }
  rows_area_->setMinimumHeight(Px(editor_->RowCount() * kRowStep + 60));
}

void LockOutWindow::Add() {
  if (!editor_ || !editor_->Add(ToBytes(entry_->text()))) return;
  BuildRows();
  entry_->clear();
}

void LockOutWindow::Save() {
  if (!editor_) return;
  gateway_.Post([rows = editor_->SavedList(), loaded = loaded_count_, place = Placement()](
                    WindowActions& actions) { actions.SaveLockOuts(rows, loaded, place); });
  // The window unloads and loads again with the list as saved.
  Unload();
  Reload();
}

WindowPlacement LockOutWindow::Placement() {
  known_place_ = PlacementOf(*this, known_place_);
  return known_place_;
}

void LockOutWindow::Unload() {
  if (ending_) return;
  gateway_.Post([place = Placement()](WindowActions& actions) { actions.UnloadLockOuts(place); });
}

void LockOutWindow::MoveTo(const WindowPlacement& place) {
  showNormal();
  known_place_ = place;
  Place(*this, place);
}

void LockOutWindow::closeEvent(QCloseEvent* event) {
  // Exit or closing the window: unsaved row edits are dropped, the place is stored.
  if (editor_) Unload();
  event->accept();
}

void LockOutWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int height =
      static_cast<int>(std::lround(ToTwips(frameGeometry().height(), logicalDpiY())));
  const int width = static_cast<int>(std::lround(ToTwips(frameGeometry().width(), logicalDpiX())));
  const int update_top = height - 2100;
  const int display_height = update_top - 300;
  // A window too small for the frames leaves them where they were.
  if (display_height < 0) return;
  display_->setGeometry(Px(120), Px(200), Px(std::max(0, width - 240)), Px(display_height));
  update_->setGeometry(Px(120), Px(update_top), Px(std::max(0, width - 240)), Px(1500));
}

}  // namespace velgate::qt
