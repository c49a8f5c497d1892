#include "localstate/localstate.h"
#include "log/log.h"
#include "textfile/textfile.h"

FixOutcome FixLocalState(const std::u16string& path, const std::function<void(const std::u16string&)>& log) {
    if (!FileExists(path)) {
        log(u"未找到文件:" + path);
        return FixOutcome::NotFound;
    }
    log(u"文件存在：" + path);

    TextEncoding encoding = encAuto;
    const std::u16string oldText = ReadTextFile(path, encoding);
    std::vector<std::u16string> lines;
    const std::u16string newText = RepairLocalStateText(oldText, &lines);
    for (const std::u16string& line : lines) log(line);
    if (newText == oldText) return FixOutcome::Unchanged;

    // The file may have changed hands since it was read; write it in the
    // encoding it has now.
    TextEncoding current = GetFileEncoding(path);
    return WriteTextFile(path, newText, false, current, encAnsi) ? FixOutcome::Saved : FixOutcome::NotSaved;
}

FixOutcome FixLocalState(const std::u16string& path) { return FixLocalState(path, WriteLog); }

CheckOutcome CheckLocalState(const std::u16string& path) {
    if (!FileExists(path)) return CheckOutcome::NotFound;
    TextEncoding encoding = encAuto;
    const std::u16string oldText = ReadTextFile(path, encoding);
    std::vector<std::u16string> lines;
    return RepairLocalStateText(oldText, &lines) == oldText ? CheckOutcome::UpToDate : CheckOutcome::NeedsRepair;
}
