#pragma once
// The stream rows of the main window: three fields per stream (address, port, call sign),
// placed in columns by the row layout and painted, only the visible ones, so 30,000 rows cost
// no more than the screenful that shows. The call-sign field opens for typing when clicked.

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/RowLayout.h"
#include "model/ViewModel.h"

namespace velgate::qt {

class StreamRowsView : public QAbstractScrollArea {
 public:
  /// The rows area starts this far below the window's top (twips); rows' Tops count from the
  /// window's top, as the row layout gives them.
  static constexpr int kAreaTop = 330;

  explicit StreamRowsView(QWidget* parent);

  /// The operator changed the text of stream s's call-sign field, or pressed Enter in it.
  std::function<void(int s, const std::string& text)> on_call_edited;
  std::function<void(int s, const std::string& text)> on_call_enter;

  /// The number of listeners: rows start after them.
  void SetListeners(int listeners) { listeners_ = listeners; }
  int Listeners() const { return listeners_; }
  /// Rows 0 .. count-1 exist (new rows stay unplaced until the next ReFormat).
  void SetRowCount(int count);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  /// New content for row s.
  void SetRow(int s, StatusRow row);
  const StatusRow& Row(int s) const { return rows_.at(static_cast<std::size_t>(s)); }
  /// The window was resized: the next ReFormat places every row again.
  void Resized() { layout_.Resized(); }
  /// Places the rows for the window's height in twips; a minimised window moves nothing.
  void ReFormat(int window_height, bool minimised);
  /// Where row s stands, in twips; column -1 while it was never placed.
  PlacedRow Placement(int s) const;
  /// Opens the call-sign field of stream s for typing; false when the row is not placed.
  bool EditCall(int s);
  /// The open call-sign field, or null.
  QLineEdit* CallEditor() const { return editing_ >= 0 ? editor_ : nullptr; }
  /// The call-sign field's rectangle in the viewport, in pixels.
  QRect CallRect(int s) const { return FieldRect(s, kCall); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum Field { kAddress, kPort, kCall };
  struct Hit {
    int s;
    Field field;
  };

  int Px(double twips) const;
  double Tw(int pixels) const;
  QRect FieldRect(int s, Field field) const;
  std::optional<Hit> HitAt(QPoint point) const;
  const std::vector<PlacedRow>& ByPosition();
  void UpdateScrollBars();
  void ScrollTo(int s);
  void PlaceEditor();
  void CloseEditor();

  std::vector<StatusRow> rows_;
  std::vector<PlacedRow> places_;       // by row index
  std::vector<PlacedRow> by_position_;  // placed rows by column, then Top
  bool by_position_stale_ = true;
  RowLayout layout_;
  int listeners_ = 0;
  int content_width_ = 0;   // twips
  int content_height_ = 0;  // twips, from the window's top
  QLineEdit* editor_;
  int editing_ = -1;
};

}  // namespace velgate::qt
