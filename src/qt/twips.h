#pragma once

#include <QRect>

class QWidget;

namespace klar::ui {

inline constexpr double kTwipsPerInch = 1440.0;

/// A length in twips as whole pixels at the given logical dots per inch (15 twips a pixel at
/// 96 dpi).
[[nodiscard]] int TwipsToPixels(int twips, double dpi);

/// A length in pixels as twips at the given logical dots per inch.
[[nodiscard]] double PixelsToTwips(int pixels, double dpi);

/// A rectangle given in twips, in pixels at the logical resolution of widget's screen.
[[nodiscard]] QRect TwipsRect(const QWidget& widget, int left, int top, int width, int height);

} // namespace klar::ui
