#include "fixrun/browserfolder.h"

#include <algorithm>
#include <cstdint>

#include "fileio/fileio.h"
#include "fixrun/outcome.h"
#include "localstate/localstate.h"
#include "localstate/version.h"
#include "preferences/preferences.h"

namespace {

// 0 for Default, N for "Profile N", and no profile for any other folder
// (System Profile, Guest Profile, the browsers' own data).
bool ProfileNumber(const std::u16string& name, uint64_t* number) {
    if (name == u"Default") return *number = 0, true;
    const std::u16string prefix = u"Profile ";
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 9 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] == u'0')
        return false;
    *number = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < u'0' || name[i] > u'9') return false;
        *number = *number * 10 + (name[i] - u'0');
    }
    return true;
}

struct ProfileFile {
    std::u16string path;
    bool linked;  // reached through a link where none may be followed
};

// The profiles' Preferences files, in the order they are repaired.
std::vector<ProfileFile> ProfileFiles(const std::u16string& localStatePath, const Confinement& confinement) {
    const FolderHandle userData = FolderHandle::OpenFor(localStatePath, confinement);
    std::vector<FolderHandle::Subfolder> folders;
    if (!userData.Subfolders(&folders)) return {};
    std::vector<std::pair<uint64_t, FolderHandle::Subfolder>> profiles;
    for (FolderHandle::Subfolder& f : folders)
        if (uint64_t n; ProfileNumber(f.name, &n)) profiles.emplace_back(n, std::move(f));
    std::sort(profiles.begin(), profiles.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::u16string base = localStatePath.substr(0, localStatePath.find_last_of(kPathSeparator) + 1);
    std::vector<ProfileFile> files;
    for (const auto& [n, f] : profiles) {
        const std::u16string path = base + f.name + kPathSeparator + u"Preferences";
        const bool linked = f.link && userData.Confined();
        if (linked || FolderHandle::OpenFor(path, confinement).HasFile()) files.push_back({path, linked});
    }
    return files;
}

}  // namespace

bool FixBrowserFolder(const std::u16string& localStatePath, const LogLine& log, const Confinement& confinement) {
    const std::string version = ReadLastVersion(localStatePath, confinement);
    bool repaired = FileRepaired(FixLocalState(localStatePath, log, confinement, version));
    for (const ProfileFile& f : ProfileFiles(localStatePath, confinement)) {
        if (f.linked) {
            log(u"Link in path, not followed: " + f.path);
            repaired = false;
            continue;
        }
        repaired = FileRepaired(FixPreferences(f.path, log, confinement)) && repaired;
    }
    return repaired;
}

std::vector<std::pair<std::u16string, CheckOutcome>> CheckBrowserFolder(const std::u16string& localStatePath,
                                                                        const Confinement& confinement) {
    const std::string version = ReadLastVersion(localStatePath, confinement);
    std::vector<std::pair<std::u16string, CheckOutcome>> checked = {
        {localStatePath, CheckLocalState(localStatePath, confinement, version)}};
    for (const ProfileFile& f : ProfileFiles(localStatePath, confinement))
        checked.emplace_back(f.path, f.linked ? CheckOutcome::CannotRead : CheckPreferences(f.path, confinement));
    return checked;
}
