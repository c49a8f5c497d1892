// The pattern service and the whole Local State repair against PCRE2-JIT
// and RE2, each measured in the same run, on realistic and on hostile
// Local State texts, with the ratios printed at the end.
//
// Every engine compiles a fresh pattern per call, as the service does, and
// runs caseless. Ours edits the text in place as the repair of a UTF-8 file
// does: its bytes as 8-bit units, in a buffer as the file reader fills it,
// with the room it leaves for growth; a replacement's time includes filling
// that buffer, as a peer's includes making its new text. RE2 works on the
// same UTF-8 bytes; PCRE2 on the text's UTF-16 units. Each cell runs
// once first in a child process with a time limit: a peer that backtracks
// for minutes is reported as slower than the limit instead of stalling the
// run, and what each engine produced is compared there, so that a
// different answer is reported, not hidden behind a time.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <re2/re2.h>

#include "localstate/localstate.h"
#include "regex/regex.h"
#include "regex/regexp.h"
#include "fileio/fileio.h"
#include "localstate_corpus.h"

namespace {

using namespace localstate_rules;

// --- inputs -----------------------------------------------------------------

using Edited = regex::EditText<uint8_t>;

// The bytes of a UTF-8 file as the reader leaves them for the rules: in a
// fresh buffer with the same room to grow.
std::shared_ptr<Edited> AsRead(const std::string& bytes) {
    const size_t capacity = (bytes.size() + bytes.size() / 64 + 4096) / 2 * 2;
    std::unique_ptr<char16_t[]> storage(new char16_t[capacity / 2]);
    AdviseWholeFileBuffer(storage.get(), capacity);
    std::memcpy(storage.get(), bytes.data(), bytes.size());
    return std::make_shared<Edited>(std::move(storage), capacity, 0, bytes.size());
}

struct Input {
    std::string name, what;
    std::u16string text;
    std::string utf8;
    std::shared_ptr<const Edited> read;  // what the tests search, made once
};

std::vector<Input>& Inputs() {
    static std::vector<Input> inputs = [] {
        using namespace corpus;
        std::vector<Input> v;
        auto add = [&v](std::string name, std::string what, std::string text) {
            std::shared_ptr<const Edited> read = AsRead(text);
            v.push_back({std::move(name), std::move(what), Utf16(text), std::move(text), std::move(read)});
        };
        Shape realistic;
        realistic.nonAscii = true;
        add("profiles_compact",
            "400 profiles with names in eight scripts, written compact as the browser does; no list in the browser "
            "object (new-list branch)",
            LocalState(realistic));
        Shape other = realistic;
        other.list = List::Other;
        add("profiles_pretty", "the same pretty-printed (3-space indent); the list holds two other experiments (add branch)",
            Spaced(LocalState(other), 3));
        Shape near;
        near.nearMisses = true;
        add("near_miss_browser",
            "400 ASCII profiles, each with \"browser_switcher\":{, \"browser\":\"Chrome\", \"browsers\":{, "
            "\"browser\" : [, and a \"browser\":{ object without the list",
            LocalState(near));
        Shape schemes;
        schemes.profiles = 2000;
        schemes.schemeObjects = 2000;
        add("many_excluded_schemes",
            "2000 profiles, each with its own excluded_schemes object of 15 schemes, none of them the custom one",
            LocalState(schemes));
        Shape choice = realistic;
        choice.list = List::Choice;
        add("case_mixed_keys", "400 profiles, every key's letters in random case; the list holds the choice @1 (choice branch)",
            CaseMixedKeys(LocalState(choice)));
        Shape blanks;
        blanks.profiles = 40;
        blanks.list = List::Empty;
        add("whitespace_runs", "40 profiles, a 512-blank run of \" \\t\\r\\n\" around every token; empty list (empty branch)",
            Spaced(LocalState(blanks), 0, 512));
        add("unclosed_200k", "200000 \"browser\":{\"k\":\"v\", openings, no } anywhere", Unclosed(200000));
        add("run_2M_no_brace",
            "both rules' openings, then a 2M-character value with no } in which quotes, colons, brackets and the "
            "rules' key words keep turning up",
            LongRun(2 << 20));
        add("dense_schemes_10M", "10 MB of per-site entries, each with an excluded_schemes object of one to four "
            "schemes, the custom one among them: a scheme match every ~90 bytes",
            DenseEntries(10 << 20, Dense::Schemes));
        add("dense_browser_10M", "10 MB of per-site entries, each with a browser object without a list: a \"browser\":{ "
            "every ~80 bytes", DenseEntries(10 << 20, Dense::Browser));
        add("dense_browser_case_10M", "the same, every key's letters in random case",
            CaseMixedKeys(DenseEntries(10 << 20, Dense::Browser)));
        add("dense_near_miss_10M", "10 MB of per-site entries with \"browser_switcher\":{, \"browser\":\"Chrome\", "
            "\"browsers\":{ and \"browser\" : [, one in four also with a browser object",
            DenseEntries(10 << 20, Dense::NearMisses));
        return v;
    }();
    return inputs;
}

// --- engines ----------------------------------------------------------------

// What one engine made of one operation: a text or a yes/no, in the
// engine's own units, or the error it gave up with.
struct Out {
    std::u16string u16;
    std::string u8;
    std::shared_ptr<const Edited> edited;  // ours: the text edited in place
    int error = 0;
    std::vector<std::u16string> lines;  // the repair's decisions
};

Out Yes(bool b) {
    Out o;
    o.u16 = b ? u"yes" : u"no";
    return o;
}

// The program's own functions on the program's own text.
struct Ours {
    static Out Replace(const Input& in, const std::u16string& p, const std::u16string& r) {
        const std::shared_ptr<Edited> text = AsRead(in.utf8);
        RegexReplace(*text, p, r);
        Out o;
        o.edited = text;
        return o;
    }
    static Out Test(const Input& in, const std::u16string& p) { return Yes(RegexTest(p, *in.read)); }
    // As FixLocalState runs the rules and logs what came of them.
    static Out Repair(const Input& in) {
        const std::shared_ptr<Edited> text = AsRead(in.utf8);
        Out o;
        const bool changed = ApplyLocalStateRules(*text, &o.lines);
        o.lines.push_back(changed ? u"Loal Stage: changed and saved" : u"Loal Stage: no change");
        o.edited = text;
        return o;
    }
};

struct Pcre2Jit {
    using Text = std::u16string;
    static const Text& Of(const Input& in) { return in.text; }
    struct Code {
        pcre2_code* code = nullptr;
        pcre2_match_data* data = nullptr;
        explicit Code(const std::u16string& p) {
            int error = 0;
            PCRE2_SIZE offset = 0;
            code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(), PCRE2_CASELESS, &error, &offset,
                                 nullptr);
            pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
            data = pcre2_match_data_create_from_pattern(code, nullptr);
        }
        ~Code() {
            pcre2_match_data_free(data);
            pcre2_code_free(code);
        }
    };
    static Text Replace(const Text& s, const std::u16string& p, const std::u16string& r, int* error) {
        Code c(p);
        std::u16string out(s.size() + s.size() / 8 + 64, u'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            PCRE2_SIZE length = out.size();
            const int rc = pcre2_substitute(c.code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0,
                                            PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, c.data,
                                            nullptr, reinterpret_cast<PCRE2_SPTR>(r.data()), r.size(),
                                            reinterpret_cast<PCRE2_UCHAR*>(&out[0]), &length);
            if (rc >= 0) return out.substr(0, length);
            if (rc != PCRE2_ERROR_NOMEMORY) {
                *error = rc;
                break;
            }
            out.assign(length, u'\0');
        }
        return s;
    }
    static bool Test(const std::u16string& p, const Text& s, int* error) {
        Code c(p);
        const int rc = pcre2_match(c.code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0, 0, c.data, nullptr);
        if (rc < PCRE2_ERROR_NOMATCH) *error = rc;
        return rc >= 0;
    }
};

struct Re2 {
    using Text = std::string;
    static const Text& Of(const Input& in) { return in.utf8; }
    static RE2::Options Options() {
        RE2::Options o;
        o.set_case_sensitive(false);
        o.set_log_errors(false);
        return o;
    }
    // $n becomes \n, a backslash \\: the same replacement in RE2's words.
    static std::string Rewrite(const std::u16string& r) {
        std::string out;
        for (size_t i = 0; i < r.size(); ++i) {
            if (r[i] == u'$' && i + 1 < r.size() && r[i + 1] >= u'0' && r[i + 1] <= u'9') out += '\\';
            else if (r[i] == u'\\') out += "\\\\";
            else out += static_cast<char>(r[i]);
        }
        return out;
    }
    static Text Replace(const Text& s, const std::u16string& p, const std::u16string& r, int* error) {
        RE2 re(corpus::Utf8(p), Options());
        if (!re.ok()) *error = static_cast<int>(re.error_code());
        std::string out = s;
        RE2::GlobalReplace(&out, re, Rewrite(r));
        return out;
    }
    static bool Test(const std::u16string& p, const Text& s, int* error) {
        RE2 re(corpus::Utf8(p), Options());
        if (!re.ok()) *error = static_cast<int>(re.error_code());
        return RE2::PartialMatch(s, re);
    }
};

// The repair's sequence of rule operations on a peer engine, with the
// decision lines the real repair logs.
template <typename E>
typename E::Text PeerRepair(const typename E::Text& old, std::vector<std::u16string>* lines, int* error) {
    typename E::Text text = E::Replace(old, kSchemePattern, kSchemeReplacement, error);
    lines->push_back(text != old ? u"excluded_schemes: true" : u"excluded_schemes: false");
    if (E::Test(kListPattern, text, error)) {
        if (E::Test(std::u16string(kListPattern) + kEmptyListSuffix, text, error)) {
            lines->push_back(u"browser: add block-insecure-private-network-requests@2");
            text = E::Replace(text, kEmptyListPattern, kEmptyListReplacement, error);
        } else if (E::Test(kChoicePattern, text, error)) {
            lines->push_back(u"browser: replace block-insecure-private-network-requests@2");
            text = E::Replace(text, kChoicePattern, kChoiceReplacement, error);
        } else {
            lines->push_back(u"browser: add2 block-insecure-private-network-requests@2");
            text = E::Replace(text, kListPattern, kAddFirstReplacement, error);
        }
    } else {
        lines->push_back(u"browser: add enabled_labs_experiments");
        text = E::Replace(text, kBrowserPattern, kNewListReplacement, error);
        text = E::Replace(text, kNewListInEmptyObjectPattern, kDropCommaReplacement, error);
    }
    lines->push_back(text != old ? u"Loal Stage: changed and saved" : u"Loal Stage: no change");
    return text;
}

void Keep(Out& o, std::u16string t) { o.u16 = std::move(t); }
void Keep(Out& o, std::string t) { o.u8 = std::move(t); }

using Fn = std::function<Out(const Input&)>;

template <typename E>
Fn Replacing(std::u16string p, std::u16string r) {
    return [p, r](const Input& in) {
        Out o;
        Keep(o, E::Replace(E::Of(in), p, r, &o.error));
        return o;
    };
}

template <typename E>
Fn Testing(std::u16string p) {
    return [p](const Input& in) {
        int error = 0;
        Out o = Yes(E::Test(p, E::Of(in), &error));
        o.error = error;
        return o;
    };
}

template <typename E>
Fn Repairing() {
    return [](const Input& in) {
        Out o;
        Keep(o, PeerRepair<E>(E::Of(in), &o.lines, &o.error));
        return o;
    };
}

const char* const kEngines[] = {"ours", "pcre2_jit", "re2"};
constexpr int kEngineCount = 3;

struct Op {
    std::string name, what;
    Fn run[kEngineCount];
};

Op Replace(std::string name, std::string what, const std::u16string& p, const std::u16string& r) {
    Fn ours = [p, r](const Input& in) { return Ours::Replace(in, p, r); };
    return {std::move(name), std::move(what), {ours, Replacing<Pcre2Jit>(p, r), Replacing<Re2>(p, r)}};
}

Op Test(std::string name, std::string what, const std::u16string& p) {
    Fn ours = [p](const Input& in) { return Ours::Test(in, p); };
    return {std::move(name), std::move(what), {ours, Testing<Pcre2Jit>(p), Testing<Re2>(p)}};
}

Op WholeRepair() {
    return {"repair",
            "ours: the real ApplyLocalStateRules on the text as FixLocalState edits it; peers: the same sequence of "
            "rule operations",
            {Ours::Repair, Repairing<Pcre2Jit>(), Repairing<Re2>()}};
}

const std::vector<Op>& Ops() {
    static const std::vector<Op> ops = {
        Replace("replace_scheme", "scheme rule: replace", kSchemePattern, kSchemeReplacement),
        Test("test_list", "list rule: is there a list", kListPattern),
        Test("test_empty_list", "list rule: is it empty", std::u16string(kListPattern) + kEmptyListSuffix),
        Test("test_choice", "list rule: is the choice there", kChoicePattern),
        Replace("replace_empty_list", "list rule: add to the empty list", kEmptyListPattern, kEmptyListReplacement),
        Replace("replace_choice", "list rule: set the choice", kChoicePattern, kChoiceReplacement),
        Replace("replace_add_first", "list rule: add first", kListPattern, kAddFirstReplacement),
        Replace("replace_new_list", "list rule: new list", kBrowserPattern, kNewListReplacement),
        Replace("replace_drop_comma", "list rule: drop the comma", kNewListInEmptyObjectPattern,
                  kDropCommaReplacement),
        WholeRepair(),
    };
    return ops;
}

// --- probes -----------------------------------------------------------------

// What a cell did when run once on its own.
struct Probe {
    enum { Done, TimedOut, Crashed } state = Crashed;
    double seconds = 0;
    uint64_t digest = 0;
    int error = 0;
};

uint64_t Digest(const Out& o) {
    uint64_t h = 1469598103934665603ull;
    auto add = [&h](const std::u16string& s) {
        for (char16_t c : s) h = (h ^ c) * 1099511628211ull;
        h = (h ^ 0xFFFFu) * 1099511628211ull;
    };
    if (o.edited)
        add(corpus::Utf16(std::string(reinterpret_cast<const char*>(o.edited->Data()), o.edited->Size())));
    else
        add(o.u8.empty() ? o.u16 : corpus::Utf16(o.u8));
    for (const std::u16string& line : o.lines) add(line);
    return h;
}

// Runs the cell once in a child that the limit ends.
Probe RunProbe(const std::function<Out()>& fn, int limitSeconds) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        alarm(static_cast<unsigned>(limitSeconds));
        const auto start = std::chrono::steady_clock::now();
        const Out out = fn();
        Probe p;
        p.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        p.state = Probe::Done;
        p.digest = Digest(out);
        p.error = out.error;
        const ssize_t written = write(fds[1], &p, sizeof p);
        _exit(written == static_cast<ssize_t>(sizeof p) ? 0 : 1);
    }
    close(fds[1]);
    Probe p;
    if (pid > 0) {
        const ssize_t got = read(fds[0], &p, sizeof p);
        int status = 0;
        waitpid(pid, &status, 0);
        if (got != static_cast<ssize_t>(sizeof p))
            p.state = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? Probe::TimedOut : Probe::Crashed;
    }
    close(fds[0]);
    return p;
}

std::map<std::string, double>& Times() {
    static std::map<std::string, double> t;
    return t;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) Times()[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string Cell(const Probe& p, const std::string& name, int limit) {
    char buf[64];
    if (p.state == Probe::TimedOut) std::snprintf(buf, sizeof buf, ">%d s", limit);
    else if (p.state == Probe::Crashed) std::snprintf(buf, sizeof buf, "crashed");
    else if (Times().count(name)) std::snprintf(buf, sizeof buf, "%.3f", Times()[name]);
    else return "-";
    return buf;
}

std::string Ratio(const Probe& peer, const std::string& peerName, const std::string& ourName,
                  int limit) {
    char buf[64];
    if (!Times().count(ourName)) return "-";
    const double o = Times()[ourName];
    if (peer.state == Probe::TimedOut) std::snprintf(buf, sizeof buf, ">%.0f", limit * 1000.0 / o);
    else if (!Times().count(peerName)) return "-";
    else std::snprintf(buf, sizeof buf, "%.2f", Times()[peerName] / o);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    int limit = 20;
    std::string filter = ".";
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--probe_limit=", 14) == 0) {
            limit = std::atoi(argv[i] + 14);
            continue;
        }
        if (std::strncmp(argv[i], "--benchmark_filter=", 19) == 0) filter = argv[i] + 19;
        args.push_back(argv[i]);
    }
    const std::regex selected(filter);

    std::printf("Inputs (ours and RE2 search the UTF-8 bytes, PCRE2-JIT the same text's UTF-16 units):\n");
    for (const Input& in : Inputs())
        std::printf("  %-22s %8zu units %8zu UTF-8 bytes  %s\n", in.name.c_str(), in.text.size(), in.utf8.size(),
                    in.what.c_str());
    std::printf("RE2 folds case per Unicode (the others ASCII only) and its \\s lacks \\v: no input here holds "
                "either difference.\n");
    std::printf("Each cell runs once in a child first (limit %d s, --probe_limit=S to change); cells over it are not "
                "timed.\n\n",
                limit);
    std::fflush(stdout);

    std::map<std::string, Probe> probes;
    for (const Op& op : Ops()) {
        for (const Input& in : Inputs()) {
            for (int e = 0; e < kEngineCount; ++e) {
                const std::string name = op.name + "/" + in.name + "/" + kEngines[e];
                if (!std::regex_search(name, selected)) continue;
                const auto& run = op.run[e];
                const Probe p = RunProbe([&] { return run(in); }, limit);
                probes[name] = p;
                if (p.state != Probe::Done) continue;
                benchmark::RegisterBenchmark(name.c_str(), [&in, &run](benchmark::State& st) {
                    for (auto _ : st) benchmark::DoNotOptimize(run(in));
                })->Unit(benchmark::kMillisecond);
            }
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nTimes in ms; ratio = peer's time / ours (above 1: ours is faster). "
                "\">N s\": over the probe limit, not timed.\n");
    std::printf("%-19s %-22s %10s %10s %8s %10s %8s  %s\n", "operation", "input", "ours", "pcre2-jit", "ratio", "re2",
                "ratio", "same result");
    std::vector<std::string> findings;
    for (const Op& op : Ops()) {
        for (const Input& in : Inputs()) {
            const std::string base = op.name + "/" + in.name + "/";
            if (!probes.count(base + "ours")) continue;
            Probe p[kEngineCount];
            std::string n[kEngineCount];
            for (int e = 0; e < kEngineCount; ++e) {
                n[e] = base + kEngines[e];
                if (probes.count(n[e])) p[e] = probes[n[e]];
            }
            std::string same;
            for (int e = 1; e < kEngineCount; ++e) {
                if (p[0].state != Probe::Done || p[e].state != Probe::Done) continue;
                std::string problem;
                if (p[e].error) problem = std::string(kEngines[e]) + " gave up (error " + std::to_string(p[e].error) + ")";
                else if (p[e].digest != p[0].digest) problem = std::string("ours and ") + kEngines[e] + " differ";
                if (!problem.empty()) {
                    findings.push_back(op.name + " on " + in.name + ": " + problem);
                    same += (same.empty() ? "" : "; ") + problem;
                }
            }
            std::printf("%-19s %-22s %10s %10s %8s %10s %8s  %s\n", op.name.c_str(), in.name.c_str(),
                        Cell(p[0], n[0], limit).c_str(), Cell(p[1], n[1], limit).c_str(),
                        Ratio(p[1], n[1], n[0], limit).c_str(), Cell(p[2], n[2], limit).c_str(),
                        Ratio(p[2], n[2], n[0], limit).c_str(), same.empty() ? "yes" : "NO");
        }
    }
    std::printf("\nOperations: ");
    for (const Op& op : Ops()) std::printf("%s = %s; ", op.name.c_str(), op.what.c_str());
    std::printf("\n");
    for (const std::string& f : findings) std::printf("!!! DIFFERENT RESULT: %s\n", f.c_str());
    return 0;
}
