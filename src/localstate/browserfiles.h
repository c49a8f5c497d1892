#pragma once
// Where the two browsers keep their Local State, below the user's local
// application-data folder: Chrome's first, then Edge's, the order every run
// repairs and reports them in.
#include <array>
#include <string>

inline std::array<std::u16string, 2> BrowserLocalStateFiles(const std::u16string& localAppData) {
    return {localAppData + u"\\Google\\Chrome\\User Data\\Local State",
            localAppData + u"\\Microsoft\\Edge\\User Data\\Local State"};
}
