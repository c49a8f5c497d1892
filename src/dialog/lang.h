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
// Shown instead of DoneText when a run could not repair everything.
extern std::u16string FailText;

// 0 simplified Chinese, 1 English, any other code traditional Chinese.
void SetLanguage(std::int32_t code);
