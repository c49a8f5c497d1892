#include "localstate/localstate.h"
#include "log/log.h"
#include "textfile/textfile.h"

void FixLocalState(const std::u16string& path, const std::function<void(const std::u16string&)>& log) {
    if (!FileExists(path)) {
        log(u"未找到文件:" + path);
        return;
    }
    log(u"文件存在：" + path);

    TextEncoding encoding = encAuto;
    const std::u16string oldText = ReadTextFile(path, encoding);
    std::vector<std::u16string> lines;
    const std::u16string newText = RepairLocalStateText(oldText, &lines);
    for (const std::u16string& line : lines) log(line);
    if (newText == oldText) return;

    // The file may have changed hands since it was read; write it in the
    // encoding it has now.
    TextEncoding current = GetFileEncoding(path);
    WriteTextFile(path, newText, false, current, encAnsi);
}

void FixLocalState(const std::u16string& path) { FixLocalState(path, WriteLog); }
