#pragma once
// What the file-access layer's portable part shares with each platform's.
#include <string>

namespace fileio_platform {

// A short text that differs between calls and between processes.
std::u16string UniqueTag();

// True when the hook says this write is the one to fail.
bool TakeWriteFault();

// Runs the test hook set for the moment before a swap, if any.
void RunBeforeSwapHook();

}  // namespace fileio_platform
