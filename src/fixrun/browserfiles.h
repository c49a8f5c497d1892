#pragma once
// Where the browsers keep their Local State, below a local application-data
// folder, in the order every run repairs and reports them.
#include <string>
#include <vector>

struct BrowserFile {
    std::u16string path;
    // The stable channels are always looked for, and a missing one is
    // logged. The others are installed by few users: they are repaired when
    // their file exists and pass without a word when it does not.
    bool onlyIfPresent = false;
};

std::vector<BrowserFile> BrowserLocalStateFiles(const std::u16string& localAppData);
