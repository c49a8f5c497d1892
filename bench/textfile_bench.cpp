// Encoding detection against a plain byte-at-a-time check, and a whole
// read plus replacing write against a plain file copy, each baseline
// measured in the same run. Prints the ratios at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "textfile/encoding.h"
#include "fileio/fileio.h"
#include "textfile/textfile.h"

namespace {

namespace fs = std::filesystem;

// JSON-like text, mostly ASCII with a CJK word now and then, as a browser's
// settings file is.
std::string MostlyAscii(size_t size, int cjkEvery) {
    std::mt19937 rng(42);
    std::string s;
    while (s.size() < size) {
        s += "\"key_" + std::to_string(rng() % 100000) + "\":{\"enabled\":true,\"value\":\"";
        if (cjkEvery && rng() % cjkEvery == 0) s += "\xE4\xB8\xAD\xE6\x96\x87";
        s += "some ascii payload\"},\n";
    }
    s.resize(size);
    // Keep the cut from leaving half a sequence behind.
    while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0x80)) s.pop_back();
    return s;
}

// The check written the plain way: every byte looked at on its own.
TextEncoding PlainCheckUtf8(const uint8_t* p, size_t n) {
    uint32_t expected = 0;
    bool allAscii = true;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        if (b >= 0x80) allAscii = false;
        if (expected > 0) {
            if ((b & 0xC0) != 0x80) return encAnsi;
            --expected;
        } else if (b >= 0x80) {
            uint32_t ones = 0;
            while (b & 0x80) {
                b = ShiftLeadBit(b);
                ++ones;
            }
            if (ones == 1) return encAnsi;
            expected = ones - 1;
        }
    }
    return expected > 0 || allAscii ? encAnsi : encUtf8;
}

const std::string& DetectInput(int kind) {
    static const std::string pure = MostlyAscii(4 << 20, 0), mixed = MostlyAscii(4 << 20, 4);
    return kind == 0 ? pure : mixed;
}

void BM_DetectFast(benchmark::State& state) {
    const std::string& s = DetectInput(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Utf8Check check;
        check.Feed(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        TextEncoding e = check.Verdict();
        benchmark::DoNotOptimize(e);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_DetectPlain(benchmark::State& state) {
    const std::string& s = DetectInput(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TextEncoding e = PlainCheckUtf8(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        benchmark::DoNotOptimize(e);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

struct Files {
    fs::path folder = fs::temp_directory_path() / "dzd-bench-textfile";
    Files() { fs::create_directories(folder); }
    ~Files() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    fs::path Source(int64_t size, int kind) {
        const fs::path p = folder / ("source-" + std::to_string(kind) + "-" + std::to_string(size));
        if (!fs::exists(p)) {
            std::string bytes;
            if (kind == 0) {
                bytes = MostlyAscii(static_cast<size_t>(size), 4);
            } else {  // UTF-16LE with its mark
                const std::string text = MostlyAscii(static_cast<size_t>(size) / 2 - 1, 0);
                bytes = "\xFF\xFE";
                for (char c : text) bytes += std::string{c, '\0'};
            }
            std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        return p;
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

void BM_ReadWrite(benchmark::State& state) {
    const std::u16string source = TheFiles().Source(state.range(0), static_cast<int>(state.range(1))).u16string();
    const std::u16string target = (TheFiles().folder / "target").u16string();
    TextEncoding e = encAnsi;
    for (auto _ : state) {
        TextFileBytes file;
        uint32_t error = 0;
        if (!ReadTextFileBytes(FolderHandle::OpenFor(source), file, &error) ||
            !ReplaceFileContent(FolderHandle::OpenFor(target), {{file.data(), file.size}}, &error))
            state.SkipWithError("read or write failed");
        e = file.encoding;
    }
    state.counters["encoding"] = e;
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// A plain copy: the whole file read into memory and written out again, with
// or without flushing it to the disk as the replacing write does.
void PlainCopy(benchmark::State& state, bool flush) {
    const std::string source = TheFiles().Source(state.range(0), static_cast<int>(state.range(1))).string();
    const std::string target = (TheFiles().folder / "copy").string();
    std::vector<char> buffer(static_cast<size_t>(state.range(0)) + 16);
    for (auto _ : state) {
        int in = ::open(source.c_str(), O_RDONLY);
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        ::close(in);
        int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (got <= 0 || ::write(out, buffer.data(), static_cast<size_t>(got)) != got) state.SkipWithError("copy");
        if (flush) ::fsync(out);
        ::close(out);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_PlainCopy(benchmark::State& state) { PlainCopy(state, false); }
void BM_PlainCopyFlushed(benchmark::State& state) { PlainCopy(state, true); }

// Arguments: detection input 0 = pure ASCII, 1 = mostly ASCII with CJK.
// The machine may be busy: every figure is the median of five runs.
#define MEDIAN ->Repetitions(5)->ReportAggregatesOnly(true)
BENCHMARK(BM_DetectFast)->Arg(0)->Arg(1) MEDIAN;
BENCHMARK(BM_DetectPlain)->Arg(0)->Arg(1) MEDIAN;
// Arguments: file size; 0 = UTF-8 without mark (detected from content), 1 = UTF-16LE.
#define FILE_ARGS ->Args({1 << 20, 0})->Args({10 << 20, 0})->Args({1 << 20, 1})->Args({10 << 20, 1})
BENCHMARK(BM_ReadWrite) FILE_ARGS->Unit(benchmark::kMillisecond) MEDIAN;
BENCHMARK(BM_PlainCopy) FILE_ARGS->Unit(benchmark::kMillisecond) MEDIAN;
BENCHMARK(BM_PlainCopyFlushed) FILE_ARGS->Unit(benchmark::kMillisecond) MEDIAN;

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    std::map<std::string, double> bytesPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.aggregate_name != "median") continue;
            const std::string name = r.run_name.function_name + "/" + r.run_name.args;
            seconds[name] = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) bytesPerSecond[name] = it->second;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.seconds;
    std::printf("\nRatios (measured in this run):\n");
    for (const char* kind : {"0", "1"}) {
        const std::string fast = std::string("BM_DetectFast/") + kind, plain = std::string("BM_DetectPlain/") + kind;
        if (t.count(fast) && t.count(plain))
            std::printf("  detection %-26s %6.2f GB/s, %5.1fx the byte-at-a-time check\n",
                        kind[0] == '0' ? "(pure ASCII)" : "(mostly ASCII, some CJK)",
                        reporter.bytesPerSecond[fast] / 1e9, t[plain] / t[fast]);
    }
    for (const char* args : {"1048576/0", "10485760/0", "1048576/1", "10485760/1"}) {
        const std::string rw = std::string("BM_ReadWrite/") + args, copy = std::string("BM_PlainCopy/") + args,
                          flushed = std::string("BM_PlainCopyFlushed/") + args;
        if (t.count(rw) && t.count(copy) && t.count(flushed))
            std::printf("  read+write %s: %5.2fx a plain copy, %5.2fx a plain copy flushed to disk\n", args,
                        t[rw] / t[copy], t[rw] / t[flushed]);
    }
    benchmark::Shutdown();
    return 0;
}
