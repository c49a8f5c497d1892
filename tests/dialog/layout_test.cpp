// The dialog's twips design turned into pixels: the exact pixels of the
// design at 96 DPI, and a layout that keeps its shape at other DPIs.
#include <gtest/gtest.h>

#include "dialog/layout.h"

namespace {

void ExpectRect(const PixelRect& r, int left, int top, int width, int height) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.width, width);
    EXPECT_EQ(r.height, height);
}

TEST(Layout, DesignPixelsAt96Dpi) {
    PixelSize client = ClientSizeForDpi(96);
    EXPECT_EQ(client.width, 490);
    EXPECT_EQ(client.height, 228);
    ExpectRect(TwipsToPixels(frmMainDesign::kLblMsg, 96), 32, 24, 425, 105);
    ExpectRect(TwipsToPixels(frmMainDesign::kCmdOk, 96), 88, 144, 121, 41);
    ExpectRect(TwipsToPixels(frmMainDesign::kCmdCancel, 96), 248, 144, 121, 41);
    EXPECT_EQ(FontHeightForDpi(12, 96), -16);
}

TEST(Layout, OneAndAHalfTimesAt144DpiAndTwiceAt192) {
    PixelSize client = ClientSizeForDpi(144);
    EXPECT_EQ(client.width, 735);
    EXPECT_EQ(client.height, 342);
    // Half pixels round up: 637.5 and 157.5, 181.5 and 61.5.
    ExpectRect(TwipsToPixels(frmMainDesign::kLblMsg, 144), 48, 36, 638, 158);
    ExpectRect(TwipsToPixels(frmMainDesign::kCmdOk, 144), 132, 216, 182, 62);
    ExpectRect(TwipsToPixels(frmMainDesign::kCmdCancel, 144), 372, 216, 182, 62);
    EXPECT_EQ(FontHeightForDpi(12, 144), -24);

    client = ClientSizeForDpi(192);
    EXPECT_EQ(client.width, 980);
    EXPECT_EQ(client.height, 456);
    ExpectRect(TwipsToPixels(frmMainDesign::kLblMsg, 192), 64, 48, 850, 210);
    ExpectRect(TwipsToPixels(frmMainDesign::kCmdCancel, 192), 496, 288, 242, 82);
    EXPECT_EQ(FontHeightForDpi(12, 192), -32);
}

TEST(Layout, RoundsToTheNearestPixelHalvesAwayFromZero) {
    EXPECT_EQ(TwipsToPixels(7, 96), 0);    // 0.47
    EXPECT_EQ(TwipsToPixels(8, 96), 1);    // 0.53
    EXPECT_EQ(TwipsToPixels(15, 48), 1);   // 0.5
    EXPECT_EQ(TwipsToPixels(-15, 48), -1);
    EXPECT_EQ(TwipsToPixels(-7, 96), 0);
    EXPECT_EQ(TwipsToPixels(0, 480), 0);
    EXPECT_EQ(FontHeightForDpi(12, 120), -20);
    EXPECT_EQ(FontHeightForDpi(9, 96), -12);
    // Large values do not overflow on the way.
    EXPECT_EQ(TwipsToPixels(1440 * 1000000, 1440), 1440 * 1000000);
}

TEST(Layout, KeepsItsShapeAtEveryCommonDpi) {
    for (int dpi = 72; dpi <= 480; dpi += 24) {
        SCOPED_TRACE(dpi);
        PixelSize client = ClientSizeForDpi(dpi);
        PixelRect label = TwipsToPixels(frmMainDesign::kLblMsg, dpi);
        PixelRect ok = TwipsToPixels(frmMainDesign::kCmdOk, dpi);
        PixelRect cancel = TwipsToPixels(frmMainDesign::kCmdCancel, dpi);
        EXPECT_EQ(ok.width, cancel.width);
        EXPECT_EQ(ok.height, cancel.height);
        EXPECT_EQ(ok.top, cancel.top);
        EXPECT_LT(ok.left + ok.width, cancel.left);
        EXPECT_LT(label.top + label.height, ok.top);
        for (const PixelRect& r : {label, ok, cancel}) {
            EXPECT_GT(r.left, 0);
            EXPECT_LE(r.left + r.width, client.width);
            EXPECT_LE(r.top + r.height, client.height);
        }
        // Font and layout grow together: the label keeps room for its lines.
        EXPECT_LT(-FontHeightForDpi(12, dpi) * 6, label.height);
    }
}

}  // namespace
