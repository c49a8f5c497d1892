// Stands in for libFuzzer where it is not available: feeds the target its seed corpus, then pseudo-random mutations
// of it, so the target runs under the sanitizers as part of the ordinary test suite.
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
    std::vector<std::string> seeds(1);
    if (argc > 1)
        for (const auto& e : std::filesystem::directory_iterator(argv[1]))
            seeds.emplace_back(std::istreambuf_iterator<char>(std::ifstream(e.path(), std::ios::binary).rdbuf()),
                               std::istreambuf_iterator<char>());
    const char* runsText = std::getenv("DZD_FUZZ_RUNS");
    const size_t runs = seeds.size() + (runsText ? std::strtoul(runsText, nullptr, 10) : 20000);
    std::mt19937_64 rng(0x5eed);
    for (size_t i = 0; i < runs; ++i) {
        std::string s = seeds[i % seeds.size()];
        for (int e = i < seeds.size() ? 0 : 1 + static_cast<int>(rng() % 8); e > 0; --e) {
            const size_t pos = rng() % (s.size() + 1);
            switch (rng() % 3) {
            case 0: s.insert(pos, 1, static_cast<char>(rng())); break;
            case 1: s.erase(pos, 1 + rng() % 4); break;
            default: if (!s.empty()) s.insert(pos, s.substr(rng() % s.size(), 1 + rng() % 16)); break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
    std::printf("%zu inputs ran clean\n", runs);
    return 0;
}
