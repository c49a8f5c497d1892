#pragma once
// What the file-access layer's portable part needs from each platform.
#include <string>

namespace fileio_platform {

enum class Target { Missing, Replaceable, Refused };

// Whether a file may be replaced: missing (its folder existing or not; the
// temporary file then shows which), or existing and writable by us now.
Target ProbeReplaceTarget(const std::u16string& path);

// Moves the finished temporary file over the target (or to its name when
// it did not exist), giving it the target's attributes and security. In
// the rare failure that has already removed the target, `temp` is cleared:
// that file then holds the only copy and must stay.
bool SwapIn(std::u16string& temp, const std::u16string& target, bool targetExists);

void RemoveFile(const std::u16string& path);

// A short text that differs between calls and between processes.
std::u16string UniqueTag();

// True when the hook says this write is the one to fail.
bool TakeWriteFault();

}  // namespace fileio_platform
