#include "twips.h"

#include <QWidget>
#include <cmath>

namespace klar::ui {

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, double dpi) {
    return pixels * kTwipsPerInch / dpi;
}

QRect TwipsRect(const QWidget& widget, int left, int top, int width, int height) {
    const double x = widget.logicalDpiX();
    const double y = widget.logicalDpiY();
    return {TwipsToPixels(left, x), TwipsToPixels(top, y), TwipsToPixels(width, x),
            TwipsToPixels(height, y)};
}

} // namespace klar::ui
