#include "fixrun/profiles.h"

namespace {

bool StartsWithNumberedPrefix(const std::u16string& sid, const std::u16string& prefix) {
    // The prefix must be followed by a further numbered part: "S-1-5-21"
    // alone, or "S-1-5-210-...", is no account of a person.
    if (sid.size() <= prefix.size() + 1 || sid.compare(0, prefix.size(), prefix) != 0) return false;
    if (sid[prefix.size()] != u'-') return false;
    for (size_t i = prefix.size() + 1; i < sid.size(); ++i)
        if (!(sid[i] >= u'0' && sid[i] <= u'9') && !(sid[i] == u'-' && sid[i - 1] != u'-' && i + 1 < sid.size()))
            return false;
    return true;
}

}  // namespace

bool IsPersonSid(const std::u16string& sid) {
    return StartsWithNumberedPrefix(sid, u"S-1-5-21") || StartsWithNumberedPrefix(sid, u"S-1-12-1");
}

std::u16string ProfileLocalAppData(const std::u16string& profileFolder) {
    std::u16string folder = profileFolder;
    while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    return folder + u"\\AppData\\Local";
}
