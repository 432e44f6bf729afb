#include "ui/qt/Twips.h"

namespace velgate::qt {
namespace {

float Kept(int pixels, float known, int dpi) {
  if (ToPixels(known, dpi) == pixels) return known;
  return static_cast<float>(std::lround(ToTwips(pixels, dpi)));
}

}  // namespace

WindowPlacement PlacementOf(const QWidget& window, const WindowPlacement& known) {
  const int dpi = window.logicalDpiX();
  const QRect frame = window.frameGeometry();
  return WindowPlacement{Kept(frame.top(), known.top, dpi), Kept(frame.left(), known.left, dpi),
                         Kept(frame.height(), known.height, dpi),
                         Kept(frame.width(), known.width, dpi)};
}

void Place(QWidget& window, const WindowPlacement& placement) {
  const int dpi = window.logicalDpiX();
  // The stored size is the outer one; the frame's share is known once the window was shown.
  const QSize frame_extra = window.frameGeometry().size() - window.geometry().size();
  window.move(ToPixels(placement.left, dpi), ToPixels(placement.top, dpi));
  window.resize(std::max(1, ToPixels(placement.width, dpi) - frame_extra.width()),
                std::max(1, ToPixels(placement.height, dpi) - frame_extra.height()));
}

QColor ToQColor(Colour colour, const QColor& button_face) {
  if (colour < 0) return button_face;
  return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace velgate::qt
