#include "dialog/lang.h"

std::u16string TitleText;
std::u16string PromptText;
std::u16string OkText;
std::u16string CancelText;
std::u16string DoneText;
std::u16string FailText;

namespace {

struct TextSet {
    const char16_t* title;
    const char16_t* promptFirstLine;
    const char16_t* promptSecondLine;
    const char16_t* ok;
    const char16_t* cancel;
    const char16_t* done;
    const char16_t* fail;
};

// The blanks are ordinary spaces; the Chinese punctuation is full width.
constexpr TextSet kSimplifiedChinese = {
    u"Quillpad - Chrome/Edge设置修复工具",
    u"修复程序会关闭所有当前打开的 Google Chrome浏览器 和 Microsoft Edge浏览器 窗口，",
    u"您确认要执行吗？",
    u"确 认",
    u"取 消",
    u"修复完成！",
    u"部分设置未能修复，请关闭浏览器后重试。",
};

constexpr TextSet kEnglish = {
    u"Quillpad - Chrome/Edge Fix Tool",
    u"The program will close all Chrome/Edge window,",
    u"are you sure you want to continue?",
    u"Yes",
    u"No",
    u"OK!",
    u"Some settings could not be repaired. Close the browsers and try again.",
};

constexpr TextSet kTraditionalChinese = {
    u"Quillpad - Chrome/Edge 設定修復工具",
    u"修復程式會關閉所有當前開啟的Chrome/Edge瀏覽器視窗，",
    u"您確認要執行嗎？",
    u"確 認",
    u"取 消",
    u"修復完成！",
    u"部分設定未能修復，請關閉瀏覽器後重試。",
};

}  // namespace

void SetLanguage(std::int32_t code) {
    const TextSet& set = code == 0 ? kSimplifiedChinese : code == 1 ? kEnglish : kTraditionalChinese;
    TitleText = set.title;
    PromptText = std::u16string(set.promptFirstLine) + u"\r\n" + set.promptSecondLine;
    OkText = set.ok;
    CancelText = set.cancel;
    DoneText = set.done;
    FailText = set.fail;
}
