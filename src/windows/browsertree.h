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

// A signed-in session and the account signed in to it; an empty SID when
// that cannot be told.
struct SessionUser {
    uint32_t session = 0;
    std::u16string userSid;
};

// The accounts whose profiles a running browser makes busy. A process whose
// user cannot be read (any user can name a program chrome.exe and keep
// others from reading its token) is blamed on the user of its session;
// when that is unknown too, on every account signed in to some session,
// since a browser runs for someone who is. Never on profiles whose users
// are not signed in.
std::vector<std::u16string> BusyUsers(const std::vector<BrowserProcess>& processes,
                                      const std::vector<SessionUser>& sessions);
