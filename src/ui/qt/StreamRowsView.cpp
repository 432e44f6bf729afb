#include "ui/qt/StreamRowsView.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

#include "ui/qt/Twips.h"

namespace velgate::qt {
namespace {

// Left and width of the address, port and call-sign fields in column 0, in twips.
constexpr int kFieldLeft[] = {RowLayout::kAddressLeft, RowLayout::kPortLeft, RowLayout::kCallLeft};
constexpr int kFieldWidth[] = {1455, 615, 1215};
constexpr int kColumnWidth = RowLayout::kCallLeft + 1215 - RowLayout::kAddressLeft;

bool Before(const PlacedRow& a, const PlacedRow& b) {
  if (a.column != b.column) return a.column < b.column;
  if (a.top != b.top) return a.top < b.top;
  return a.index < b.index;
}

const DisplayField& FieldOf(const StatusRow& row, int field) {
  if (field == 0) return row.address;
  if (field == 1) return row.port;
  return row.call;
}

}  // namespace

StreamRowsView::StreamRowsView(QWidget* parent)
    : QAbstractScrollArea(parent), editor_(new QLineEdit(viewport())) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  // The window's status colour shows between the rows.
  viewport()->setAutoFillBackground(false);
  editor_->hide();
  editor_->installEventFilter(this);
  connect(editor_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (editing_ >= 0 && on_call_edited) on_call_edited(editing_, ToBytes(text));
  });
  connect(editor_, &QLineEdit::returnPressed, this, [this] {
    if (editing_ >= 0 && on_call_enter) on_call_enter(editing_, ToBytes(editor_->text()));
  });
}

int StreamRowsView::Px(double twips) const {
  return ToPixels(twips, logicalDpiY());
}

double StreamRowsView::Tw(int pixels) const {
  return ToTwips(pixels, logicalDpiY());
}

void StreamRowsView::SetRowCount(int count) {
  if (count <= RowCount()) return;
  rows_.resize(static_cast<std::size_t>(count));
  places_.resize(static_cast<std::size_t>(count), PlacedRow{0, 0, -1});
}

void StreamRowsView::SetRow(int s, StatusRow row) {
  if (s < 0) return;
  SetRowCount(s + 1);
  rows_[static_cast<std::size_t>(s)] = std::move(row);
  // The field being typed in is the operator's; what the gateway holds shows once it closes.
}

void StreamRowsView::ReFormat(int window_height, bool minimised) {
  const std::vector<PlacedRow> moved =
      layout_.ReFormat(window_height, minimised, listeners_, RowCount() - 1);
  if (moved.empty()) return;
  for (const PlacedRow& row : moved) {
    places_[static_cast<std::size_t>(row.index)] = row;
    places_[static_cast<std::size_t>(row.index)].index = row.index;
  }
  by_position_stale_ = true;
  const std::vector<PlacedRow>& placed = ByPosition();
  content_width_ = 0;
  content_height_ = 0;
  if (!placed.empty()) {
    content_width_ = RowLayout::FieldLeft(RowLayout::kAddressLeft, placed.back().column) +
                     kColumnWidth + RowLayout::kAddressLeft;
    for (const PlacedRow& row : placed)
      content_height_ = std::max(content_height_, row.top + RowLayout::kFieldHeight + 60);
  }
  UpdateScrollBars();
  PlaceEditor();
  viewport()->update();
}

PlacedRow StreamRowsView::Placement(int s) const {
  if (s < 0 || s >= RowCount()) return PlacedRow{s, 0, -1};
  return places_[static_cast<std::size_t>(s)];
}

const std::vector<PlacedRow>& StreamRowsView::ByPosition() {
  if (!by_position_stale_) return by_position_;
  by_position_.clear();
  for (const PlacedRow& row : places_)
    if (row.column >= 0) by_position_.push_back(row);
  std::sort(by_position_.begin(), by_position_.end(), Before);
  by_position_stale_ = false;
  return by_position_;
}

QRect StreamRowsView::FieldRect(int s, Field field) const {
  const PlacedRow place = Placement(s);
  if (place.column < 0) return {};
  const int left = RowLayout::FieldLeft(kFieldLeft[field], place.column);
  const int x = Px(left) - horizontalScrollBar()->value();
  const int y = Px(place.top) - Px(kAreaTop) - verticalScrollBar()->value();
  return QRect(x, y, Px(left + kFieldWidth[field]) - Px(left),
               Px(place.top + RowLayout::kFieldHeight) - Px(place.top));
}

void StreamRowsView::UpdateScrollBars() {
  const int width = Px(content_width_);
  const int height = std::max(0, Px(content_height_) - Px(kAreaTop));
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(Px(RowLayout::kColumnStep) / 4);
  verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  verticalScrollBar()->setSingleStep(Px(RowLayout::kRowStep));
}

void StreamRowsView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRect visible = event->rect();
  const QColor face = palette().color(QPalette::Button);
  const QColor border = palette().color(QPalette::Mid);
  // The visible part of the rows, in twips counted from the window's top-left corner.
  const double x0 = Tw(visible.left() + horizontalScrollBar()->value());
  const double x1 = Tw(visible.right() + 1 + horizontalScrollBar()->value());
  const double y0 = Tw(visible.top() + verticalScrollBar()->value()) + kAreaTop;
  const double y1 = Tw(visible.bottom() + 1 + verticalScrollBar()->value()) + kAreaTop;
  const int first_column = std::max(
      0, static_cast<int>((x0 - RowLayout::kAddressLeft - kColumnWidth) / RowLayout::kColumnStep));
  const int last_column = static_cast<int>((x1 - RowLayout::kAddressLeft) / RowLayout::kColumnStep);
  const std::vector<PlacedRow>& placed = ByPosition();
  for (int column = first_column; column <= last_column; ++column) {
    const PlacedRow from{0, static_cast<int>(y0) - RowLayout::kFieldHeight, column};
    auto row = std::lower_bound(placed.begin(), placed.end(), from, Before);
    for (; row != placed.end() && row->column == column && row->top <= y1; ++row) {
      const StatusRow& content = rows_[static_cast<std::size_t>(row->index)];
      for (int field = kAddress; field <= kCall; ++field) {
        if (field == kCall && row->index == editing_) continue;
        const QRect rect = FieldRect(row->index, static_cast<Field>(field));
        const DisplayField& shown = FieldOf(content, field);
        painter.fillRect(rect, ToQColor(shown.colour, face));
        painter.setPen(border);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(rect.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         ToQString(shown.text));
      }
    }
  }
}

std::optional<StreamRowsView::Hit> StreamRowsView::HitAt(QPoint point) const {
  const double x = Tw(point.x() + horizontalScrollBar()->value());
  const double y = Tw(point.y() + verticalScrollBar()->value()) + kAreaTop;
  const int column = static_cast<int>((x - RowLayout::kAddressLeft) / RowLayout::kColumnStep);
  if (x < RowLayout::kAddressLeft || column < 0) return std::nullopt;
  const std::vector<PlacedRow>& placed = const_cast<StreamRowsView*>(this)->ByPosition();
  const PlacedRow from{0, static_cast<int>(y) - RowLayout::kFieldHeight, column};
  for (auto row = std::lower_bound(placed.begin(), placed.end(), from, Before);
       row != placed.end() && row->column == column && row->top <= y; ++row) {
    for (int field = kAddress; field <= kCall; ++field) {
      if (FieldRect(row->index, static_cast<Field>(field)).contains(point))
        return Hit{row->index, static_cast<Field>(field)};
    }
  }
  return std::nullopt;
}

bool StreamRowsView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const std::optional<Hit> hit = HitAt(help->pos());
    const std::string tip = hit ? TipOf(Row(hit->s), hit->field) : std::string();
    if (tip.empty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), ToQString(tip), viewport(),
                         FieldRect(hit->s, hit->field));
    }
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void StreamRowsView::mousePressEvent(QMouseEvent* event) {
  const std::optional<Hit> hit = HitAt(event->position().toPoint());
  if (hit && hit->field == kCall) {
    EditCall(hit->s);
    return;
  }
  CloseEditor();
  QAbstractScrollArea::mousePressEvent(event);
}

bool StreamRowsView::EditCall(int s) {
  if (Placement(s).column < 0 || s <= listeners_) return false;
  CloseEditor();
  editing_ = s;
  editor_->setText(ToQString(Row(s).call.text));
  ScrollTo(s);
  PlaceEditor();
  editor_->show();
  editor_->setFocus(Qt::OtherFocusReason);
  return true;
}

void StreamRowsView::ScrollTo(int s) {
  const QRect field = FieldRect(s, kCall);
  const QRect shown = viewport()->rect();
  if (field.left() < shown.left() || field.right() > shown.right())
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + field.center().x() -
                                    shown.center().x());
  if (field.top() < shown.top() || field.bottom() > shown.bottom())
    verticalScrollBar()->setValue(verticalScrollBar()->value() + field.center().y() -
                                  shown.center().y());
}

void StreamRowsView::CloseEditor() {
  if (editing_ < 0) return;
  editing_ = -1;
  editor_->hide();
  viewport()->update();
}

void StreamRowsView::PlaceEditor() {
  if (editing_ >= 0) editor_->setGeometry(FieldRect(editing_, kCall));
}

bool StreamRowsView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editor_ && event->type() == QEvent::KeyPress) {
    // Tab and Shift+Tab walk the call-sign fields, row by row.
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
      const int next = editing_ + (key == Qt::Key_Tab ? 1 : -1);
      if (next > listeners_ && next < RowCount() && EditCall(next)) return true;
    }
    if (key == Qt::Key_Escape) {
      CloseEditor();
      return true;
    }
  }
  if (watched == editor_ && event->type() == QEvent::FocusOut &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    CloseEditor();
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

void StreamRowsView::scrollContentsBy(int dx, int dy) {
  PlaceEditor();
  QAbstractScrollArea::scrollContentsBy(dx, dy);
}

void StreamRowsView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

}  // namespace velgate::qt
