// The three sets of interface texts, written with escapes so that a slip in either spelling shows as a difference.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "dialog/lang.h"

namespace {

TEST(SetLanguage, EachCodeReplacesAllSixTexts) {
    // The texts: title, prompt, ok, cancel, done, fail.
    const struct { std::vector<std::int32_t> codes; std::vector<std::u16string> texts; } cases[] = {
        {{0},
         {u"Quillpad - Chrome/Edge\u8bbe\u7f6e\u4fee\u590d\u5de5\u5177",
          u"\u4fee\u590d\u7a0b\u5e8f\u4f1a\u5173\u95ed\u6240\u6709\u5f53\u524d\u6253\u5f00\u7684 Google "
          u"Chrome\u6d4f\u89c8\u5668 \u548c Microsoft Edge\u6d4f\u89c8\u5668 \u7a97\u53e3\uff0c\r\n"
          u"\u60a8\u786e\u8ba4\u8981\u6267\u884c\u5417\uff1f",
          u"\u786e \u8ba4", u"\u53d6 \u6d88", u"\u4fee\u590d\u5b8c\u6210\uff01",
          u"\u90e8\u5206\u8bbe\u7f6e\u672a\u80fd\u4fee\u590d\uff0c\u8bf7\u5173\u95ed\u6d4f\u89c8\u5668\u540e\u91cd"
          u"\u8bd5\u3002"}},
        {{1},
         {u"Quillpad - Chrome/Edge Fix Tool",
          u"The program will close all Chrome/Edge window,\r\nare you sure you want to continue?", u"Yes", u"No",
          u"OK!", u"Some settings could not be repaired. Close the browsers and try again."}},
        {{2, -1, INT32_MIN, INT32_MAX},
         {u"Quillpad - Chrome/Edge \u8a2d\u5b9a\u4fee\u5fa9\u5de5\u5177",
          u"\u4fee\u5fa9\u7a0b\u5f0f\u6703\u95dc\u9589\u6240\u6709\u7576\u524d\u958b\u555f\u7684Chrome/"
          u"Edge\u700f\u89bd\u5668\u8996\u7a97\uff0c\r\n\u60a8\u78ba\u8a8d\u8981\u57f7\u884c\u55ce\uff1f",
          u"\u78ba \u8a8d", u"\u53d6 \u6d88", u"\u4fee\u5fa9\u5b8c\u6210\uff01",
          u"\u90e8\u5206\u8a2d\u5b9a\u672a\u80fd\u4fee\u5fa9\uff0c\u8acb\u95dc\u9589\u700f\u89bd\u5668\u5f8c\u91cd"
          u"\u8a66\u3002"}},
    };
    for (const auto& c : cases)
        for (std::int32_t code : c.codes) {
            SetLanguage(code == 1 ? 0 : 1);  // every text is replaced, none kept
            SetLanguage(code);
            EXPECT_EQ((std::vector<std::u16string>{TitleText, PromptText, OkText, CancelText, DoneText, FailText}),
                      c.texts) << code;
        }
}

}  // namespace
