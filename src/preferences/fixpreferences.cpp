#include "preferences/editororigins.h"
#include "preferences/preferences.h"
#include "textfile/textfile.h"

namespace {

// The new content is the file's own bytes, mark included, wherever no
// splice went.
class PreferencesRules : public FileRules {
public:
    explicit PreferencesRules(const std::vector<std::string>& origins) : origins_(origins) {}
    void Run(TextFileBytes& file) override {
        // The browsers read the file as UTF-8 only.
        const std::string_view text =
            TextUnitWidth(file.encoding) == 1
                ? std::string_view(reinterpret_cast<const char*>(file.data()) + file.markLength, file.size - file.markLength)
                : std::string_view();
        plan_ = PlanGrants(text, origins_);
        lines = plan_.lines;
        refused = plan_.refused;
        changed = !refused && !plan_.splices.empty();
        if (!changed) return;
        const uint8_t* base = file.data() + file.markLength;
        size_t kept = 0;
        pieces.push_back({file.data(), file.markLength});
        for (const Splice& s : plan_.splices) {
            pieces.push_back({base + kept, s.begin - kept});
            pieces.push_back({reinterpret_cast<const uint8_t*>(s.text.data()), s.text.size()});
            kept = s.end;
        }
        pieces.push_back({base + kept, text.size() - kept});
    }

private:
    const std::vector<std::string>& origins_;
    GrantPlan plan_;
};

}  // namespace

std::vector<std::string> EditorOrigins() { return {std::begin(kEditorOrigins), std::end(kEditorOrigins)}; }

std::u16string EditorOriginsLine() {
    std::u16string line = u"Editor origins: ";
    for (const char* origin : kEditorOrigins) {
        if (origin != kEditorOrigins[0]) line += u", ";
        for (const char* c = origin; *c; ++c) line += static_cast<char16_t>(*c);
    }
    return line;
}

FixOutcome FixPreferences(const std::u16string& path, const LogLine& log, const Confinement& confinement,
                          const std::vector<std::string>& origins) {
    PreferencesRules rules(origins);
    return FixFile(path, u"Preferences", rules, log, confinement);
}

CheckOutcome CheckPreferences(const std::u16string& path, const Confinement& confinement,
                              const std::vector<std::string>& origins) {
    PreferencesRules rules(origins);
    return CheckFile(path, rules, confinement);
}
