// The engine against the scripting runtime's own pattern object, driven
// through COM the way a script drives it: Pattern, IgnoreCase and Global
// set, then Replace or Test. Under Wine this is Wine's implementation.
// ASCII texts only, no pattern that can match empty and no $00 token: the
// runtime object hangs or fails on those.
//
// Two corners are left out on purpose, where Wine's object follows the
// later ECMAScript rules rather than the runtime it stands in for: it clears
// a repeated group's captures at each new repetition ((a)|(b))+ on "ab"
// gives $2 empty), and it refuses a repetition of a group that matched
// empty. This engine keeps the last value and accepts the empty repetition,
// as PCRE2 does.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "localstate/pattern.h"
#include "localstate/regexp.h"
#include "pattern_gen.h"

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }

private:
    bool ok_;
};

// One fresh runtime pattern object per operation, as the service makes one.
class ScriptRegExp {
public:
    ScriptRegExp() {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(L"VBScript.RegExp", &clsid))) return;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&disp_))))
            disp_ = nullptr;
    }
    ~ScriptRegExp() {
        if (disp_) disp_->Release();
    }
    ScriptRegExp(const ScriptRegExp&) = delete;
    ScriptRegExp& operator=(const ScriptRegExp&) = delete;

    bool ok() const { return disp_ != nullptr; }

    bool Configure(const std::u16string& pattern) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(W(pattern), static_cast<UINT>(pattern.size()));
        bool ok = Put(L"Pattern", v);
        VariantClear(&v);
        v.vt = VT_BOOL;
        v.boolVal = VARIANT_TRUE;
        ok = ok && Put(L"IgnoreCase", v) && Put(L"Global", v);
        return ok;
    }

    // False when the object refused the call (a pattern it rejects).
    bool Replace(const std::u16string& source, const std::u16string& replacement, std::u16string* out) {
        VARIANT args[2];
        // Arguments go in reverse order.
        VariantInit(&args[1]);
        args[1].vt = VT_BSTR;
        args[1].bstrVal = SysAllocStringLen(W(source), static_cast<UINT>(source.size()));
        VariantInit(&args[0]);
        args[0].vt = VT_BSTR;
        args[0].bstrVal = SysAllocStringLen(W(replacement), static_cast<UINT>(replacement.size()));
        VARIANT result;
        VariantInit(&result);
        bool ok = Call(L"Replace", args, 2, &result) && result.vt == VT_BSTR;
        if (ok) out->assign(reinterpret_cast<const char16_t*>(result.bstrVal), SysStringLen(result.bstrVal));
        VariantClear(&result);
        VariantClear(&args[0]);
        VariantClear(&args[1]);
        return ok;
    }

    bool Test(const std::u16string& text, bool* found) {
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_BSTR;
        arg.bstrVal = SysAllocStringLen(W(text), static_cast<UINT>(text.size()));
        VARIANT result;
        VariantInit(&result);
        bool ok = Call(L"Test", &arg, 1, &result) && result.vt == VT_BOOL;
        if (ok) *found = result.boolVal != VARIANT_FALSE;
        VariantClear(&result);
        VariantClear(&arg);
        return ok;
    }

private:
    DISPID Id(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        if (FAILED(disp_->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
        return id;
    }
    bool Put(const wchar_t* name, VARIANT& value) {
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &put, 1, 1};
        return SUCCEEDED(disp_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                                       nullptr, nullptr, nullptr));
    }
    bool Call(const wchar_t* name, VARIANT* args, UINT count, VARIANT* result) {
        DISPPARAMS params{args, nullptr, count, 0};
        return SUCCEEDED(disp_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                       nullptr, nullptr));
    }

    IDispatch* disp_ = nullptr;
};

std::string Show(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += (c >= 0x20 && c < 0x7f) ? std::string(1, static_cast<char>(c))
                                                       : "\\x" + std::to_string(static_cast<unsigned>(c));
    return out;
}

class PatternVsScriptRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        ScriptRegExp probe;
        if (!probe.ok())
            GTEST_SKIP() << "VBScript.RegExp cannot be created in this Wine prefix (vbscript.dll not registered?)";
    }

    // Compares replace-all with each replacement, and test.
    ::testing::AssertionResult Agree(const std::u16string& pattern, const std::u16string& text,
                                     const std::vector<std::u16string>& replacements) {
        for (const auto& r : replacements) {
            ScriptRegExp re;
            std::u16string theirs;
            if (!re.Configure(pattern) || !re.Replace(text, r, &theirs))
                return ::testing::AssertionFailure() << "runtime refused /" << Show(pattern) << "/";
            std::u16string ours = RegexReplace(text, pattern, r);
            if (ours != theirs)
                return ::testing::AssertionFailure() << "/" << Show(pattern) << "/ on \"" << Show(text) << "\" with \""
                                                     << Show(r) << "\": ours \"" << Show(ours) << "\" runtime \""
                                                     << Show(theirs) << "\"";
        }
        ScriptRegExp re;
        bool found = false;
        if (!re.Configure(pattern) || !re.Test(text, &found))
            return ::testing::AssertionFailure() << "runtime refused Test /" << Show(pattern) << "/";
        if (found != RegexTest(pattern, text))
            return ::testing::AssertionFailure() << "Test /" << Show(pattern) << "/ on \"" << Show(text) << "\"";
        return ::testing::AssertionSuccess();
    }

    ComApartment com_;
};

const std::vector<std::u16string> kReplacements = {
    u"[$&]", u"<$1|$2>", u"$$1$`", u"$'", u"$0$3$9$x$", u"$10$01$12", u"plain",
};

TEST_F(PatternVsScriptRuntime, TheRulesOnLocalStateTexts) {
    using namespace localstate_rules;
    const std::vector<std::pair<std::u16string, std::u16string>> rules = {
        {kSchemePattern, kSchemeReplacement},
        {kListPattern, kAddToEmptyReplacement},
        {kListPattern, kAddFirstReplacement},
        {std::u16string(kListPattern) + kEmptyListSuffix, kAddToEmptyReplacement},
        {kChoicePattern, kChoiceReplacement},
        {kBrowserPattern, kNewListReplacement},
    };
    const std::vector<std::u16string> texts = {
        u"{\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"VEZOVEROVE\" : \"True\"}},"
        u"\"browser\":{\"enabled_labs_experiments\":[ ]}}",
        u"{\"browser\" :{\"a\":1, \"Enabled_Labs_Experiments\":[\"block-insecure-private-network-requests@1\"]},"
        u"\"x\":{\"browser\":{\"b\":{},\"enabled_labs_experiments\":[\"q\"]}}}",
        u"{\"browser\":{\"last\":\"\"}, \"browser\":{}}",
        u"\"browser\":{\"browser\":{ \"browser\":{\"enabled_labs_experiments\":[]",
    };
    for (const auto& rule : rules)
        for (const auto& t : texts) EXPECT_TRUE(Agree(rule.first, t, {rule.second, u"[$&]", u"<$1>"}));
}

TEST_F(PatternVsScriptRuntime, HandPickedPatterns) {
    const std::vector<std::u16string> patterns = {
        u"a|ab", u"ab|a", u"(a|ab)(c|bcd)(d*)", u"(a+)(b+)?", u"(a*?)(b)", u"<.*?>", u"<.*>", u"\\bfoo\\b",
        u"\\Bo", u"^a|b$", u"x{2,3}?y", u"(?:ab){1,2}c", u"[^\"]+\"", u"\\d+(?:\\.\\d*)?",
        u"(\\w+)\\s*:\\s*(\\w+)", u"(a)|(b)|(c)", u"(?:ab)+(c)", u"[\\s\\S]{3}", u"[a-z]+", u"[A-Z]", u"[^a-c]",
        u".", u"\\W+", u"x{y}", u"(.)(.)(.)(.)(.)(.)(.)(.)(.)(.)(.)(.)",
    };
    const std::vector<std::u16string> texts = {
        u"ab abc abcd ABCD aAbB", u"<a><b>c<d>", u"foo bar foobar barfoo FOO", u"xx xxy xxxy XXXXY x{y}",
        u"ababc abc ABABC", u"3.14 42 7. .5", u"key: value\nKEY :VALUE", u"abcdefghijklmnop",
    };
    for (const auto& p : patterns)
        for (const auto& t : texts) EXPECT_TRUE(Agree(p, t, kReplacements));
}

TEST_F(PatternVsScriptRuntime, RandomPatternsAndTexts) {
    pattern_gen::SeededChoices choices(99);
    pattern_gen::Options options;
    options.asciiOnly = true;
    options.quantifyNullable = false;
    pattern_gen::Generator gen(choices, options);
    int compared = 0, failures = 0;
    while (compared < 1500 && failures < 10) {
        bool nullable = true;
        const std::u16string pattern = gen.Pattern(&nullable);
        if (nullable) continue;
        ++compared;
        for (int k = 0; k < 3; ++k) {
            auto r = Agree(pattern, gen.Text(16), {u"[$&]"});
            if (!r) {
                ADD_FAILURE() << r.message();
                ++failures;
                break;
            }
        }
    }
}

}  // namespace
