// The three sets of interface texts, written with escapes so that a slip in either spelling shows as a difference.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "dialog/lang.h"

namespace {

TEST(SetLanguage, EachCodeReplacesAllSixTexts) {
    // The texts: title, prompt, ok, cancel, done, fail.
    const struct { std::vector<std::int32_t> codes; std::vector<std::u16string> texts; } cases[] = {
        {{0}, {u"Quillpad - Chrome/Edge设置修复工具",
               u"修复程序会关闭所有当前打开的 Google Chrome浏览器 和 Microsoft Edge浏览器 窗口，\r\n您确认要执行吗？",
               u"确 认", u"取 消", u"修复完成！", u"部分设置未能修复，请关闭浏览器后重试。"}},
        {{1}, {u"Quillpad - Chrome/Edge Fix Tool",
               u"The program will close all Chrome/Edge window,\r\nare you sure you want to continue?", u"Yes", u"No",
               u"OK!", u"Some settings could not be repaired. Close the browsers and try again."}},
        {{2, -1, INT32_MIN, INT32_MAX}, {u"Quillpad - Chrome/Edge 設定修復工具",
               u"修復程式會關閉所有當前開啟的Chrome/Edge瀏覽器視窗，\r\n您確認要執行嗎？",
               u"確 認", u"取 消", u"修復完成！", u"部分設定未能修復，請關閉瀏覽器後重試。"}},
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
