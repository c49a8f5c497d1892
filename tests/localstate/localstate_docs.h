#pragma once
// Random Local State documents: valid JSON in many layouts, each with what
// the repair should make of it when its shape is a plain one.
#include <nlohmann/json.hpp>

#include <random>
#include <string>
#include <vector>

#include "textfile/codepage.h"

namespace localstate_docs {

inline const std::string kEntry = "block-insecure-private-network-requests@2";

struct Doc {
    std::string json;   // UTF-8
    bool plain = true;  // one browser object and one scheme entry that the rules reach
    nlohmann::json expected;  // the parsed result the repair should give, when plain
};

class Generator {
public:
    explicit Generator(uint32_t seed, bool asciiOnly = false) : rng_(seed), asciiOnly_(asciiOnly) {}

    Doc Next() {
        pretty_ = Chance(2);
        Doc d;
        nlohmann::json expected = nlohmann::json::object();
        std::vector<std::string> members;
        // The scheme's settings.
        if (Chance(4) != 0) {
            members.push_back(Member("protocol_handler", ProtocolHandler(&d, &expected["protocol_handler"])));
        }
        // The browser object, plain or not.
        const std::string browserKey = Chance(5) == 0 ? "Browser" : "browser";
        nlohmann::json browserExpected;
        const int browsers = Chance(6) == 0 ? 0 : 1;
        if (browsers) members.push_back(Member(browserKey, Browser(&d, &browserExpected)));
        else d.plain = false;
        if (Chance(3) == 0) {
            members.push_back(Member("os_crypt", Object({Member("encrypted_key", Base64())})));
        }
        if (Chance(3) == 0) members.push_back(Member("profile", Object({Member("info_cache", Object({}))})));
        if (Chance(5) == 0) {  // another browser object, nested or repeated
            nlohmann::json ignored;
            std::string inner = Member("browser", Browser(&d, &ignored));
            members.push_back(Chance(2) ? inner : Member("nested", Object({inner})));
            d.plain = false;
        }
        if (Chance(4) == 0) members.push_back(Member("note", String(Chance(2) ? "a}b{c\\\"d" : "\\u00e9 x")));
        std::shuffle(members.begin(), members.end(), rng_);
        d.json = Ws() + Object(members) + Ws();
        if (d.plain) {
            d.expected = nlohmann::json::parse(d.json);
            if (expected.contains("protocol_handler") && !expected["protocol_handler"].is_null())
                d.expected["protocol_handler"] = expected["protocol_handler"];
            d.expected[browserKey] = browserExpected;
        }
        return d;
    }

private:
    int Chance(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    std::string Ws() {
        if (!pretty_) return "";
        static const char* const kWs[] = {"", " ", "\n  ", "\r\n\t", "  "};
        return kWs[Chance(5)];
    }
    std::string Member(const std::string& key, const std::string& value) {
        return "\"" + key + "\"" + Ws() + ":" + Ws() + value;
    }
    std::string Join(const std::vector<std::string>& items) {
        std::string s;
        for (size_t i = 0; i < items.size(); ++i) s += (i ? Ws() + "," + Ws() : "") + items[i];
        return s;
    }
    std::string Object(const std::vector<std::string>& members) { return "{" + Ws() + Join(members) + Ws() + "}"; }
    std::string Array(const std::vector<std::string>& items) { return "[" + Ws() + Join(items) + Ws() + "]"; }
    std::string String(const std::string& s) { return "\"" + s + "\""; }
    std::string Scalar() {
        switch (Chance(6)) {
        case 0: return std::to_string(Chance(100000));
        case 1: return "true";
        case 2: return "null";
        case 3: return String(asciiOnly_ ? "caf\\u00e9" : "caf\xc3\xa9 \xe4\xb8\xad");
        case 4: return "-1.5e3";
        default: return String("v" + std::to_string(Chance(10)));
        }
    }
    std::string Base64() {
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string s(static_cast<size_t>(40 + Chance(400)), 'A');
        for (char& c : s) c = kAlphabet[Chance(64)];
        return String(s);
    }

    std::string ProtocolHandler(Doc* d, nlohmann::json* expected) {
        std::vector<std::string> schemes;
        for (int i = Chance(3); i > 0; --i) schemes.push_back(Member("s" + std::to_string(i), Chance(2) ? "true" : "false"));
        const int value = Chance(5);  // 0 absent, 1 true, 2 false, 3 "true", 4 "TRUE"
        static const char* const kValues[] = {"", "true", "false", "\"true\"", "\"TRUE\""};
        const std::string key = Chance(3) == 0 ? "VezoveRove" : "vezoverove";
        if (value) schemes.insert(schemes.begin() + Chance(static_cast<int>(schemes.size()) + 1),
                                  Member(key, kValues[value]));
        const bool nestedFirst = Chance(6) == 0;
        if (nestedFirst) schemes.insert(schemes.begin(), Member("odd", Object({Member("x", "1")})));
        std::vector<std::string> handler = {Member("excluded_schemes", Object(schemes))};
        const bool otherFirst = Chance(4) == 0;
        if (otherFirst) handler.insert(handler.begin(), Member("allowed_origin_protocol_pairs", Object({})));
        if (Chance(2)) handler.push_back(Member("other", Scalar()));
        const std::string text = Object(handler);
        *expected = nlohmann::json::parse(text);
        // The rule reaches the entry only when excluded_schemes comes first
        // and no closing brace stands before the entry.
        if (value && !otherFirst && !nestedFirst) {
            auto& v = (*expected)["excluded_schemes"][key];
            if (value == 1) v = false;
            else if (value >= 3) v = "false";
        }
        (void)d;
        return text;
    }

    std::string Browser(Doc* d, nlohmann::json* expected) {
        std::vector<std::string> members;
        for (int i = Chance(3); i > 0; --i) members.push_back(Member("m" + std::to_string(i), Scalar()));
        const int list = Chance(7);  // 0 none, 1 [], 2 [ ws ], 3 others, 4 choice 1, 5 choice 2 among others, 6 mixed
        std::vector<std::string> items;
        switch (list) {
        case 3: items = {String("a@1"), String("b")}; break;
        case 4: items = {String("block-insecure-private-network-requests@1")}; break;
        case 5: items = {String("x"), String("block-insecure-private-network-requests@2")}; break;
        case 6: items = {"1", Object({Member("k", Array({}))}), "null"}; break;
        default: break;
        }
        bool reachable = true;
        if (list) {
            std::string arr = list == 2 ? "[ \n ]" : Array(items);
            size_t at = static_cast<size_t>(Chance(static_cast<int>(members.size()) + 1));
            if (Chance(6) == 0) {  // a nested object before the list hides it from the rule
                members.insert(members.begin(), Member("nested", Object({Member("y", "2")})));
                ++at;
                reachable = false;
            }
            members.insert(members.begin() + static_cast<std::ptrdiff_t>(at), Member("enabled_labs_experiments", arr));
        }
        const std::string text = Object(members);
        *expected = nlohmann::json::parse(text);
        if (!reachable) {
            d->plain = false;
            return text;
        }
        auto& exp = (*expected)["enabled_labs_experiments"];
        if (list == 0 || list == 1 || list == 2) exp = nlohmann::json::array({kEntry});
        else if (list == 4) exp[0] = kEntry;
        else if (list == 3 || list == 6) exp.insert(exp.begin(), kEntry);
        return text;
    }

    std::mt19937 rng_;
    bool asciiOnly_;
    bool pretty_ = false;
};

inline std::u16string ToText(const std::string& utf8) { return BytesToText(utf8, kCodePageUtf8); }
inline std::string ToUtf8(const std::u16string& text) { return TextToBytes(text, kCodePageUtf8); }

}  // namespace localstate_docs
