// The dialog's twips design in pixels at the common DPIs: halves round away
// from zero, each value on its own, so equal widths stay equal.
#include <gtest/gtest.h>

#include "dialog/layout.h"

namespace {

TEST(Layout, DesignInPixels) {
    const struct { int dpi, clientWidth, clientHeight, fontHeight, label[4], ok[4], cancel[4]; } cases[] = {
        {96, 490, 228, -16, {32, 24, 425, 105}, {88, 144, 121, 41}, {248, 144, 121, 41}},
        {144, 735, 342, -24, {48, 36, 638, 158}, {132, 216, 182, 62}, {372, 216, 182, 62}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(ClientSizeForDpi(c.dpi).width, c.clientWidth);
        EXPECT_EQ(ClientSizeForDpi(c.dpi).height, c.clientHeight);
        EXPECT_EQ(FontHeightForDpi(frmMainDesign::kFontPoints, c.dpi), c.fontHeight);
        const TwipsRect* design[] = {&frmMainDesign::kLblMsg, &frmMainDesign::kCmdOk, &frmMainDesign::kCmdCancel};
        const int* want[] = {c.label, c.ok, c.cancel};
        for (int i = 0; i < 3; ++i) {
            const PixelRect r = TwipsToPixels(*design[i], c.dpi);
            EXPECT_EQ((std::vector<int>{r.left, r.top, r.width, r.height}), std::vector<int>(want[i], want[i] + 4));
        }
    }
    EXPECT_EQ(TwipsToPixels(-15, 48), -1);
    EXPECT_EQ(TwipsToPixels(1440 * 1000000, 1440), 1440 * 1000000);  // no overflow on the way
}

}  // namespace
