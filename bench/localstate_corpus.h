#pragma once
// Local State texts for the benchmarks: what a browser writes, with hundreds
// of profiles or sized to a target, and the hostile shapes the rules' lazy
// runs meet. Every text is UTF-8; Utf16 gives the units the repair sees.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace corpus {

inline std::string Base64(size_t n, uint32_t seed) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 rng(seed);
    std::string s(n, 'A');
    for (char& c : s) c = kAlphabet[rng() % 64];
    return s;
}

// What the browser object holds; each choice sends the repair down another
// branch.
enum class List { None, Other, Choice, Empty };

struct Shape {
    size_t profiles = 400;
    size_t bytes = 0;        // when not 0: profiles are added until the text is this long
    bool nonAscii = false;   // profile names in several scripts
    List list = List::None;
    bool nearMisses = false;  // keys in every profile that almost look like the browser object
    size_t schemeObjects = 0;  // excluded_schemes objects without the custom scheme, in profiles
};

inline std::string Profile(size_t i, const Shape& shape, std::mt19937& rng) {
    static const char* const kAscii[] = {"Alex Smith", "Work", "Maria Garcia", "Person 7", "Kids", "Testing"};
    static const char* const kWide[] = {"Zoë Müller", "Łukasz Wróbel", "张伟", "Ελένη Παπαδοπούλου", "Дмитрий",
                                        "अनुष्का", "🙂 Family", "佐藤 花子"};
    const std::string n = std::to_string(i);
    const std::string name = shape.nonAscii ? kWide[i % 8] : kAscii[i % 6];
    std::string p = "\"" + (i == 0 ? std::string("Default") : "Profile " + n) +
                    "\":{\"active_time\":1700" + std::to_string(rng() % 1000000) +
                    ".123456,\"avatar_icon\":\"chrome://theme/IDR_PROFILE_AVATAR_" + std::to_string(rng() % 56) +
                    "\",\"background_apps\":false,\"default_avatar_fill_color\":-" + std::to_string(rng() % 20000000) +
                    ",\"default_avatar_stroke_color\":-16166200,\"force_signin_profile_locked\":false,"
                    "\"gaia_given_name\":\"" + name + "\",\"gaia_id\":\"1" + std::to_string(rng()) +
                    "\",\"gaia_name\":\"" + name + "\",\"hosted_domain\":\"NO_HOSTED_DOMAIN\","
                    "\"is_consented_primary_account\":true,\"is_ephemeral\":false,\"is_using_default_avatar\":true,"
                    "\"is_using_default_name\":false,\"managed_user_id\":\"\",\"metrics_bucket_index\":" + n +
                    ",\"name\":\"" + name + "\",\"profile_color_seed\":-16033840,\"profile_highlight_color\":-1,"
                    "\"shortcut_name\":\"" + name + "\",\"signin.with_credential_provider\":false,"
                    "\"user_name\":\"user" + n + "@example.com\",\"use_gaia_picture\":false";
    if (shape.nearMisses)
        p += ",\"browser_switcher\":{\"enabled\":false},\"default_browser\":{\"infobar_declined\":false},"
             "\"browser\":\"Chrome\",\"browsers\":{\"seen\":[1,2]},\"browser\" : [\"enabled_labs_experiments\"],"
             "\"browser\":{\"has_seen_welcome_page\":true,\"window_placement\":{\"bottom\":1040}}";
    if (i < shape.schemeObjects)
        p += ",\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"data\":true,\"disk\":true,\"disks\":true,"
             "\"file\":true,\"hcp\":true,\"ie.http\":true,\"javascript\":true,\"ms-help\":true,\"ms-msdt\":true,"
             "\"res\":true,\"vbscript\":true,\"vezoverove2\":true,\"view-source\":true,\"vnd.ms.radio\":true}}";
    return p + "}";
}

// Keys in the order the browser writes them (sorted): the browser object
// first, the profiles in the middle, the schemes and the variations seed
// after them, so that every rule searches most of the file.
inline std::string LocalState(const Shape& shape) {
    std::string lists;
    switch (shape.list) {
    case List::None: break;
    case List::Other: lists = "\"enabled_labs_experiments\":[\"smooth-scrolling@2\",\"enable-parallel-downloading@1\"],"; break;
    case List::Choice:
        lists = "\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@1\",\"smooth-scrolling@2\"],";
        break;
    case List::Empty: lists = "\"enabled_labs_experiments\":[],"; break;
    }
    std::string t = "{\"browser\":{" + lists +
                    "\"last_redirect_origin\":\"\",\"shortcut_migration_version\":\"120.0.6099.130\"},"
                    "\"hardware_acceleration_mode_previous\":true,\"legacy\":{\"profile\":{\"name\":{\"migrated\":true}}},"
                    "\"os_crypt\":{\"audit_enabled\":true,\"encrypted_key\":\"RFBBUEkBAAAA" + Base64(344, 1) + "\"},"
                    "\"profile\":{\"info_cache\":{";
    const std::string tail =
        "},\"last_used\":\"Default\",\"profiles_created\":3},"
        "\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"data\":true,\"disk\":true,\"file\":true,"
        "\"javascript\":true,\"ms-msdt\":true,\"vezoverove\":true,\"view-source\":true}},"
        "\"user_experience_metrics\":{\"low_entropy_source3\":4711,\"stability\":{\"exited_cleanly\":true}},"
        "\"variations_compressed_seed\":\"" + Base64(48 * 1024, 2) + "\",\"variations_seed_signature\":\"" +
        Base64(96, 3) + "\"}";
    std::mt19937 rng(7);
    for (size_t i = 0; i < shape.profiles || t.size() + tail.size() < shape.bytes; ++i) {
        if (i != 0) t += ',';
        t += Profile(i, shape, rng);
    }
    return t + tail;
}

// The text with whitespace after every brace, bracket, comma and colon
// outside strings: a newline and `indent` per level, as a pretty printer
// writes it, or, with `run` above 0, a run of that many mixed blanks
// before and after every colon and after every other token.
inline std::string Spaced(const std::string& compact, size_t indent, size_t run = 0) {
    static const char kBlanks[] = " \t\r\n";
    auto blanks = [](size_t n) {
        std::string s(n, ' ');
        for (size_t i = 0; i < n; ++i) s[i] = kBlanks[i % 4];
        return s;
    };
    const std::string runText = blanks(run);
    std::string out;
    out.reserve(compact.size() * 2);
    size_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < compact.size(); ++i) {
        const char c = compact[i];
        if (inString) {
            out += c;
            if (c == '\\') out += compact[++i];
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '}' || c == ']') {
            depth -= depth > 0;
            out += run ? runText : "\n" + std::string(depth * indent, ' ');
        }
        if (c == ':' && run) out += runText;
        out += c;
        if (c == '"') inString = true;
        if (c == '{' || c == '[') ++depth;
        if (c == '{' || c == '[' || c == ',') out += run ? runText : "\n" + std::string(depth * indent, ' ');
        if (c == ':') out += run ? runText : " ";
    }
    return out;
}

// The letters of every key in a random case.
inline std::string CaseMixedKeys(std::string t) {
    std::mt19937 rng(11);
    size_t start = 0;
    bool inString = false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\\' && inString) ++i;
        else if (t[i] == '"') {
            inString = !inString;
            if (inString) start = i + 1;
            else if (i + 1 < t.size() && t[i + 1] == ':')
                for (size_t k = start; k < i; ++k)
                    if (((t[k] | 0x20) >= 'a' && (t[k] | 0x20) <= 'z') && rng() % 2) t[k] ^= 0x20;
        }
    }
    return t;
}

// `count` openings of the browser object, none of which ever closes.
inline std::string Unclosed(size_t count) {
    std::string t = "{";
    for (size_t i = 0; i < count; ++i) t += "\"browser\":{\"k\":\"v\",";
    return t + "\"x\":[1]";
}

// Both rules' openings, then one value of `run` characters without a
// closing brace in which quotes, colons and brackets and the rules' own
// words keep turning up.
inline std::string LongRun(size_t run) {
    std::string t = "{\"browser\":{\"protocol_handler\":{\"excluded_schemes\":{\"a\":\"";
    const std::string filler = Base64(run, 4);
    for (size_t at = 0; at < run; at += 4096) {
        const std::string chunk = filler.substr(at, 4096);
        t += chunk.substr(0, chunk.size() / 2) + "\"vezoverove\" \"enabled_labs_experiments\" : [\"" +
             chunk.substr(chunk.size() / 2);
    }
    return t + "\"}}}}";
}

// Match-dense texts: `bytes` of small per-site entries one after another,
// as a settings file keeping one object per site or per profile does, so
// that a rule matches every hundred bytes or so.
enum class Dense {
    Schemes,     // each with an excluded_schemes object holding the custom scheme among others
    Browser,     // each with a browser object and no list in it
    NearMisses,  // each with keys that almost look like the browser object, one in four with the real one
};

inline std::string DenseEntries(size_t bytes, Dense kind) {
    static const char* const kSchemes[] = {"afp", "data", "disk", "file", "javascript", "ms-msdt", "res", "view-source"};
    std::mt19937 rng(13);
    std::string t = "{\"sites\":{";
    for (size_t i = 0; t.size() < bytes; ++i) {
        if (i != 0) t += ',';
        t += "\"site" + std::to_string(i) + "\":{";
        switch (kind) {
        case Dense::Schemes: {
            // The custom scheme at any place among zero to three others.
            const size_t others = rng() % 4, at = rng() % (others + 1);
            t += "\"protocol_handler\":{\"excluded_schemes\":{";
            for (size_t k = 0; k <= others; ++k) {
                t += k ? "," : "";
                t += k == at ? std::string("\"vezoverove\":true")
                             : "\"" + std::string(kSchemes[rng() % 8]) + "\":" + (rng() % 2 ? "true" : "false");
            }
            t += "}}";
            break;
        }
        case Dense::Browser:
            t += "\"browser\":{\"last_redirect_origin\":\"\",\"window_placement\":" + std::to_string(rng() % 2000) + "}";
            break;
        case Dense::NearMisses:
            t += i % 4 == 0 ? "\"browser\":{\"seen\":true}," : "";
            t += std::string("\"browser_switcher\":{\"enabled\":false},\"browser\":\"Chrome\",\"browsers\":{\"n\":") +
                 std::to_string(rng() % 9) + "},\"browser\" : [1]";
            break;
        }
        t += ",\"last_seen\":1700" + std::to_string(rng() % 1000000) + "}";
    }
    return t + "}}";
}

inline std::u16string Utf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD7C0 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

inline std::string Utf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace corpus
