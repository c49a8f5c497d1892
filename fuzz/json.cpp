// Arbitrary bytes as JSON text, against nlohmann::json. The scanner accepts what nlohmann accepts, and each top-level
// member's value, cut out at the scanner's offsets, reads as nlohmann reads that member (of equal keys the last, in
// both), as it does when the walk passes over objects and arrays by the ends the scan found. Differences between the
// two left out: a leading UTF-8 mark, which nlohmann skips and the scanner leaves to its callers (both get the text
// after it); nesting past 200, which nlohmann takes and the browsers refuse (the scanner must refuse it); a NUL byte,
// where nlohmann's input ends and the browsers' does not (valid JSON has none outside a string nor unescaped in one:
// the scanner must refuse it). Where the text is an object, the Preferences grants spliced into it read as nlohmann's
// own document with the grants set, or the plan is refused exactly where a key on the way holds no object; a second
// plan on the result changes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "json/jsonscan.h"
#include "preferences/preferences.h"

using Doc = nlohmann::json;

static void Check(bool ok) { if (!ok) std::abort(); }

static const std::vector<std::string> kOrigins = {"https://a.example", "https://b.example:8443"};

// The grants' keys, as nlohmann paths, each with the value it must hold; an origin's entry under its default port
// only where the document has one.
static std::vector<std::pair<Doc::json_pointer, Doc>> Grants(const Doc& doc) {
    std::vector<std::pair<Doc::json_pointer, Doc>> grants;
    for (const std::string& o : kOrigins) {
        grants.push_back({Doc::json_pointer("/protocol_handler/allowed_origin_protocol_pairs") / o / "vezoverove", true});
        for (const char* setting : {"loopback_network", "local_network"}) {
            const Doc::json_pointer entries = Doc::json_pointer("/profile/content_settings/exceptions") / setting;
            grants.push_back({entries / (o + ",*") / "setting", 1});
            if (o.find(':', 6) == std::string::npos && doc.contains(entries / (o + ":443,*")))
                grants.push_back({entries / (o + ":443,*") / "setting", 1});
        }
    }
    return grants;
}

// False when a key on the way to a grant holds something that is no object.
static bool Grantable(const Doc& doc) {
    for (const auto& [pointer, value] : Grants(doc))
        for (Doc::json_pointer p = pointer.parent_pointer(); !p.empty(); p = p.parent_pointer())
            if (doc.contains(p) && !doc.at(p).is_object()) return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    json::Value top;
    json::Ends ends(1);  // every object and array
    const bool ours = json::Scan(text, &top, &ends);
    int deepest = 0;
    Doc doc = Doc::parse(text.begin(), text.end(), [&](int depth, Doc::parse_event_t event, Doc&) {
        if (event == Doc::parse_event_t::object_start || event == Doc::parse_event_t::array_start)
            deepest = std::max(deepest, depth + 1);
        return true;
    }, false);
    const bool theirs = !doc.is_discarded();
    const bool nul = text.find('\0') != std::string_view::npos;
    Check(ours == (theirs && !nul && deepest <= json::kMaxDepth));
    if (!ours) return 0;
    Check(text.find_first_not_of(" \t\r\n") == top.begin && text.find_last_not_of(" \t\r\n") + 1 == top.end);
    if (top.kind != json::Kind::Object) return 0;
    size_t members = 0;
    json::Members walk(text, top), jump(text, top, &ends);
    for (json::Member m, j; walk.Next(&m); ++members) {
        Check(jump.Next(&j) && j.keyBegin == m.keyBegin && j.value.end == m.value.end);
        const std::string key = Doc::parse(text.substr(m.keyBegin, m.keyEnd - m.keyBegin)).get<std::string>();
        json::Value last;
        Check(json::Find(text, top, key, &last) && last.end >= m.value.end);
        Check(Doc::parse(text.substr(last.begin, last.end - last.begin)) == doc.at(key));
    }
    Check(members >= doc.size() && (members == 0) == doc.empty());

    const GrantPlan plan = PlanGrants(text, kOrigins);
    Check(plan.refused == !Grantable(doc));
    if (plan.refused) return 0;
    std::string out;
    size_t kept = 0;
    for (const Splice& s : plan.splices) {
        Check(s.begin >= kept);
        out.append(text.substr(kept, s.begin - kept)).append(s.text);
        kept = s.end;
    }
    out.append(text.substr(kept));
    Doc expected = doc;
    for (const auto& [pointer, value] : Grants(doc)) expected[pointer] = value;
    Check(Doc::parse(out) == expected);
    const GrantPlan again = PlanGrants(out, kOrigins);
    Check(!again.refused && again.splices.empty() && (out == text) == plan.lines.empty());
    return 0;
}
