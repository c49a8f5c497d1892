#include "app/unattended.h"

#include <windows.h>

#include <memory>
#include <string>

#include "app/cmdline.h"
#include "log/log.h"
#include "log/stdoutecho.h"

namespace {

std::u16string U16(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }

std::u16string ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? U16(name) : std::u16string();
}

// DOMAIN\user of the account the process runs as; SYSTEM shows as
// NT AUTHORITY\SYSTEM.
std::u16string AccountName() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<BYTE[]> buffer(new BYTE[size ? size : 1]);
    const bool have = size && GetTokenInformation(token, TokenUser, buffer.get(), size, &size);
    CloseHandle(token);
    if (!have) return {};
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, name, &nameSize, domain,
                           &domainSize, &use))
        return {};
    return U16(domain) + u"\\" + U16(name);
}

}  // namespace

int RunUnattended(UnattendedJob job, RunScope scope) {
    std::u16string mode = job == UnattendedJob::Check ? u"check" : u"silent";
    if (scope == RunScope::AllProfiles) mode += u", all profiles";
    // Lines from many machines may end up side by side in one place.
    WriteLog(u"Computer: " + ComputerName() + u"; user: " + AccountName() + u"; mode: " + mode);
    const int code = job == UnattendedJob::Check ? CheckExitCode(RunCheck(scope)) : (RunFix(scope) ? kExitOk : kExitFailed);
    WriteLog(u"Result: " + DecimalText(code));
    FinishStandardOutputEcho(2000);
    return code;
}
