#pragma once
// Where the browsers keep their Local State, below a local application-data
// folder, in the order every run repairs and reports them.
#include <string>
#include <vector>

#include "fileio/fileio.h"

struct BrowserFile {
    std::u16string path;
    // The stable channels are always looked for, and a missing one is
    // logged. The others are installed by few users: they are repaired when
    // their file exists and pass without a word when it does not.
    bool onlyIfPresent = false;
};

std::vector<BrowserFile> BrowserLocalStateFiles(const std::u16string& localAppData);

// The files a run repairs or checks below the folder: the stable channels',
// and each other channel's whose file the walk reaches as it would read it
// (confined: no link followed), so that a link in another user's folders
// tells nothing of where it leads. Nothing is looked up by path.
std::vector<std::u16string> BrowserFilesToLookAt(const std::u16string& localAppData, const Confinement& confinement);
