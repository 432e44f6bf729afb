#pragma once
// What the operator sees, held as data: one status row per stream, the counters and labels of
// the main window, and the listener indicator boxes. The rules write it and read it back; views
// render it (rows as a dirty set they pull, the rest through a listener).

#include <string>
#include <vector>

#include "model/Colours.h"

namespace velgate {

/// One field of a status row: text and background colour.
struct DisplayField {
  std::string text;
  Colour colour = colours::kWhite;
};

/// A stream's row: address, port and call-sign fields.
struct StatusRow {
  DisplayField address;  ///< txtRemoteUserIP
  DisplayField port;     ///< txtRemoteUserPort
  DisplayField call;     ///< txtCall
  /// The address field's tag: the index of the listener the caller came through, "0" for an
  /// outgoing connection.
  std::string address_tag;
  /// The tip texts: the address field's is the login time, the port field's the cluster's note.
  /// The call-sign field never has one. Kept in the row, so a field carries only what it uses.
  std::string address_tip;
  std::string port_tip;
};

/// The tip text of field 0 (address: an IPv6 address whole, then the login time), 1 (port) or
/// 2 (call sign) of row.
std::string TipOf(const StatusRow& row, int field);

/// A listener's indicator box txtReset(i): the watchdog counter and what it listens for.
struct ListenerIndicator {
  std::string text = "0";
  std::string tip;
  Colour colour = colours::kCyan;

  bool operator==(const ListenerIndicator&) const = default;
};

/// The main window's labels and status texts.
struct MainLabels {
  std::string title;
  std::string lblIn = "0";   ///< users logged in
  std::string Label6 = "0";  ///< session highwater mark
  std::string Label4 = "0";  ///< all-time highwater mark
  std::string Label3Tip = "Session Highwater Mark";
  std::string Label5Tip = "All-Time Highwater Mark";
  std::string lblIDnr = "ID ";  ///< last connection number
  std::string lblDate = "Socket Error";
  std::string txtError = "Error Text";
  Colour Label2Colour = colours::kButtonFace;  ///< monitor indicator
  Colour StatusColour = colours::kButtonFace;  ///< window and status labels
  bool StartButtonVisible = true;
  std::string StartButtonCaption = "Start";

  bool operator==(const MainLabels&) const = default;
};

/// What a view is told as it happens; a headless build prints it.
class ViewListener {
 public:
  /// An operator alert (a message box in a window).
  virtual void Alert(const std::string& title, const std::string& text) = 0;
  /// A label or status text changed.
  virtual void LabelsChanged(const MainLabels& labels) = 0;
  /// The window is to come to the front.
  virtual void BringToFront() = 0;
  /// A line for the operator's log (standard error): warnings about the set-up, what the
  /// gateway can hold.
  virtual void Report(const std::string& line) = 0;

 protected:
  ~ViewListener() = default;
};

class ViewModel {
 public:
  /// The row of stream (or listener) index s.
  const StatusRow& Row(int s) const { return rows_[static_cast<std::size_t>(s)]; }
  /// The row of index s for changing; marks it for the views.
  StatusRow& MutableRow(int s);
  /// Number of rows, indices 0 .. RowCount()-1.
  int RowCount() const { return static_cast<int>(rows_.size()); }
  /// Adds rows up to index last.
  void GrowRows(int last);
  /// Takes the rows changed since the last call, in the order they first changed.
  std::vector<int> TakeDirtyRows();

  /// The labels and status texts.
  const MainLabels& Labels() const { return labels_; }
  /// Changes labels through fn, then tells the listener.
  template <typename Fn>
  void UpdateLabels(Fn fn) {
    fn(labels_);
    if (listener_) listener_->LabelsChanged(labels_);
  }

  /// Indicator boxes, index 1..NumListenPorts (0 is the template).
  std::vector<ListenerIndicator>& Indicators() { return indicators_; }
  const std::vector<ListenerIndicator>& Indicators() const { return indicators_; }

  /// Shows the operator an alert.
  void Alert(const std::string& title, const std::string& text);
  /// Asks the views to bring the window to the front.
  void BringToFront();
  /// Hands the views a line for the operator's log.
  void Report(const std::string& line);
  /// The view that hears of alerts and label changes; may be null.
  void SetListener(ViewListener* listener) { listener_ = listener; }

 private:
  std::vector<StatusRow> rows_;
  std::vector<char> row_dirty_;
  std::vector<int> dirty_rows_;
  MainLabels labels_;
  std::vector<ListenerIndicator> indicators_;
  ViewListener* listener_ = nullptr;
};

}  // namespace velgate
