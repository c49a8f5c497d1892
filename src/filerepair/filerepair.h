#pragma once
// One browser file repaired in place, whatever its rules: the folder held
// from the read to the swap, the new content written only when the rules
// changed something, and each outcome logged and counted the same way.
#include <functional>
#include <string>
#include <vector>

#include "fileio/fileio.h"
#include "textfile/textfile.h"

// What became of one file. NotSaved and Unreadable are failures the user
// must hear about; a missing file is not one.
enum class FixOutcome {
    NotFound,    // nothing at the path, or a folder
    Unchanged,   // read, and the rules changed nothing
    Saved,       // changed and written back
    NotSaved,    // changed, but the write failed: the file is as it was
    Unreadable,  // exists but could not be read, or is not what its rules edit; no rule ran
};

// What a repair would do to the file, found without writing anything.
enum class CheckOutcome { NotFound, UpToDate, NeedsRepair, CannotRead };

using LogLine = std::function<void(const std::u16string&)>;

// A file's rules, run once on its bytes. The new content's pieces may point
// into the file's buffer, which the rules may take over, or into the rules
// object: both live as long as it does.
class FileRules {
public:
    virtual ~FileRules() = default;
    virtual void Run(TextFileBytes& file) = 0;

    std::vector<std::u16string> lines;  // the decisions, in order
    bool refused = false;               // not what the rules edit: left as it is, and not repaired
    bool changed = false;
    std::vector<ByteSpan> pieces;       // the new content, when changed
};

// Repairs the file and writes it back only when the rules changed it; every
// decision goes to `log`, the outcome lines after `label` ("Loal Stage: no
// change"). Confined to a folder of another user's that the path lies
// below, no link from there down is followed (a file reached through one is
// not read), a file held by another program is not saved, and the new file
// belongs to the owner the confinement gives. Never throws: a failure of
// any kind costs this file only.
FixOutcome FixFile(const std::u16string& path, const char16_t* label, FileRules& rules, const LogLine& log,
                   const Confinement& confinement);
CheckOutcome CheckFile(const std::u16string& path, FileRules& rules, const Confinement& confinement);
