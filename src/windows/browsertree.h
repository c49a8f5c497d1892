#pragma once
// A browser is a tree of processes of one image: a main process and the
// helpers it started. Process ids are reused, so a parent is only a parent
// when it started no later than its child.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A process of one of the browsers' images, as far as it can be told.
struct BrowserProcess {
    uint32_t id = 0;
    uint32_t parentId = 0;
    uint64_t startTime = 0;  // FILETIME ticks; 0 when it cannot be read
    std::u16string userSid;  // "S-1-5-21-..."; empty when it cannot be told
    uint32_t session = 0;
    bool sessionKnown = false;
};

// The processes of `userSid` in `session`. One whose user, session or start
// time cannot be told is nobody's: it is never waited for or ended.
std::vector<BrowserProcess> ProcessesOf(const std::vector<BrowserProcess>& all, const std::u16string& userSid,
                                        uint32_t session);

struct ProcessLink {
    uint32_t id = 0;
    uint32_t parentId = 0;
    uint64_t startTime = 0;  // any clock that only goes forward
};

// For each process, the index of its tree's main process: the first process
// up its line of parents whose own parent is not in the list. The list is
// one moment's picture of the processes; a process is its own main process
// when it has no parent in it.
std::vector<size_t> MainProcessOf(const std::vector<ProcessLink>& processes);
