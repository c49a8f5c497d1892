#pragma once
// The dialog's design in twips (1/1440 inch) and its conversion to pixels
// at a given resolution, so the dialog keeps its proportions at any DPI.

struct TwipsRect {
    int left, top, width, height;
};

struct PixelRect {
    int left, top, width, height;
};

struct PixelSize {
    int width, height;
};

namespace frmMainDesign {
constexpr int kClientWidth = 7350;
constexpr int kClientHeight = 3420;
constexpr TwipsRect kLblMsg = {480, 360, 6375, 1575};
constexpr TwipsRect kCmdOk = {1320, 2160, 1815, 615};
constexpr TwipsRect kCmdCancel = {3720, 2160, 1815, 615};
constexpr int kFontPoints = 12;
constexpr int kFontWeight = 700;
constexpr int kFontCharset = 134;  // GB2312
constexpr const char16_t* kLabelFace = u"微软雅黑";
constexpr const char16_t* kButtonFace = u"宋体";
}  // namespace frmMainDesign

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel
// (halves away from zero, as the platform's MulDiv does).
int TwipsToPixels(int twips, int dpi);

// Each of the four values converted on its own, so equal widths stay equal.
PixelRect TwipsToPixels(const TwipsRect& rect, int dpi);

// The dialog's client area at `dpi`.
PixelSize ClientSizeForDpi(int dpi);

// The font height to ask for a font of `points` at `dpi`: negative, so the
// platform matches the character height rather than the cell height.
int FontHeightForDpi(int points, int dpi);
