#pragma once
// A profile's Preferences as Chromium 156 writes it (compact, keys in order: the fuzz seed a headless run made),
// grown to about the size asked for with the site engagement scores a long-used profile gathers. Its Local Network
// Access settings are empty and it has no protocol_handler.
#include <fstream>
#include <iterator>
#include <string>

namespace prefscorpus {

inline std::string Realistic(size_t bytes) {
#ifdef _WIN32
    std::ifstream in("Z:" DZD_PREFERENCES_SEED, std::ios::binary);
#else
    std::ifstream in(DZD_PREFERENCES_SEED, std::ios::binary);
#endif
    std::string text(std::istreambuf_iterator<char>(in), {});
    const std::string key = "\"site_engagement\":{";
    std::string sites;
    for (size_t i = 0; text.size() + sites.size() < bytes; ++i)
        sites += "\"https://site" + std::to_string(i) + ".example.com:443,*\":{\"last_modified\":\"13441217871765977\","
                 "\"setting\":{\"lastEngagementTime\":1.3441217871765956e+16,\"lastShortcutLaunchTime\":0.0,"
                 "\"pointsAddedToday\":4.5,\"rawScore\":" + std::to_string(i % 97) + ".5}},";
    if (const size_t at = text.find(key); at != std::string::npos) text.insert(at + key.size(), sites);
    return text;
}

}  // namespace prefscorpus
