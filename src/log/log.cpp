#include "log/log.h"

#include "textfile/codepage.h"
#include "fileio/fileio.h"

bool LogEnabled = false;
bool LogForAdministratorsOnly = false;

namespace {
LogEcho g_echo = nullptr;
bool g_besideProgramFailed = false;
thread_local LogHold t_hold = nullptr;
thread_local void* t_holdContext = nullptr;
}  // namespace

void HoldThreadLog(LogHold hold, void* context) {
    t_hold = hold;
    t_holdContext = context;
}

void SetLogEcho(LogEcho echo) { g_echo = echo; }

std::u16string LogFilePath(const std::u16string& folder, const DateTime& day) {
    return folder + kPathSeparator + u"zaridedev.log." + FormatDateStamp(day, 4) + u".txt";
}

bool AppendLogEntry(const std::u16string& path, const DateTime& stamp, const std::u16string& text,
                    bool forAdministratorsOnly) {
    FileHandle file = FileHandle::Open(
        path, forAdministratorsOnly ? FileHandle::Access::AppendAlwaysPrivate : FileHandle::Access::AppendAlways);
    uint64_t size = 0;
    if (!file.LockAppends() || !file.Size(&size)) return false;
    std::string bytes = size > 0 ? "\r\n" : "";
    bytes += TextToBytes(FormatDateStamp(stamp, 1) + u"  " + text, kCodePageAnsi);
    // One write call: the entry and its separator land together at the end.
    const bool written = file.Write(bytes.data(), bytes.size());
    file.UnlockAppends();
    return written;
}

void WriteLog(const std::u16string& text) {
    try {
        if (t_hold) return t_hold(t_holdContext, text);
        if (g_echo) g_echo(text);
        if (!LogEnabled) return;
        const bool restricted = LogForAdministratorsOnly;
        if (!restricted && !g_besideProgramFailed) {
            const std::u16string folder = ApplicationFolder();
            if (!folder.empty() && AppendLogEntry(LogFilePath(folder, LocalNow()), LocalNow(), text)) return;
            // A program under Program Files or on a read-only share cannot
            // log beside itself; losing the log without a word would hide
            // that. Nor may a reader who holds the lock cost a wait per line.
            g_besideProgramFailed = true;
        }
        const std::u16string fallback = FallbackLogFolder(restricted);
        if (!fallback.empty()) AppendLogEntry(LogFilePath(fallback, LocalNow()), LocalNow(), text, restricted);
    } catch (...) {
        // Logging may lose an entry but must never stop a run.
    }
}
