// The pattern service and the whole Local State repair against PCRE2-JIT
// and std::wregex, on realistic and on hostile inputs, with the ratios
// printed at the end. std::wregex recurses per character and runs out of
// stack on long lazy runs; it is tried once in a child process first and
// left out where it crashes.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "localstate/localstate.h"
#include "localstate/regexp.h"

namespace {

using namespace localstate_rules;

// --- inputs -----------------------------------------------------------------

std::u16string Base64(size_t n, uint32_t seed) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 rng(seed);
    std::u16string s(n, u'A');
    for (char16_t& c : s) c = static_cast<char16_t>(kAlphabet[rng() % 64]);
    return s;
}

// A Local State of about `size` units: the browser object near the start,
// one long base64 member, a few hundred ordinary members, and the scheme
// settings at the end.
std::u16string LocalState(size_t size) {
    std::u16string t = u"{\"browser\":{\"last_redirect_origin\":\"\",\"shortcut_migration_version\":\"120.0\"},";
    std::u16string profiles = u"\"profile\":{\"info_cache\":{";
    for (int i = 0; i < 300; ++i) {
        profiles += u"\"Profile " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
                    u"\":{\"active_time\":1700000000.5,\"avatar_icon\":\"chrome://theme/IDR_PROFILE_AVATAR_26\","
                    u"\"is_ephemeral\":false,\"name\":\"Person\",\"user_name\":\"\"},";
    }
    profiles += u"\"last\":{}}},";
    const std::u16string tail =
        u"\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"data\":true,\"vezoverove\":true}},"
        u"\"variations_seed\":\"x\"}";
    const size_t fixed = t.size() + profiles.size() + tail.size() + 32;
    t += u"\"os_crypt\":{\"encrypted_key\":\"" + Base64(size > fixed ? size - fixed : 16, 1) + u"\"},";
    return t + profiles + tail;
}

// One opening that never closes: the lazy run goes to the very end.
std::u16string Unclosed(size_t size) {
    std::u16string t = u"{\"browser\":{\"a\":\"";
    t += Base64(size, 2);
    // Quotes and brackets all along, so that neither the first nor the
    // last literal of the list pattern rules anything out early.
    for (size_t i = 17; i + 7 < t.size(); i += 4096) t[i] = u'"', t[i + 7] = u'[';
    return t;
}

// Many openings none of which closes.
std::u16string ManyUnclosed(int count, size_t size) {
    std::u16string t;
    const std::u16string filler = Base64(size / static_cast<size_t>(count), 3);
    for (int i = 0; i < count; ++i) t += u"\"browser\" : {\"k\":\"" + filler + u"\",";
    return t + u"\"x\":[1]";
}

// --- engines ----------------------------------------------------------------

struct Ours {
    static std::u16string Replace(const std::u16string& s, const std::u16string& p, const std::u16string& r) {
        return RegexReplace(s, p, r);
    }
    static bool Test(const std::u16string& p, const std::u16string& s) { return RegexTest(p, s); }
};

// PCRE2 with its JIT, caseless without UTF as the service: a fresh pattern
// per call, as the service makes one.
struct Pcre2Jit {
    struct Code {
        pcre2_code* code;
        pcre2_match_data* data;
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
    static std::u16string Replace(const std::u16string& s, const std::u16string& p, const std::u16string& r) {
        Code c(p);
        std::u16string out(s.size() + s.size() / 8 + 64, u'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            PCRE2_SIZE length = out.size();
            const int rc = pcre2_substitute(c.code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0,
                                            PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, c.data,
                                            nullptr, reinterpret_cast<PCRE2_SPTR>(r.data()), r.size(),
                                            reinterpret_cast<PCRE2_UCHAR*>(&out[0]), &length);
            if (rc >= 0) return out.substr(0, length);
            if (rc != PCRE2_ERROR_NOMEMORY) break;
            out.assign(length, u'\0');
        }
        return s;
    }
    static bool Test(const std::u16string& p, const std::u16string& s) {
        Code c(p);
        return pcre2_match(c.code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0, 0, c.data, nullptr) >= 0;
    }
};

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// std::wregex on wchar_t text (32-bit here): the inputs are converted once,
// outside the timing, so it works on the same characters.
struct WRegex {
    static std::wstring Replace(const std::wstring& s, const std::u16string& p, const std::u16string& r) {
        std::wregex re(Wide(p), std::regex::ECMAScript | std::regex::icase);
        return std::regex_replace(s, re, Wide(r));
    }
    static bool Test(const std::u16string& p, const std::wstring& s) {
        std::wregex re(Wide(p), std::regex::ECMAScript | std::regex::icase);
        return std::regex_search(s, re);
    }
};

// The repair's decisions on any engine (the rules as the service runs them).
template <typename E, typename S>
S Repair(const S& old) {
    S text = E::Replace(old, kSchemePattern, kSchemeReplacement);
    if (E::Test(kListPattern, text)) {
        if (E::Test(std::u16string(kListPattern) + kEmptyListSuffix, text))
            text = E::Replace(text, kListPattern, kAddToEmptyReplacement);
        else if (E::Test(kChoicePattern, text))
            text = E::Replace(text, kChoicePattern, kChoiceReplacement);
        else
            text = E::Replace(text, kListPattern, kAddFirstReplacement);
    } else {
        text = E::Replace(text, kBrowserPattern, kNewListReplacement);
    }
    return text;
}

// --- cases ------------------------------------------------------------------

struct Input {
    std::string name;
    std::u16string text;
    std::wstring wide;
    double megabytes;  // of UTF-16 text
};

std::vector<Input>& Inputs() {
    static std::vector<Input> inputs = [] {
        std::vector<Input> v;
        auto add = [&v](std::string name, std::u16string text) {
            const double mb = static_cast<double>(text.size() * 2) / (1 << 20);
            v.push_back({std::move(name), text, Wide(text), mb});
        };
        add("localstate_1MB", LocalState(512 * 1024));
        add("localstate_10MB", LocalState(5 * 1024 * 1024));
        add("unclosed_1MB", Unclosed(512 * 1024));
        add("unclosed_10MB", Unclosed(5 * 1024 * 1024));
        add("200_unclosed_200KB", ManyUnclosed(200, 100 * 1024));
        return v;
    }();
    return inputs;
}

struct Op {
    std::string name;
    std::function<size_t(const std::u16string&)> ours, pcre2;
    std::function<size_t(const std::wstring&)> wregex;
};

std::vector<Op> Ops() {
    return {
        {"test_list", [](const std::u16string& s) { return size_t{Ours::Test(kListPattern, s)}; },
         [](const std::u16string& s) { return size_t{Pcre2Jit::Test(kListPattern, s)}; },
         [](const std::wstring& s) { return size_t{WRegex::Test(kListPattern, s)}; }},
        {"replace_scheme", [](const std::u16string& s) { return Ours::Replace(s, kSchemePattern, kSchemeReplacement).size(); },
         [](const std::u16string& s) { return Pcre2Jit::Replace(s, kSchemePattern, kSchemeReplacement).size(); },
         [](const std::wstring& s) { return WRegex::Replace(s, kSchemePattern, kSchemeReplacement).size(); }},
        {"replace_new_list",
         [](const std::u16string& s) { return Ours::Replace(s, kBrowserPattern, kNewListReplacement).size(); },
         [](const std::u16string& s) { return Pcre2Jit::Replace(s, kBrowserPattern, kNewListReplacement).size(); },
         [](const std::wstring& s) { return WRegex::Replace(s, kBrowserPattern, kNewListReplacement).size(); }},
        {"repair", [](const std::u16string& s) { return Repair<Ours>(s).size(); },
         [](const std::u16string& s) { return Repair<Pcre2Jit>(s).size(); },
         [](const std::wstring& s) { return Repair<WRegex>(s).size(); }},
    };
}

// Runs fn once in a child; true when the child ended normally.
bool SurvivesInChild(const std::function<void()>& fn) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        fn();
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> wregexLeftOut;
    for (const Op& op : Ops()) {
        for (Input& in : Inputs()) {
            const std::string base = op.name + "/" + in.name + "/";
            benchmark::RegisterBenchmark((base + "ours").c_str(), [&in, op](benchmark::State& st) {
                for (auto _ : st) benchmark::DoNotOptimize(op.ours(in.text));
            })->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "pcre2_jit").c_str(), [&in, op](benchmark::State& st) {
                for (auto _ : st) benchmark::DoNotOptimize(op.pcre2(in.text));
            })->Unit(benchmark::kMillisecond);
            if (SurvivesInChild([&] { benchmark::DoNotOptimize(op.wregex(in.wide)); })) {
                benchmark::RegisterBenchmark((base + "std_wregex").c_str(), [&in, op](benchmark::State& st) {
                    for (auto _ : st) benchmark::DoNotOptimize(op.wregex(in.wide));
                })->Unit(benchmark::kMillisecond);
            } else {
                wregexLeftOut.push_back(op.name + " on " + in.name);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nTimes in ms; ratio = other engine's time / ours (above 1: ours is faster)\n");
    std::printf("%-18s %-20s %10s %10s %8s %10s %8s %9s\n", "operation", "input", "ours", "pcre2-jit", "ratio",
                "wregex", "ratio", "ours/MB");
    for (const Op& op : Ops()) {
        for (const Input& in : Inputs()) {
            const std::string base = op.name + "/" + in.name + "/";
            auto& t = Times();
            if (!t.count(base + "ours")) continue;
            const double ours = t[base + "ours"], pcre = t[base + "pcre2_jit"];
            std::printf("%-18s %-20s %10.3f %10.3f %8.2f", op.name.c_str(), in.name.c_str(), ours, pcre, pcre / ours);
            if (t.count(base + "std_wregex"))
                std::printf(" %10.3f %8.2f", t[base + "std_wregex"], t[base + "std_wregex"] / ours);
            else
                std::printf(" %10s %8s", "crashed", "-");
            std::printf(" %9.3f\n", ours / in.megabytes);
        }
    }
    for (const std::string& s : wregexLeftOut)
        std::printf("std::wregex left out (it crashed, stack overflow): %s\n", s.c_str());
    return 0;
}
