#pragma once
// The user profiles of the machine, for runs that repair every user's
// browsers at once (a fleet tool's run as LocalSystem).
#include <string>

// True for the SIDs of people's accounts: local and domain accounts
// (S-1-5-21-...) and Entra ID accounts (S-1-12-1-...). Service and
// system profiles have others.
bool IsPersonSid(const std::u16string& sid);

// The local application-data folder of a profile folder.
std::u16string ProfileLocalAppData(const std::u16string& profileFolder);
