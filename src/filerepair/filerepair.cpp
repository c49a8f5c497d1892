#include "filerepair/filerepair.h"

#include "fileio/fileio.h"
#include "log/datestamp.h"

FixOutcome FixFile(const std::u16string& path, const char16_t* label, FileRules& rules, const LogLine& log,
                   const Confinement& confinement) {
    const auto linked = [&] { log(u"Link in path, not followed: " + path); };
    try {
        const std::u16string said = std::u16string(label) + u": ";
        // Whether the file is there is what the walk finds, link and all:
        // the folder held, and the file in it held from the read to the swap.
        const FolderHandle folder = FolderHandle::OpenFor(path, confinement);
        TextFileBytes file;
        uint32_t error = 0;
        const bool read = ReadTextFileBytes(folder, file, &error);
        if (!read && error == kErrorLinkInPath) {
            linked();
            return FixOutcome::Unreadable;
        }
        if (!read && NamesNoFile(error)) {
            log(u"未找到文件:" + path);
            return FixOutcome::NotFound;
        }
        log(u"文件存在：" + path);
        // Another program may let it go by the next run; in a run for
        // everyone, its user's program holds that profile up, no more.
        if (!read && folder.Confined() && HeldByAnother(error)) {
            log(said + u"not saved (error " + DecimalText(error) + u")");
            return FixOutcome::NotSaved;
        }
        if (!read) {
            log(u"Cannot read file (error " + DecimalText(error) + u"): " + path);
            return FixOutcome::Unreadable;
        }
        rules.Run(file);
        for (const std::u16string& line : rules.lines) log(line);
        if (rules.refused) return FixOutcome::Unreadable;
        if (!rules.changed) {
            log(said + u"no change");
            return FixOutcome::Unchanged;
        }
        if (ReplaceFileContent(folder, rules.pieces, &error)) {
            log(said + u"changed and saved");
            return FixOutcome::Saved;
        }
        if (error == kErrorLinkInPath) linked();
        log(said + u"changed, not saved (error " + DecimalText(error) + u")");
        return FixOutcome::NotSaved;
    } catch (...) {
        // A file made to exhaust memory, or anything else unforeseen, costs
        // this file's repair, not the run's other files and profiles.
        try {
            log(std::u16string(label) + u": not saved (error " + DecimalText(kErrorNoMemory) + u")");
        } catch (...) {
        }
        return FixOutcome::NotSaved;
    }
}

CheckOutcome CheckFile(const std::u16string& path, FileRules& rules, const Confinement& confinement) {
    try {
        const FolderHandle folder = FolderHandle::OpenFor(path, confinement);
        TextFileBytes file;
        uint32_t error = 0;
        if (!ReadTextFileBytes(folder, file, &error))
            return NamesNoFile(error) ? CheckOutcome::NotFound : CheckOutcome::CannotRead;
        rules.Run(file);
        if (rules.refused) return CheckOutcome::CannotRead;
        return rules.changed ? CheckOutcome::NeedsRepair : CheckOutcome::UpToDate;
    } catch (...) {
        return CheckOutcome::CannotRead;
    }
}
