#include "qt/twips.h"

#include "forms/main_form.h"

#include <QWidget>

namespace klar::ui {

int TwipsToPixels(int twips, double dpi) {
    return forms::TwipsToPixels(twips, dpi);
}

double PixelsToTwips(int pixels, double dpi) {
    return forms::PixelsToTwips(pixels, dpi);
}

QRect TwipsRect(const QWidget& widget, int left, int top, int width, int height) {
    const double x = widget.logicalDpiX();
    const double y = widget.logicalDpiY();
    return {TwipsToPixels(left, x), TwipsToPixels(top, y), TwipsToPixels(width, x),
            TwipsToPixels(height, y)};
}

} // namespace klar::ui
