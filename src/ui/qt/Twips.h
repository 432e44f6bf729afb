#pragma once
// Window positions and sizes are kept in twips (1/1440 inch), as Velgate.cfg stores them; the
// screen's logical DPI turns them into pixels and back.

#include <QColor>
#include <QString>
#include <QWidget>
#include <cmath>
#include <string>

#include "base/Settings.h"
#include "model/Colours.h"

namespace velgate::qt {

inline int ToPixels(double twips, int dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
inline double ToTwips(int pixels, int dpi) {
  return pixels * 1440.0 / dpi;
}

/// A window's place in twips. Where the pixels still match the known value, the known value is
/// kept, so reading a place back never drifts by a pixel's rounding (7000 stays 7000).
WindowPlacement PlacementOf(const QWidget& window, const WindowPlacement& known);
/// Moves and sizes a top-level window to a place in twips.
void Place(QWidget& window, const WindowPlacement& placement);

/// A gateway colour (&H00BBGGRR; system colours are negative) as Qt draws it.
QColor ToQColor(Colour colour, const QColor& button_face);

/// The gateway's texts are bytes, one character each.
inline QString ToQString(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string ToBytes(const QString& text) {
  return text.toLatin1().toStdString();
}

}  // namespace velgate::qt
