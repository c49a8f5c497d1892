#pragma once
// The machine's user profiles as Windows lists them. Win32 only.
#include <string>
#include <vector>

struct UserProfile {
    std::u16string sid;
    std::u16string folder;  // the profile's folder, environment variables expanded
};

// Every profile under ProfileList that names a folder, of any account.
std::vector<UserProfile> ListUserProfiles();

// True when the folder can be opened and listed: not missing, not denied,
// not a junction that leads back to itself.
bool FolderCanBeRead(const std::u16string& folder);

// True when this process runs as LocalSystem, the account fleet tools use
// by default; its own profile holds no user's browsers.
bool RunsAsLocalSystem();
