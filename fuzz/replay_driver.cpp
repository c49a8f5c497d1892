// Stands in for libFuzzer where it is not available: feeds the target every
// file of its seed corpus, then pseudo-random mutations of them, so the
// target runs under the sanitizers as part of the ordinary test suite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::string> seeds;
    if (argc > 1 && std::filesystem::is_directory(argv[1])) {
        for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
            std::ifstream in(e.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (seeds.empty()) seeds.emplace_back();
    for (const std::string& s : seeds)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());

    const char* runsText = std::getenv("DZD_FUZZ_RUNS");
    const long runs = runsText ? std::atol(runsText) : 20000;
    std::mt19937_64 rng(0x5eed);
    for (long i = 0; i < runs; ++i) {
        std::string s = seeds[rng() % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const auto pos = s.empty() ? 0 : rng() % (s.size() + 1);
            switch (rng() % 4) {
            case 0: s.insert(s.begin() + static_cast<std::ptrdiff_t>(pos), static_cast<char>(rng())); break;
            case 1: if (pos < s.size()) s.erase(pos, 1 + rng() % 4); break;
            case 2: if (pos < s.size()) s[pos] = static_cast<char>(rng()); break;
            default: if (!s.empty()) s.insert(pos, s.substr(rng() % s.size(), 1 + rng() % 16)); break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
    std::printf("%ld inputs ran clean\n", runs + static_cast<long>(seeds.size()));
    return 0;
}
