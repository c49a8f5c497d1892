#include "windows/browserprocesses.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>

#include "windows/unique_any.h"

namespace {

using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;

HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }
using UniqueSnapshot = UniqueAny<HANDLE, &CloseHandle, &InvalidHandle>;

bool IsBrowserName(const wchar_t* name, size_t size) {
    for (const wchar_t* want : {L"chrome.exe", L"msedge.exe"})
        if (CompareStringOrdinal(name, static_cast<int>(size), want, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

std::u16string TokenUserSid(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    if (!GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) return {};
    std::u16string sid(reinterpret_cast<const char16_t*>(text));
    LocalFree(text);
    return sid;
}

std::u16string ProcessUserSid(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    UniqueHandle owned(token);
    return TokenUserSid(token);
}

}  // namespace

std::vector<BrowserProcess> ListBrowserProcesses() {
    std::vector<BrowserProcess> found;
    UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (!IsBrowserName(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH))) continue;
        BrowserProcess p;
        p.id = entry.th32ProcessID;
        p.parentId = entry.th32ParentProcessID;
        DWORD session = 0;
        p.sessionKnown = ProcessIdToSessionId(p.id, &session) != FALSE;
        p.session = session;
        UniqueHandle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.id));
        if (h) {
            FILETIME created, exited, kernel, user;
            if (GetProcessTimes(h.get(), &created, &exited, &kernel, &user))
                p.startTime = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
            p.userSid = ProcessUserSid(h.get());
        }
        found.push_back(std::move(p));
    }
    return found;
}

bool IsBrowserImage(DWORD processId) {
    UniqueHandle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!h || !QueryFullProcessImageNameW(h.get(), 0, path, &size)) return false;
    const std::wstring full(path, size);
    const size_t name = full.find_last_of(L"\\/") + 1;
    return IsBrowserName(full.c_str() + name, full.size() - name);
}

std::u16string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    UniqueHandle owned(token);
    return TokenUserSid(token);
}

std::vector<BrowserProcess> OwnBrowserProcesses(const std::vector<BrowserProcess>& all) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return {};
    return ProcessesOf(all, CurrentUserSid(), session);
}
