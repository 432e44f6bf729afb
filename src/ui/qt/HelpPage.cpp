#include "ui/qt/HelpPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace velgate::qt {

void OpenHelpPage(const QString& page) {
  // Installed under the program's prefix first, else the pages of the source tree it was built
  // from.
  const QString installed = QCoreApplication::applicationDirPath() + "/" +
                            QStringLiteral(VELGATE_INSTALLED_HELP_DIR) + "/" + page;
  const QString path =
      QFileInfo::exists(installed) ? installed : QStringLiteral(VELGATE_HELP_DIR) + "/" + page;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

}  // namespace velgate::qt
