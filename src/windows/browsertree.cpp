#include "windows/browsertree.h"

#include <algorithm>
#include <unordered_map>

std::vector<size_t> MainProcessOf(const std::vector<ProcessLink>& processes) {
    std::unordered_map<uint32_t, size_t> byId;
    for (size_t i = 0; i < processes.size(); ++i) byId.emplace(processes[i].id, i);
    std::vector<size_t> parent(processes.size());
    for (size_t i = 0; i < processes.size(); ++i) {
        const auto it = byId.find(processes[i].parentId);
        const bool linked = it != byId.end() && it->second != i &&
                            processes[it->second].startTime <= processes[i].startTime;
        parent[i] = linked ? it->second : i;
    }
    // Equal start times could close a loop; a line of parents longer than the
    // list has one, and its process counts as its own main process.
    std::vector<size_t> root(processes.size());
    for (size_t i = 0; i < processes.size(); ++i) {
        size_t at = i;
        for (size_t steps = 0; parent[at] != at && steps <= processes.size(); ++steps) at = parent[at];
        root[i] = parent[at] == at ? at : i;
    }
    return root;
}

std::vector<BrowserProcess> ProcessesOf(const std::vector<BrowserProcess>& all, const std::u16string& userSid,
                                        uint32_t session) {
    std::vector<BrowserProcess> own;
    if (userSid.empty()) return own;
    for (const BrowserProcess& p : all)
        if (p.userSid == userSid && p.sessionKnown && p.session == session && p.startTime != 0) own.push_back(p);
    return own;
}

std::vector<std::u16string> BusyUsers(const std::vector<BrowserProcess>& processes,
                                      const std::vector<SessionUser>& sessions) {
    std::vector<std::u16string> busy;
    const auto add = [&](const std::u16string& sid) {
        if (!sid.empty() && std::find(busy.begin(), busy.end(), sid) == busy.end()) busy.push_back(sid);
    };
    bool someoneUnknown = false;
    for (const BrowserProcess& p : processes) {
        if (!p.userSid.empty()) {
            add(p.userSid);
            continue;
        }
        bool blamed = false;
        for (const SessionUser& s : sessions)
            if (p.sessionKnown && s.session == p.session && !s.userSid.empty()) add(s.userSid), blamed = true;
        someoneUnknown |= !blamed;
    }
    if (someoneUnknown)
        for (const SessionUser& s : sessions) add(s.userSid);
    return busy;
}
