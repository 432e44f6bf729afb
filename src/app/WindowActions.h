#pragma once
// What the desktop window asks of a running gateway, beyond the console's actions: the edits
// the rules read back (a call-sign field, the windows' places, the configuration and lock-out
// lists) are applied and written here, on the gateway's loop thread, never by the window.

#include <string>
#include <vector>

#include "app/ConfigForm.h"
#include "app/OperatorActions.h"
#include "base/Settings.h"

namespace velgate {

class WindowActions : public OperatorActions {
 public:
  /// A copy of the settings in force, for a window to load its fields from.
  virtual Settings SettingsCopy() const = 0;
  /// The operator edited the call-sign field of stream s.
  virtual void SetCallText(int s, std::string text) = 0;
  /// The main window moved or changed size.
  virtual void PlaceMainWindow(const WindowPlacement& placement) = 0;
  /// The operator closes the main window: every setting is written before the question.
  virtual void WriteSettings() = 0;
  /// The close was confirmed: the gateway ends without writing again.
  virtual void EndProgram() = 0;
  /// The "Start" button: stops the delayed start and opens the listeners.
  virtual void StartAction() = 0;
  /// The configuration window's Save; false when a number was bad and nothing was written.
  virtual bool SaveConfigForm(const ConfigForm& form) = 0;
  /// The lock-out window's Save: rows becomes the list in force, followed by the entries that
  /// callers added since the window loaded the first loaded_count entries; then written.
  virtual void SaveLockOuts(const std::vector<std::string>& rows, int loaded_count,
                            const WindowPlacement& window) = 0;
  /// The lock-out window unloads: its place is stored and every setting written.
  virtual void UnloadLockOuts(const WindowPlacement& window) = 0;
  /// "Reset Screens": every window to the top-left corner at 4000 by 4000 twips, written.
  virtual void ResetScreens() = 0;

 protected:
  ~WindowActions() = default;
};

}  // namespace velgate
