#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/prefscorpus.h"
#include "../support/testfs.h"
#include "preferences/preferences.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;

// JSON written with single quotes.
std::string J(std::string text) { return std::replace(text.begin(), text.end(), '\'', '"'), text; }
const std::string O = "https://q.example", P = "https://p.example:8443";
std::string Pair(const std::string& origin) { return J("'" + origin + "':{'vezoverove':true}"); }
std::string Entry(const std::string& origin) { return J("'" + origin + ",*':{'setting':1}"); }
const std::string kHandler = J("'protocol_handler':{'allowed_origin_protocol_pairs':{") + Pair(O) + "}}";
const std::string kLoopLocal = J("'loopback_network':{") + Entry(O) + J("},'local_network':{") + Entry(O) + "}";
const std::string kProfile = J("'profile':{'content_settings':{'exceptions':{") + kLoopLocal + "}}}";
const Lines kAddAll = {u"allowed_origin_protocol_pairs: add https://q.example", u"loopback_network: add https://q.example,*",
                       u"local_network: add https://q.example,*"};
const std::u16string kNotObject = u"Preferences: not a JSON object, left as it is";

// Each file as the repair leaves it (empty: as it was), with its decision lines between the found and outcome
// lines; the check says what the repair would do.
TEST(FixPreferences, EachGrantAddedOrReplacedWhereItBelongsAndNothingElseChanged) {
    struct Case { const char* name; std::string in, out; Lines lines; FixOutcome outcome; std::vector<std::string> origins = {O}; };
    const std::string refused = J("'" + O + ",*':{'last_modified':'13441217871765977','setting':");
    // Pretty-printed with CR LF: where the local entry goes (@), and the loopback entry's setting (#).
    const auto crlf = [](const std::string& at, const std::string& setting) {
        std::string text = J("{\r\n  'profile': {\r\n    'content_settings': {\r\n      'exceptions': {@\r\n        "
                             "'loopback_network': {\r\n          '" + O + ",*': {\r\n            'setting': #\r\n"
                             "          }\r\n        }\r\n      }\r\n    }\r\n  }\r\n}\r\n");
        return text.replace(text.find('@'), 1, at).replace(text.find('#'), 1, setting);
    };
    const Case cases[] = {
        {"nothing there", "{}", "{" + kHandler + "," + kProfile + "}", kAddAll, FixOutcome::Saved},
        {"other origins' entries kept",
         J("{'protocol_handler':{'allowed_origin_protocol_pairs':{'https://x.example':{'mailto':true}}},'profile':"
           "{'content_settings':{'exceptions':{'local_network':{'https://x.example,*':{'setting':2}}}}}}"),
         J("{'protocol_handler':{'allowed_origin_protocol_pairs':{") + Pair(O) + J(",'https://x.example':{'mailto':true}}},"
           "'profile':{'content_settings':{'exceptions':{'loopback_network':{") + Entry(O) + J("},'local_network':{") +
             Entry(O) + J(",'https://x.example,*':{'setting':2}}}}}}"),
         kAddAll, FixOutcome::Saved},
        {"refused once, the scheme turned off",
         J("{'protocol_handler':{'allowed_origin_protocol_pairs':{'" + O + "':{'mailto':true,'vezoverove':false}}},"
           "'profile':{'content_settings':{'exceptions':{'local_network':{") + refused + J("2}},'loopback_network':{") +
             refused + "2}}}}}}",
         J("{'protocol_handler':{'allowed_origin_protocol_pairs':{'" + O + "':{'mailto':true,'vezoverove':true}}},"
           "'profile':{'content_settings':{'exceptions':{'local_network':{") + refused + J("1}},'loopback_network':{") +
             refused + "1}}}}}}",
         {u"allowed_origin_protocol_pairs: replace https://q.example", u"loopback_network: replace https://q.example,*",
          u"local_network: replace https://q.example,*"}, FixOutcome::Saved},
        // A prompt's answer is kept under the default port, which is more specific than the grant.
        {"refused at the default port",
         J("{'profile':{'content_settings':{'exceptions':{'local_network':{'" + O + ":443,*':") + J("{'setting':2}}}}}}"),
         "{" + kHandler + J(",'profile':{'content_settings':{'exceptions':{'loopback_network':{") + Entry(O) +
             J("},'local_network':{") + Entry(O) + J(",'" + O + ":443,*':{'setting':1}}}}}}"),
         {kAddAll[0], kAddAll[1], kAddAll[2], u"local_network: replace https://q.example:443,*"}, FixOutcome::Saved},
        {"already granted", "{" + kProfile + "," + kHandler + "}", "", {}, FixOutcome::Unchanged},
        {"pretty-printed with CR LF", crlf("", "2"),
         "{" + kHandler + "," + crlf(J("'local_network':{") + Entry(O) + "},", "1").substr(1),
         {kAddAll[0], u"loopback_network: replace https://q.example,*", kAddAll[2]}, FixOutcome::Saved},
        {"UTF-8 with a mark", "\xEF\xBB\xBF{\"name\":\"\xE5\x90\x8D\"}",
         "\xEF\xBB\xBF{" + kHandler + "," + kProfile + ",\"name\":\"\xE5\x90\x8D\"}", kAddAll, FixOutcome::Saved},
        {"keys written with escapes",
         J("{'\\u0070rofile':{'content_settings':{'exceptions':{'loopback\\u005fnetwork':{'https:\\/\\/q.example,*':"
           "{'setting':2}}}}}}"),
         "{" + kHandler + J(",'\\u0070rofile':{'content_settings':{'exceptions':{'local_network':{") + Entry(O) +
             J("},'loopback\\u005fnetwork':{'https:\\/\\/q.example,*':{'setting':1}}}}}}"),
         {kAddAll[0], u"loopback_network: replace https://q.example,*", kAddAll[2]}, FixOutcome::Saved},
        // The browser reads the last of equal keys; the first is no object but is not what it reads.
        {"a key twice", J("{'profile':{'content_settings':[]},'profile':{}}"),
         "{" + kHandler + J(",'profile':{'content_settings':[]},'profile':{'content_settings':{'exceptions':{") +
             kLoopLocal + "}}}}",
         kAddAll, FixOutcome::Saved},
        {"an array on the way", J("{'profile':{'content_settings':{'exceptions':[]}}}"), "",
         {u"Preferences: profile.content_settings.exceptions is not an object, left as it is"}, FixOutcome::Unreadable},
        {"a string on the way", J("{'protocol_handler':'','profile':{}}"), "",
         {u"Preferences: protocol_handler is not an object, left as it is"}, FixOutcome::Unreadable},
        {"not valid JSON: a trailing comma", J("{'profile':{},}"), "", {kNotObject}, FixOutcome::Unreadable},
        {"not an object", "[{}]", "", {kNotObject}, FixOutcome::Unreadable},
        {"UTF-16", std::string("\xFF\xFE{\0}\0", 6), "", {kNotObject}, FixOutcome::Unreadable},
        {"two origins", "{}",
         J("{'protocol_handler':{'allowed_origin_protocol_pairs':{") + Pair(O) + "," + Pair(P) + J("}},'profile':{"
           "'content_settings':{'exceptions':{'loopback_network':{") + Entry(O) + "," + Entry(P) +
             J("},'local_network':{") + Entry(O) + "," + Entry(P) + "}}}}}",
         {kAddAll[0], u"allowed_origin_protocol_pairs: add https://p.example:8443", kAddAll[1],
          u"loopback_network: add https://p.example:8443,*", kAddAll[2], u"local_network: add https://p.example:8443,*"},
         FixOutcome::Saved, {O, P}},
    };
    testfs::TempDir dir;
    const fs::path file = dir / "Preferences";
    const std::u16string path = testfs::U16(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testfs::WriteBytes(file, c.in);
        const auto stamp = fs::last_write_time(file);
        const CheckOutcome check = CheckPreferences(path, {}, c.origins);
        Lines log;
        EXPECT_EQ(FixPreferences(path, [&](const std::u16string& line) { log.push_back(line); }, {}, c.origins), c.outcome);
        EXPECT_EQ(check, c.outcome == FixOutcome::Saved       ? CheckOutcome::NeedsRepair
                         : c.outcome == FixOutcome::Unchanged ? CheckOutcome::UpToDate
                                                              : CheckOutcome::CannotRead);
        Lines expected = {u"文件存在：" + path};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        if (c.outcome != FixOutcome::Unreadable)
            expected.push_back(c.out.empty() ? u"Preferences: no change" : u"Preferences: changed and saved");
        EXPECT_EQ(log, expected);
        EXPECT_EQ(testfs::ReadBytes(file), c.out.empty() ? c.in : c.out);
        EXPECT_TRUE(!c.out.empty() || fs::last_write_time(file) == stamp);
    }
}

// A profile of a few MB as a long-used browser has it: the grants go where its empty settings and its top level
// begin, and every other byte stays.
TEST(FixPreferences, AProfileOfSomeMegabytes) {
    testfs::TempDir dir;
    const fs::path file = dir / "Preferences";
    const std::string before = prefscorpus::Realistic(size_t(3) << 20);
    std::string after = before;
    for (const std::string setting : {"\"loopback_network\":{", "\"local_network\":{"})
        after.insert(after.find(setting) + setting.size(), Entry(O));
    testfs::WriteBytes(file, before);
    EXPECT_EQ(FixPreferences(testfs::U16(file), [](const std::u16string&) {}, {}, {O}), FixOutcome::Saved);
    EXPECT_TRUE(testfs::ReadBytes(file) == "{" + kHandler + "," + after.substr(1));
    EXPECT_EQ(CheckPreferences(testfs::U16(file), {}, {O}), CheckOutcome::UpToDate);
}

}  // namespace
