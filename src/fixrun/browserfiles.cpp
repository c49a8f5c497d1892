#include "fixrun/browserfiles.h"

std::vector<BrowserFile> BrowserLocalStateFiles(const std::u16string& localAppData) {
    // Beta, Dev and Canary builds and Chromium run from images of the same
    // names, so closing the browsers closes them too.
    static const char16_t* const kOtherChannels[] = {
        u"\\Google\\Chrome Beta", u"\\Google\\Chrome Dev",  u"\\Google\\Chrome SxS",   u"\\Chromium",
        u"\\Microsoft\\Edge Beta", u"\\Microsoft\\Edge Dev", u"\\Microsoft\\Edge SxS",
    };
    std::vector<BrowserFile> files = {{localAppData + u"\\Google\\Chrome\\User Data\\Local State", false},
                                      {localAppData + u"\\Microsoft\\Edge\\User Data\\Local State", false}};
    for (const char16_t* channel : kOtherChannels)
        files.push_back({localAppData + channel + u"\\User Data\\Local State", true});
    return files;
}

std::vector<std::u16string> BrowserFilesToLookAt(const std::u16string& localAppData, const Confinement& confinement) {
    std::vector<std::u16string> paths;
    for (const BrowserFile& file : BrowserLocalStateFiles(localAppData))
        if (!file.onlyIfPresent || FolderHandle::OpenFor(file.path, confinement).HasFile()) paths.push_back(file.path);
    return paths;
}
