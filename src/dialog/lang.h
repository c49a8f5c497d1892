#pragma once
// The dialog's interface texts in three languages.
#include <cstdint>
#include <string>

// Program-wide interface texts, empty until SetLanguage fills them.
extern std::u16string TitleText;
extern std::u16string PromptText;
extern std::u16string OkText;
extern std::u16string CancelText;
extern std::u16string DoneText;

// 0 simplified Chinese, 1 English, any other code traditional Chinese.
void SetLanguage(std::int32_t code);
