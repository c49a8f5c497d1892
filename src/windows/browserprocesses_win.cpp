#include "windows/browserprocesses.h"

#include <sddl.h>
#include <tlhelp32.h>
#include <wtsapi32.h>

#include <algorithm>
#include <memory>

#include "windows/unique_any.h"

namespace {

using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;

HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }
using UniqueSnapshot = UniqueAny<HANDLE, &CloseHandle, &InvalidHandle>;

bool NameIn(const wchar_t* name, size_t size, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* want : names)
        if (CompareStringOrdinal(name, static_cast<int>(size), want, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

// The browsers whose settings the run repairs, and so closes or waits for.
bool IsBrowserName(const wchar_t* name, size_t size) { return NameIn(name, size, {L"chrome.exe", L"msedge.exe"}); }

// Any browser a page can hand the program's link from: the scheme is
// registered for every browser of the machine, not only the repaired ones.
bool IsWebBrowserName(const wchar_t* name, size_t size) {
    return IsBrowserName(name, size) ||
           NameIn(name, size, {L"firefox.exe", L"brave.exe", L"opera.exe", L"vivaldi.exe", L"iexplore.exe"});
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

uint64_t StartTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!process || !GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool RunsBrowserImage(HANDLE process, bool (*named)(const wchar_t*, size_t) = IsBrowserName) {
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) return false;
    const std::wstring full(path, size);
    const size_t name = full.find_last_of(L"\\/") + 1;
    return named(full.c_str() + name, full.size() - name);
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
            p.startTime = StartTime(h.get());
            p.userSid = ProcessUserSid(h.get());
        }
        found.push_back(std::move(p));
    }
    return found;
}

bool IsBrowserImage(DWORD processId) {
    const UniqueHandle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    return h && RunsBrowserImage(h.get());
}

bool StartedByBrowser() {
    const DWORD self = GetCurrentProcessId();
    DWORD parentId = 0;
    {
        const UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more && !parentId;
             more = Process32NextW(snapshot.get(), &entry))
            if (entry.th32ProcessID == self) parentId = entry.th32ParentProcessID;
    }
    const UniqueHandle parent(parentId ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId) : nullptr);
    // An id is reused once its process has ended: one started after this
    // process is not the one that started it.
    const uint64_t parentStart = StartTime(parent.get()), ownStart = StartTime(GetCurrentProcess());
    return parent && parentStart != 0 && ownStart != 0 && parentStart <= ownStart &&
           RunsBrowserImage(parent.get(), IsWebBrowserName);
}

std::vector<SessionUser> SignedInSessions() {
    std::vector<SessionUser> sessions;
    // Not among the DLLs every process has; from the system folder only.
    const HMODULE wts = LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!wts) return sessions;
    using Enumerate = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
    using Query = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    using Free = void(WINAPI*)(PVOID);
    const auto enumerate = reinterpret_cast<Enumerate>(reinterpret_cast<void*>(GetProcAddress(wts, "WTSEnumerateSessionsW")));
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(wts, "WTSQuerySessionInformationW")));
    const auto free = reinterpret_cast<Free>(reinterpret_cast<void*>(GetProcAddress(wts, "WTSFreeMemory")));
    PWTS_SESSION_INFOW list = nullptr;
    DWORD count = 0;
    if (enumerate && query && free && enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) {
        const auto text = [&](DWORD session, WTS_INFO_CLASS what) {
            LPWSTR value = nullptr;
            DWORD bytes = 0;
            std::wstring out;
            if (query(WTS_CURRENT_SERVER_HANDLE, session, what, &value, &bytes) && value) out = value;
            if (value) free(value);
            return out;
        };
        for (DWORD i = 0; i < count; ++i) {
            const std::wstring user = text(list[i].SessionId, WTSUserName);
            if (user.empty()) continue;  // nobody signed in: the services' session, a login screen
            const std::wstring account = text(list[i].SessionId, WTSDomainName) + L"\\" + user;
            BYTE sid[SECURITY_MAX_SID_SIZE];
            DWORD sidSize = sizeof sid, domainSize = 256;
            wchar_t domain[256];
            SID_NAME_USE use;
            SessionUser s;
            s.session = list[i].SessionId;
            wchar_t* sidText = nullptr;
            if (LookupAccountNameW(nullptr, account.c_str(), sid, &sidSize, domain, &domainSize, &use) &&
                ConvertSidToStringSidW(sid, &sidText)) {
                s.userSid = reinterpret_cast<const char16_t*>(sidText);
                LocalFree(sidText);
            }
            sessions.push_back(std::move(s));
        }
        free(list);
    }
    FreeLibrary(wts);
    return sessions;
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
