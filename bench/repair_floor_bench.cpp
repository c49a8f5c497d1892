// The whole repair of a Local State file, and of a profile's Preferences,
// against the I/O floor, each in a fresh process: FixLocalState (or
// FixPreferences) on a fresh copy of the file, against reading
// the file, writing a temporary file beside it, flushing it, renaming it
// over the file and flushing the folder. Prints time ratios, peak memory
// beyond an idle process per input byte, and how both grow from 1 to 10
// (to 100) MB.
//
// The parent stays small: it makes the inputs, checks the results and
// copies files through children or a fixed buffer, because a child's peak
// memory as wait4 reports it starts from what its parent holds when it is
// started.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../tests/support/prefscorpus.h"
#include "localstate/localstate.h"
#include "localstate_corpus.h"
#include "fileio/fileio.h"
#include "preferences/preferences.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The Local State encodings, then a profile's Preferences (UTF-8, as the
// browsers write it).
const char* const kEncodings[] = {"ascii", "utf8", "utf16le", "prefs"};

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// --- what the children do ----------------------------------------------------

// A Local State of about `bytes` bytes that needs both repairs: pure ASCII,
// UTF-8 with names in several scripts, or UTF-16LE with its mark.
// A Preferences of about `bytes` bytes as a long-used profile has it,
// needing every grant.
bool Make(size_t bytes, const std::string& encoding, const char* path) {
    if (encoding == "prefs") {
        const std::string data = prefscorpus::Realistic(bytes);
        const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool ok = fd >= 0 && WriteAll(fd, reinterpret_cast<const uint8_t*>(data.data()), data.size());
        return fd >= 0 && close(fd) == 0 && ok;
    }
    corpus::Shape shape;
    shape.profiles = 0;
    shape.nonAscii = encoding != "ascii";
    shape.bytes = encoding == "utf16le" ? bytes / 2 : bytes;
    std::string data = corpus::LocalState(shape);
    if (encoding == "utf16le") {
        const std::u16string units = corpus::Utf16(data);
        data.assign("\xFF\xFE");
        for (char16_t c : units) {
            data += static_cast<char>(c & 0xFF);
            data += static_cast<char>(c >> 8);
        }
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && WriteAll(fd, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return fd >= 0 && close(fd) == 0 && ok;
}

// The floor: everything a safe rewrite of the file cannot avoid.
bool Floor(const char* path) {
    const int in = open(path, O_RDONLY);
    struct stat st {};
    if (in < 0 || fstat(in, &st) != 0) return false;
    const auto size = static_cast<size_t>(st.st_size);
    std::unique_ptr<uint8_t[]> data(new uint8_t[size]);
    // The same advice on the buffer as the repair's reader takes: faulting
    // in small pages one by one is a cost a plain read need not pay.
    AdviseWholeFileBuffer(data.get(), size);
    for (size_t got = 0; got < size;) {
        const ssize_t r = read(in, data.get() + got, size - got);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    close(in);
    const std::string temp = std::string(path) + ".floor";
    const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || !WriteAll(out, data.get(), size) || fsync(out) != 0 || close(out) != 0) return false;
    if (rename(temp.c_str(), path) != 0) return false;
    const int dir = open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    const bool flushed = dir >= 0 && fsync(dir) == 0;
    if (dir >= 0) close(dir);
    return flushed;
}

// Runs one job and prints the seconds it took; the exit code says whether it
// did what it must.
int Child(int argc, char** argv) {
    const std::string mode = argv[2];
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    if (mode == "make" && argc == 6) {
        ok = Make(std::strtoull(argv[3], nullptr, 10), argv[4], argv[5]);
    } else if (mode == "floor" && argc == 4) {
        ok = Floor(argv[3]);
    } else if (mode == "repair" && argc == 4) {
        ok = FixLocalState(corpus::Utf16(argv[3]), [](const std::u16string&) {}) == FixOutcome::Saved;
    } else if (mode == "check" && argc == 4) {
        ok = CheckLocalState(corpus::Utf16(argv[3])) == CheckOutcome::UpToDate;
    } else if (mode == "repair-prefs" && argc == 4) {
        ok = FixPreferences(corpus::Utf16(argv[3]), [](const std::u16string&) {}) == FixOutcome::Saved;
    } else if (mode == "check-prefs" && argc == 4) {
        ok = CheckPreferences(corpus::Utf16(argv[3])) == CheckOutcome::UpToDate;
    } else if (mode != "idle") {
        return 2;
    }
    const double seconds = Since(start);
    std::printf("%.9f\n", seconds);
    return ok ? 0 : 1;
}

// --- the parent ---------------------------------------------------------------

struct Result {
    bool ok = false;
    double seconds = 0;      // the job, as the child timed it
    double wall = 0;         // the whole child, start to exit
    long peakKilobytes = 0;  // ru_maxrss
};

Result Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    static std::string self = fs::read_symlink("/proc/self/exe").string();
    argv.push_back(&self[0]);
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int fds[2];
    Result r;
    if (pipe(fds) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; spawned == 0 && (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    if (spawned != 0) return r;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.wall = Since(start);
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.seconds = std::atof(out.c_str());
    r.peakKilobytes = usage.ru_maxrss;
    return r;
}

// A fresh copy, flushed, so that no write left over from it is paid for by
// the job that runs next.
bool FreshCopy(const fs::path& from, const fs::path& to) {
    const int in = open(from.c_str(), O_RDONLY);
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static std::vector<uint8_t> buf(1 << 20);
    bool ok = in >= 0 && out >= 0;
    for (ssize_t n; ok && (n = read(in, buf.data(), buf.size())) > 0;) ok = WriteAll(out, buf.data(), static_cast<size_t>(n));
    ok = ok && fsync(out) == 0;
    if (in >= 0) close(in);
    if (out >= 0) ok = close(out) == 0 && ok;
    return ok;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Row {
    size_t bytes = 0;
    std::string encoding;
    double floor = 0, repair = 0, floorWall = 0, repairWall = 0;
    double floorPeak = 0, repairPeak = 0;  // bytes beyond the idle child
    bool ok = true;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return Child(argc, argv);

    bool big = false;
    int reps = 5;
    fs::path parent = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--100mb") == 0) big = true;
        else if (std::strncmp(argv[i], "--reps=", 7) == 0) reps = std::max(1, std::atoi(argv[i] + 7));
        else if (std::strncmp(argv[i], "--dir=", 6) == 0) parent = argv[i] + 6;
        else {
            std::fprintf(stderr, "usage: repair_floor_bench [--100mb] [--reps=N] [--dir=FOLDER]\n");
            return 2;
        }
    }
    std::string pattern = (parent / "repair_floor.XXXXXX").string();
    if (!mkdtemp(&pattern[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path scratch = pattern;
    const fs::path master = scratch / "master";

    std::printf("Whole repair (FixLocalState on a fresh copy) against the I/O floor (read the file, write a temporary\n"
                "file beside it, fsync it, rename it over the file, fsync the folder), each in a fresh child process;\n"
                "median of %d runs in %s. Inputs: a Local State with profiles up to the size, needing both repairs;\n"
                "a profile's Preferences of 5 MB (prefs: a Chromium 156 profile grown with the engagement of many sites), needing\n"
                "every grant (FixPreferences).\n",
                reps, scratch.c_str());
    if (!big) std::printf("The 100 MB rows are left out (they take minutes): --100mb runs them.\n");

    std::vector<double> idle;
    for (int i = 0; i < 5; ++i) idle.push_back(static_cast<double>(Spawn({"--child", "idle"}).peakKilobytes) * 1024);
    const double baseline = Median(idle);
    std::printf("Baseline: an idle child peaks at %.1f MB; the peaks below are beyond it, per input byte.\n\n",
                baseline / (1 << 20));

    std::vector<size_t> sizes = {1u << 20, 10u << 20};
    if (big) sizes.push_back(100u << 20);
    std::vector<Row> rows;
    bool failed = false;
    std::printf("%-8s %-8s %10s %10s %7s %8s %11s %11s  %s\n", "size", "encoding", "floor ms", "repair ms", "ratio",
                "wall", "floor B/B", "repair B/B", "at most 2x and 3 B/B");
    for (const char* encoding : kEncodings) {
        const bool prefs = std::strcmp(encoding, "prefs") == 0;
        const fs::path target = scratch / (prefs ? "Preferences" : "Local State");
        const std::string repairJob = prefs ? "repair-prefs" : "repair", checkJob = prefs ? "check-prefs" : "check";
        for (size_t bytes : prefs ? std::vector<size_t>{5u << 20} : sizes) {
            Row row;
            row.bytes = bytes;
            row.encoding = encoding;
            if (!Spawn({"--child", "make", std::to_string(bytes), encoding, master.string()}).ok) {
                std::printf("cannot make the %s input\n", encoding);
                failed = true;
                continue;
            }
            const auto size = static_cast<double>(fs::file_size(master));
            std::vector<double> floor, repair, floorWall, repairWall, floorPeak, repairPeak;
            for (int i = 0; i < reps; ++i) {
                // Alternating, so that drift on a shared machine hits both.
                for (int job = 0; job < 2; ++job) {
                    const bool isRepair = (job + i) % 2 == 1;
                    if (!FreshCopy(master, target)) row.ok = false;
                    const Result r = Spawn({"--child", isRepair ? repairJob : "floor", target.string()});
                    row.ok = row.ok && r.ok;
                    (isRepair ? repair : floor).push_back(r.seconds);
                    (isRepair ? repairWall : floorWall).push_back(r.wall);
                    (isRepair ? repairPeak : floorPeak)
                        .push_back((static_cast<double>(r.peakKilobytes) * 1024 - baseline) / size);
                    // The repaired file must need no further repair.
                    if (isRepair && i == 0 && !Spawn({"--child", checkJob, target.string()}).ok) row.ok = false;
                }
            }
            row.floor = Median(floor);
            row.repair = Median(repair);
            row.floorWall = Median(floorWall);
            row.repairWall = Median(repairWall);
            row.floorPeak = Median(floorPeak);
            row.repairPeak = Median(repairPeak);
            failed = failed || !row.ok;
            const double ratio = row.repair / row.floor;
            std::printf("%-8s %-8s %10.2f %10.2f %7.2f %8.2f %11.2f %11.2f  %s\n",
                        (std::to_string(bytes >> 20) + " MB").c_str(), encoding, row.floor * 1000, row.repair * 1000,
                        ratio, row.repairWall / row.floorWall, row.floorPeak, row.repairPeak,
                        !row.ok                                      ? "REPAIR FAILED"
                        : ratio <= 2 && row.repairPeak <= 3          ? "yes"
                                                                     : "no");
            std::fflush(stdout);
            rows.push_back(row);
        }
    }

    std::printf("\nratio: repair / floor, the jobs as the children timed them; wall: the same for the whole child,\n"
                "start to exit. B/B: peak memory (ru_maxrss) beyond the idle child per input byte.\n");
    std::printf("\nGrowth for ten times the input (10 means linear):\n");
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        const Row &a = rows[i], &b = rows[i + 1];
        if (a.encoding != b.encoding) continue;
        std::printf("  %-8s %3zu -> %3zu MB: repair time x%.1f, floor time x%.1f, repair peak memory x%.1f\n",
                    a.encoding.c_str(), a.bytes >> 20, b.bytes >> 20, b.repair / a.repair, b.floor / a.floor,
                    (b.repairPeak * static_cast<double>(b.bytes)) / (a.repairPeak * static_cast<double>(a.bytes)));
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    if (failed) std::printf("\n!!! A job failed: a repair not saved, or a repaired file that still needs one.\n");
    return failed ? 1 : 0;
}
