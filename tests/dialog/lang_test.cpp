// The three sets of interface texts, written here with escapes so that a
// slip in either spelling shows up as a difference.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "dialog/lang.h"

namespace {

struct Expected {
    std::u16string title, prompt, ok, cancel, done;
};

const Expected kSimplified = {
    u"Quillpad - Chrome/Edge\u8bbe\u7f6e\u4fee\u590d\u5de5\u5177",
    u"\u4fee\u590d\u7a0b\u5e8f\u4f1a\u5173\u95ed\u6240\u6709\u5f53\u524d\u6253\u5f00\u7684 Google "
    u"Chrome\u6d4f\u89c8\u5668 \u548c Microsoft Edge\u6d4f\u89c8\u5668 \u7a97\u53e3\uff0c\r\n"
    u"\u60a8\u786e\u8ba4\u8981\u6267\u884c\u5417\uff1f",
    u"\u786e \u8ba4",
    u"\u53d6 \u6d88",
    u"\u4fee\u590d\u5b8c\u6210\uff01",
};

const Expected kEnglish = {
    u"Quillpad - Chrome/Edge Fix Tool",
    u"The program will close all Chrome/Edge window,\r\nare you sure you want to continue?",
    u"Yes",
    u"No",
    u"OK!",
};

const Expected kTraditional = {
    u"Quillpad - Chrome/Edge \u8a2d\u5b9a\u4fee\u5fa9\u5de5\u5177",
    u"\u4fee\u5fa9\u7a0b\u5f0f\u6703\u95dc\u9589\u6240\u6709\u7576\u524d\u958b\u555f\u7684Chrome/"
    u"Edge\u700f\u89bd\u5668\u8996\u7a97\uff0c\r\n\u60a8\u78ba\u8a8d\u8981\u57f7\u884c\u55ce\uff1f",
    u"\u78ba \u8a8d",
    u"\u53d6 \u6d88",
    u"\u4fee\u5fa9\u5b8c\u6210\uff01",
};

void ExpectTexts(const Expected& e) {
    EXPECT_EQ(TitleText, e.title);
    EXPECT_EQ(PromptText, e.prompt);
    EXPECT_EQ(OkText, e.ok);
    EXPECT_EQ(CancelText, e.cancel);
    EXPECT_EQ(DoneText, e.done);
}

// The two prompt lines: the CR LF sits where the first line ends and nothing
// follows the second.
void ExpectPromptShape(std::size_t firstLine, std::size_t secondLine) {
    ASSERT_EQ(PromptText.size(), firstLine + 2 + secondLine);
    EXPECT_EQ(PromptText.substr(firstLine, 2), u"\r\n");
    EXPECT_EQ(PromptText.find(u'\r'), firstLine);
    EXPECT_EQ(PromptText.find(u'\n'), firstLine + 1);
    EXPECT_EQ(PromptText.rfind(u'\n'), firstLine + 1);
}

TEST(SetLanguage, CodeZeroIsSimplifiedChinese) {
    SetLanguage(0);
    ExpectTexts(kSimplified);
    ExpectPromptShape(55, 8);
}

TEST(SetLanguage, CodeOneIsEnglish) {
    SetLanguage(1);
    ExpectTexts(kEnglish);
    ExpectPromptShape(46, 34);
}

TEST(SetLanguage, EveryOtherCodeIsTraditionalChinese) {
    for (std::int32_t code : {2, -1, 100, 3, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(code);
        SetLanguage(1);
        SetLanguage(code);
        ExpectTexts(kTraditional);
        ExpectPromptShape(31, 8);
    }
    EXPECT_EQ(kTraditional.cancel, kSimplified.cancel);
}

TEST(SetLanguage, EachCallReplacesAllFiveTexts) {
    SetLanguage(2);
    SetLanguage(1);
    ExpectTexts(kEnglish);
    SetLanguage(0);
    ExpectTexts(kSimplified);
    SetLanguage(0);
    ExpectTexts(kSimplified);
    SetLanguage(7);
    ExpectTexts(kTraditional);
}

TEST(SetLanguage, BlanksAreOrdinarySpacesAndChinesePunctuationIsFullWidth) {
    for (std::int32_t code : {0, 2}) {
        SetLanguage(code);
        for (const std::u16string* text : {&TitleText, &PromptText, &OkText, &CancelText, &DoneText}) {
            EXPECT_EQ(text->find(u'\u3000'), std::u16string::npos);
            EXPECT_EQ(text->find(u'\u00a0'), std::u16string::npos);
            for (char16_t ascii : {u',', u'?', u'!'}) EXPECT_EQ(text->find(ascii), std::u16string::npos);
        }
        EXPECT_EQ(OkText.size(), 3u);
        EXPECT_EQ(OkText[1], u' ');
    }
}

}  // namespace
