#include "dialog/layout.h"

#include <cstdint>

namespace {

// a * b / c rounded half away from zero, in 64 bits so no product overflows.
int ScaleRounded(int a, int b, int c) {
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t half = c / 2;
    std::int64_t q = product >= 0 ? (product + half) / c : -((-product + half) / c);
    return static_cast<int>(q);
}

}  // namespace

int TwipsToPixels(int twips, int dpi) { return ScaleRounded(twips, dpi, 1440); }

PixelRect TwipsToPixels(const TwipsRect& rect, int dpi) {
    return {TwipsToPixels(rect.left, dpi), TwipsToPixels(rect.top, dpi), TwipsToPixels(rect.width, dpi),
            TwipsToPixels(rect.height, dpi)};
}

PixelSize ClientSizeForDpi(int dpi) {
    return {TwipsToPixels(frmMainDesign::kClientWidth, dpi), TwipsToPixels(frmMainDesign::kClientHeight, dpi)};
}

int FontHeightForDpi(int points, int dpi) { return -ScaleRounded(points, dpi, 72); }
