#include "windows/closebrowsers.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "windows/browserprocesses.h"
#include "windows/browsertree.h"
#include "windows/findwindowlike.h"
#include "windows/messagepump.h"
#include "windows/unique_any.h"

namespace {

// How long the browsers get to close their windows and end; a window
// still there by then belongs to a browser that waits for its user.
constexpr ULONGLONG kWaitMs = 15000;
// A browser may take a moment to save and end after its last window has
// gone; one that lingers longer stays in the background on purpose.
constexpr ULONGLONG kGraceMs = 5000;
// An ended process is gone within moments; one that is not stays counted.
constexpr ULONGLONG kEndWaitMs = 2000;
// Windows come and go without a signal to wait on, so they are looked at
// this often.
constexpr DWORD kPollMs = 100;

using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;

uint64_t Now() {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

uint64_t StartTimeOf(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool Running(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// The processes that show a visible top-level window of any kind.
std::unordered_set<DWORD> ProcessesShowingWindows() {
    std::unordered_set<DWORD> shown;
    EnumWindows(
        [](HWND w, LPARAM out) -> BOOL {
            DWORD pid = 0;
            if (IsWindowVisible(w) && GetWindowThreadProcessId(w, &pid))
                reinterpret_cast<std::unordered_set<DWORD>*>(out)->insert(pid);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    return shown;
}

struct Tree {
    bool showsWindow = false;
    bool everShowedWindow = false;
    ULONGLONG lastWindowAt = 0;
    std::optional<ULONGLONG> endedAt;
};

struct Tracked {
    DWORD id = 0;
    uint64_t startTime = 0;
    size_t tree = 0;
    UniqueHandle handle;
    bool mayEnd = false;
};

// The user's browser processes now, each with the index of its main process.
struct OwnBrowsers {
    std::vector<BrowserProcess> processes;
    std::vector<size_t> mainOf;
};

OwnBrowsers ListOwnBrowsers() {
    OwnBrowsers b;
    b.processes = OwnBrowserProcesses(ListBrowserProcesses());
    std::vector<ProcessLink> links;
    for (const BrowserProcess& p : b.processes) links.push_back({p.id, p.parentId, p.startTime});
    b.mainOf = MainProcessOf(links);
    return b;
}

class BrowserWait {
public:
    // Takes hold of the user's browser processes as they are now. Holding a
    // handle keeps an id from being reused while it is watched.
    explicit BrowserWait(const OwnBrowsers& now) {
        std::vector<size_t> treeOfMain(now.processes.size(), SIZE_MAX);
        for (size_t i = 0; i < now.processes.size(); ++i) {
            size_t& tree = treeOfMain[now.mainOf[i]];
            if (tree == SIZE_MAX) {
                tree = trees_.size();
                trees_.emplace_back();
            }
            Hold(now.processes[i], tree);
        }
        waitedFor_ = processes_.size();
    }

    int64_t WaitedFor() const { return static_cast<int64_t>(waitedFor_); }

    // Which browsers show a window now. Called once before the close
    // requests go out, so that one that never had a window is known as such.
    void LookAtWindows(ULONGLONG tick) {
        const std::unordered_set<DWORD> shown = ProcessesShowingWindows();
        for (Tree& tree : trees_) tree.showsWindow = false;
        for (const Tracked& p : processes_) {
            if (!shown.count(p.id) || !Running(p.handle.get())) continue;
            Tree& tree = trees_[p.tree];
            tree.showsWindow = tree.everShowedWindow = true;
            tree.lastWindowAt = tick;
        }
    }

    void Wait(BrowserCloseReport& report) {
        const ULONGLONG deadline = GetTickCount64() + kWaitMs;
        for (;;) {
            const ULONGLONG tick = GetTickCount64();
            LookAtWindows(tick);
            for (size_t t = 0; t < trees_.size(); ++t) {
                const Tree& tree = trees_[t];
                if (tree.endedAt || tree.showsWindow || !TreeRunning(t)) continue;
                // Past the deadline a windowless browser is not waited for
                // any longer: no user can close it either.
                if (!tree.everShowedWindow || tick - tree.lastWindowAt >= kGraceMs || tick >= deadline)
                    End(t, tick, report);
            }
            std::vector<HANDLE> due;
            for (const Tracked& p : processes_) {
                if (!Running(p.handle.get())) continue;
                const Tree& tree = trees_[p.tree];
                if (tree.endedAt ? tick < *tree.endedAt + kEndWaitMs : tick < deadline) due.push_back(p.handle.get());
            }
            if (due.empty()) break;
            const DWORD n = static_cast<DWORD>(std::min<size_t>(due.size(), MAXIMUM_WAIT_OBJECTS - 1));
            const DWORD r = MsgWaitForMultipleObjects(n, due.data(), FALSE, kPollMs, QS_ALLINPUT);
            if (r == WAIT_OBJECT_0 + n) ProcessPendingMessages();
            else if (r == WAIT_FAILED) Sleep(kPollMs);
        }
        for (size_t i = 0; i < processes_.size(); ++i) {
            if (!Running(processes_[i].handle.get())) continue;
            // A helper started during the wait and left over is one that
            // could not be ended; only those of the start are "still running".
            if (i < waitedFor_) ++report.stillRunning;
        }
    }

private:
    void Hold(const BrowserProcess& p, size_t tree) {
        Tracked t;
        t.id = p.id;
        t.startTime = p.startTime;
        t.tree = tree;
        t.handle.reset(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.id));
        t.mayEnd = static_cast<bool>(t.handle);
        if (!t.handle) t.handle.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.id));
        // Gone since the list was taken, or its id already reused.
        if (!t.handle || StartTimeOf(t.handle.get()) != p.startTime) return;
        processes_.push_back(std::move(t));
    }

    const Tracked* Held(const BrowserProcess& p) const {
        for (const Tracked& t : processes_)
            if (t.id == p.id && t.startTime == p.startTime) return &t;
        return nullptr;
    }

    bool TreeRunning(size_t tree) const {
        for (const Tracked& p : processes_)
            if (p.tree == tree && Running(p.handle.get())) return true;
        return false;
    }

    // Helpers the browser started since the run took hold belong to it too:
    // left running, they would keep it alive.
    void HoldNewHelpers(size_t tree) {
        const OwnBrowsers now = ListOwnBrowsers();
        for (size_t i = 0; i < now.processes.size(); ++i) {
            const Tracked* main = Held(now.processes[now.mainOf[i]]);
            if (main && main->tree == tree && !Held(now.processes[i])) Hold(now.processes[i], tree);
        }
    }

    void End(size_t tree, ULONGLONG tick, BrowserCloseReport& report) {
        HoldNewHelpers(tree);
        trees_[tree].endedAt = tick;
        // Helpers first, the newest first: a helper ends by itself once its
        // browser has gone, and would then count as neither.
        std::vector<const Tracked*> members;
        for (const Tracked& p : processes_)
            if (p.tree == tree && Running(p.handle.get())) members.push_back(&p);
        std::sort(members.begin(), members.end(),
                  [](const Tracked* a, const Tracked* b) { return a->startTime > b->startTime; });
        for (const Tracked* p : members) {
            if (p->mayEnd && TerminateProcess(p->handle.get(), 1)) ++report.ended;
            // One that ended by itself meanwhile is simply gone.
            else if (Running(p->handle.get())) ++report.couldNotEnd;
        }
    }

    std::vector<Tree> trees_;
    std::vector<Tracked> processes_;
    size_t waitedFor_ = 0;
};

}  // namespace

BrowserCloseReport CloseBrowsers() {
    BrowserCloseReport report;
    BrowserWait wait(ListOwnBrowsers());
    report.waitedFor = wait.WaitedFor();
    wait.LookAtWindows(GetTickCount64());

    std::vector<HWND> list;
    // The class both browsers give their windows; another program on the
    // same engine has it too, which is why the image is looked at below.
    const int32_t count = FindWindowLike(list, nullptr, u"*", u"Chrome_WidgetWin_1", std::nullopt, false);
    std::vector<HWND> asked;
    std::vector<DWORD> others;
    for (int32_t i = 1; i <= count; ++i) {
        const HWND window = list[static_cast<size_t>(i)];
        DWORD pid = 0;
        if (GetWindowThreadProcessId(window, &pid) == 0) continue;  // gone since the search
        if (!IsBrowserImage(pid)) {
            if (std::find(others.begin(), others.end(), pid) == others.end()) others.push_back(pid);
            continue;
        }
        // All at once: the browsers shut down side by side. A window that
        // cannot even be asked (an elevated browser's) counts as not
        // answering if it is still there at the end.
        SendCloseMessage(window);
        asked.push_back(window);
    }
    report.requestsSentAt = Now();
    report.othersLeftOpen = static_cast<int64_t>(others.size());

    wait.Wait(report);
    for (HWND window : asked) (IsWindow(window) ? report.notAnswering : report.windowsClosed) += 1;
    return report;
}

int64_t CountBrowsersStartedSince(uint64_t since) {
    const OwnBrowsers now = ListOwnBrowsers();
    int64_t started = 0;
    for (size_t i = 0; i < now.processes.size(); ++i)
        started += now.mainOf[i] == i && now.processes[i].startTime > since;
    return started;
}
