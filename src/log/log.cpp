#include "log/log.h"

#include "textfile/codepage.h"
#include "textfile/fileio.h"

bool LogEnabled = false;

std::u16string LogFilePath(const std::u16string& folder, const DateTime& day) {
    return folder + kPathSeparator + u"zaridedev.log." + FormatDateStamp(day, 4) + u".txt";
}

bool AppendLogEntry(const std::u16string& path, const DateTime& stamp, const std::u16string& text) {
    FileHandle file = FileHandle::Open(path, FileHandle::Access::AppendAlways);
    uint64_t size = 0;
    if (!file.Size(&size)) return false;
    std::string bytes = size > 0 ? "\r\n" : "";
    bytes += TextToBytes(FormatDateStamp(stamp, 1) + u"  " + text, kCodePageAnsi);
    // One write call: the entry and its separator land together at the end.
    return file.Write(bytes.data(), bytes.size());
}

void WriteLog(const std::u16string& text) {
    if (!LogEnabled) return;
    try {
        std::u16string folder = ApplicationFolder();
        if (folder.empty()) return;
        std::u16string path = LogFilePath(folder, LocalNow());
        AppendLogEntry(path, LocalNow(), text);
    } catch (...) {
        // Logging may lose an entry but must never stop a run.
    }
}
