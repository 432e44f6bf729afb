#pragma once
// The help pages that ship with the program, opened in the desktop's browser.

#include <QString>

namespace velgate::qt {

/// Opens docs/help/page (installed under share/doc/velgate/help); a desktop without a browser
/// is not reported.
void OpenHelpPage(const QString& page);

}  // namespace velgate::qt
