#include "protection/Highwater.h"

#include "base/Dates.h"
#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"
#include "protection/HighwaterFile.h"

namespace velgate {

Highwater::Highwater(HighwaterMarks& marks, ViewModel& view, MonitorFeed& monitor,
                     const Clock& clock, SavedFiles& saved_files, std::string file_path)
    : marks_(marks),
      view_(view),
      monitor_(monitor),
      clock_(clock),
      saved_files_(saved_files),
      file_path_(std::move(file_path)) {}

void Highwater::UpdateHighwater(std::int32_t users) {
  if (users == marks_.LastUserCount) return;
  marks_.LastUserCount = users;
  view_.UpdateLabels([&](MainLabels& labels) { labels.lblIn = PlainNumber(users); });
  if (users > marks_.SessionHigh) {
    marks_.SessionHigh = users;
    marks_.SessionHighDate = HighwaterDateText(clock_.Now().local);
    view_.UpdateLabels([&](MainLabels& labels) {
      labels.Label6 = SignedBlankNumber(marks_.SessionHigh);
      labels.Label3Tip = "Session Highwater Mark (" + marks_.SessionHighDate + ")";
    });
    monitor_.SendToMonitor(
        monitor_messages::SessionHigh(marks_.SessionHigh, marks_.SessionHighDate));
  }
  if (users <= marks_.AllTimeHigh) return;
  marks_.AllTimeHigh = users;
  marks_.AllTimeHighDate = HighwaterDateText(clock_.Now().local);
  view_.UpdateLabels([&](MainLabels& labels) {
    labels.Label4 = SignedBlankNumber(marks_.AllTimeHigh);
    labels.Label5Tip = "All-Time Highwater Mark (" + marks_.AllTimeHighDate + ")";
  });
  // A file that could not be read holds a mark this run does not know: it is never overwritten.
  if (marks_.FileKept) {
    monitor_.SendToMonitor(monitor_messages::AllTimeHigh(users, marks_.AllTimeHighDate));
    return;
  }
  // A full disk costs the stored mark, never the caller's connection.
  saved_files_.Write(file_path_, "highwater.dat",
                     HighwaterFileText({marks_.AllTimeHigh, marks_.AllTimeHighDate}),
                     "UpdateHighwater");
  monitor_.SendToMonitor(monitor_messages::AllTimeHigh(users, marks_.AllTimeHighDate));
}

}  // namespace velgate
