#include <algorithm>
#include <utility>

#include "json/jsonscan.h"
#include "preferences/preferences.h"

namespace {

std::u16string Wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// What a member must hold: an object with these members, or a value.
struct Need {
    std::string key;
    const char* value = nullptr;       // the value's text, for a leaf
    const char16_t* group = nullptr;   // for a leaf's line: the setting, and the origin it grants
    std::string origin;
    // Set where it is there, never added: an entry the browser may have
    // made itself.
    bool onlyIfPresent = false;
    std::vector<Need> children;
};

Need& Child(Need& parent, const std::string& key) {
    for (Need& c : parent.children)
        if (c.key == key) return c;
    parent.children.emplace_back();
    parent.children.back().key = key;
    return parent.children.back();
}

void AddGrant(Need& root, std::initializer_list<std::string> path, const char* value, const char16_t* group,
              const std::string& origin) {
    Need* at = &root;
    for (const std::string& key : path) at = &Child(*at, key);
    at->value = value, at->group = group, at->origin = origin;
}

// The member as the browsers write it. Origins and keys need no escape.
void Write(const Need& need, std::string& out) {
    out += '"' + need.key + "\":";
    if (need.value) {
        out += need.value;
        return;
    }
    out += '{';
    bool first = true;
    for (const Need& c : need.children) {
        if (c.onlyIfPresent) continue;
        if (!first) out += ',';
        first = false;
        Write(c, out);
    }
    out += '}';
}

class Planner {
public:
    Planner(std::string_view text, const json::Ends& ends, GrantPlan& plan) : text_(text), ends_(ends), plan_(plan) {}

    void Line(const Need& leaf, const char16_t* verb) {
        plan_.lines.push_back(std::u16string(leaf.group) + u": " + verb + u" " + Wide(leaf.origin));
    }
    void AddedLines(const Need& need) {
        if (need.value) Line(need, u"add");
        for (const Need& c : need.children)
            if (!c.onlyIfPresent) AddedLines(c);
    }

    // False when a key on the way holds something other than an object.
    bool Walk(const json::Value& object, const Need& need, const std::string& where) {
        // One walk over the object's members for all the keys wanted in it;
        // of equal keys the last counts, as for the browser.
        std::vector<json::Value> values(need.children.size());
        std::vector<bool> found(need.children.size());
        json::Members members(text_, object, &ends_);
        for (json::Member m; members.Next(&m);)
            for (size_t i = 0; i < need.children.size(); ++i)
                if (json::KeyIs(text_, m, need.children[i].key)) values[i] = m.value, found[i] = true;
        std::string missing;
        for (size_t i = 0; i < need.children.size(); ++i) {
            const Need& c = need.children[i];
            const json::Value& v = values[i];
            if (!found[i]) {
                if (c.onlyIfPresent) continue;
                if (!missing.empty()) missing += ',';
                Write(c, missing);
                AddedLines(c);
            } else if (c.value) {
                if (text_.substr(v.begin, v.end - v.begin) != c.value) {
                    plan_.splices.push_back({v.begin, v.end, c.value});
                    Line(c, u"replace");
                }
            } else if (v.kind != json::Kind::Object) {
                plan_.lines.push_back(u"Preferences: " + Wide(where + c.key) + u" is not an object, left as it is");
                return false;
            } else if (!Walk(v, c, where + c.key + ".")) {
                return false;
            }
        }
        // Added first in the object, where no comma is wanted before it.
        if (!missing.empty()) {
            if (!json::IsEmptyObject(text_, object)) missing += ',';
            plan_.splices.push_back({object.begin + 1, object.begin + 1, std::move(missing)});
        }
        return true;
    }

private:
    std::string_view text_;
    const json::Ends& ends_;
    GrantPlan& plan_;
};

}  // namespace

GrantPlan PlanGrants(std::string_view text, const std::vector<std::string>& origins) {
    GrantPlan plan;
    json::Value top;
    json::Ends ends;
    if (!json::Scan(text, &top, &ends) || top.kind != json::Kind::Object) {
        plan.refused = true;
        plan.lines.push_back(u"Preferences: not a JSON object, left as it is");
        return plan;
    }
    Need root;
    for (const std::string& origin : origins) {
        AddGrant(root, {"protocol_handler", "allowed_origin_protocol_pairs", origin, "vezoverove"}, "true",
                 u"allowed_origin_protocol_pairs", origin);
        // Local Network Access as split in version 145: 127.0.0.1 and
        // localhost, and the private address ranges.
        const std::pair<const char*, const char16_t*> settings[] = {{"loopback_network", u"loopback_network"},
                                                                     {"local_network", u"local_network"}};
        // A prompt answered for the origin is kept under its default port
        // spelled out ("https://host:443,*"): more specific than the grant,
        // a refusal there would win over it.
        const bool portless = origin.find(':', origin.find("//")) == std::string::npos;
        for (const auto& [key, name] : settings) {
            AddGrant(root, {"profile", "content_settings", "exceptions", key, origin + ",*", "setting"}, "1", name,
                     origin + ",*");
            if (!portless) continue;
            const std::string answered = origin + ":443,*";
            AddGrant(root, {"profile", "content_settings", "exceptions", key, answered, "setting"}, "1", name, answered);
            Child(Child(Child(Child(Child(root, "profile"), "content_settings"), "exceptions"), key), answered)
                .onlyIfPresent = true;
        }
    }
    if (!Planner(text, ends, plan).Walk(top, root, "")) {
        plan.refused = true;
        plan.splices.clear();
        plan.lines.erase(plan.lines.begin(), plan.lines.end() - 1);
        return plan;
    }
    std::stable_sort(plan.splices.begin(), plan.splices.end(),
                     [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
    return plan;
}
