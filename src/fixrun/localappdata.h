#pragma once
#include <string>

// The current user's local application-data folder, without a trailing
// separator; empty when the shell cannot give it.
std::u16string GetLocalAppDataPath();
