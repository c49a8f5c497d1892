#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/prefscorpus.h"
#include "../support/testfs.h"
#include "preferences/preferences.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;

const std::string O = "https://quillpad.example", P = "https://pad.example:8443";
const std::u16string kO = u"https://quillpad.example", kP = u"https://pad.example:8443";
// A grant as the rules write it.
std::string Pair(const std::string& origin) { return "\"" + origin + "\":{\"vezoverove\":true}"; }
std::string Entry(const std::string& origin) { return "\"" + origin + ",*\":{\"setting\":1}"; }
const std::string kHandler = "\"protocol_handler\":{\"allowed_origin_protocol_pairs\":{" + Pair(O) + "}}";
const std::string kExceptions = "\"loopback_network\":{" + Entry(O) + "},\"local_network\":{" + Entry(O) + "}";
const std::string kProfile = "\"profile\":{\"content_settings\":{\"exceptions\":{" + kExceptions + "}}}";
const std::u16string kAddPair = u"allowed_origin_protocol_pairs: add " + kO,
                     kAddLoopback = u"loopback_network: add " + kO + u",*",
                     kAddLocal = u"local_network: add " + kO + u",*";
const Lines kAddAll = {kAddPair, kAddLoopback, kAddLocal};
const std::u16string kNotObject = u"Preferences: not a JSON object, left as it is";

// Each file as the repair leaves it, with its decision lines (the found and outcome lines are the test's);
// an empty result: left as it is. The check says what the repair would do.
TEST(FixPreferences, EachGrantAddedOrReplacedWhereItBelongsAndNothingElseChanged) {
    struct Case { const char* name; std::string in, out; Lines lines; FixOutcome outcome; std::vector<std::string> origins = {O}; };
    const std::string refused = "\"" + O + ",*\":{\"last_modified\":\"13441217871765977\",\"setting\":2}";
    const std::string crlf = "{\r\n   \"profile\": {\r\n      \"content_settings\": {\r\n         \"exceptions\": {\r\n"
                             "            \"loopback_network\": {\r\n               \"" + O + ",*\": {\r\n"
                             "                  \"setting\": 2\r\n               }\r\n            }\r\n         }\r\n      }\r\n   }\r\n}\r\n";
    const Case cases[] = {
        {"nothing there", "{}", "{" + kHandler + "," + kProfile + "}", kAddAll, FixOutcome::Saved},
        {"no protocol_handler, empty settings",
         "{\"browser\":{\"x\":1},\"profile\":{\"content_settings\":{\"exceptions\":{\"local_network\":{},\"loopback_network\":{}}}}}",
         "{" + kHandler + ",\"browser\":{\"x\":1},\"profile\":{\"content_settings\":{\"exceptions\":{\"local_network\":{" +
             Entry(O) + "},\"loopback_network\":{" + Entry(O) + "}}}}}",
         kAddAll, FixOutcome::Saved},
        {"other origins' entries kept",
         "{\"protocol_handler\":{\"allowed_origin_protocol_pairs\":{\"https://x.example\":{\"mailto\":true}}},\"profile\":"
         "{\"content_settings\":{\"exceptions\":{\"local_network\":{\"https://x.example,*\":{\"setting\":2}}}}}}",
         "{\"protocol_handler\":{\"allowed_origin_protocol_pairs\":{" + Pair(O) + ",\"https://x.example\":{\"mailto\":true}}},"
         "\"profile\":{\"content_settings\":{\"exceptions\":{\"loopback_network\":{" + Entry(O) + "},\"local_network\":{" +
             Entry(O) + ",\"https://x.example,*\":{\"setting\":2}}}}}}",
         kAddAll, FixOutcome::Saved},
        {"refused once, scheme turned off",
         "{\"protocol_handler\":{\"allowed_origin_protocol_pairs\":{\"" + O + "\":{\"mailto\":true,\"vezoverove\":false}}},"
         "\"profile\":{\"content_settings\":{\"exceptions\":{\"local_network\":{" + refused + "},\"loopback_network\":{" +
             refused + "}}}}}",
         "{\"protocol_handler\":{\"allowed_origin_protocol_pairs\":{\"" + O + "\":{\"mailto\":true,\"vezoverove\":true}}},"
         "\"profile\":{\"content_settings\":{\"exceptions\":{\"local_network\":{" + refused.substr(0, refused.size() - 2) +
             "1}},\"loopback_network\":{" + refused.substr(0, refused.size() - 2) + "1}}}}}}",
         {u"allowed_origin_protocol_pairs: replace " + kO, u"loopback_network: replace " + kO + u",*",
          u"local_network: replace " + kO + u",*"}, FixOutcome::Saved},
        {"already granted", "{" + kProfile + "," + kHandler + "}", "", {}, FixOutcome::Unchanged},
        {"pretty-printed with CR LF", crlf,
         "{" + kHandler + ",\r\n   \"profile\": {\r\n      \"content_settings\": {\r\n         \"exceptions\": {\"local_network\":{" +
             Entry(O) + "},\r\n            \"loopback_network\": {\r\n               \"" + O + ",*\": {\r\n"
             "                  \"setting\": 1\r\n               }\r\n            }\r\n         }\r\n      }\r\n   }\r\n}\r\n",
         {kAddPair, u"loopback_network: replace " + kO + u",*", kAddLocal}, FixOutcome::Saved},
        {"UTF-8 with a mark", "\xEF\xBB\xBF{\"name\":\"\xE5\x90\x8D\"}",
         "\xEF\xBB\xBF{" + kHandler + "," + kProfile + ",\"name\":\"\xE5\x90\x8D\"}", kAddAll, FixOutcome::Saved},
        {"keys written with escapes",
         "{\"\\u0070rofile\":{\"content_settings\":{\"exceptions\":{\"loopback\\u005fnetwork\":{\"https:\\/\\/quillpad.example,*\":"
         "{\"setting\":2}}}}}}",
         "{" + kHandler + ",\"\\u0070rofile\":{\"content_settings\":{\"exceptions\":{\"local_network\":{" + Entry(O) +
             "},\"loopback\\u005fnetwork\":{\"https:\\/\\/quillpad.example,*\":{\"setting\":1}}}}}}",
         {kAddPair, u"loopback_network: replace " + kO + u",*", kAddLocal}, FixOutcome::Saved},
        // The browser reads the last of equal keys; the first is no object but is not what it reads.
        {"a key twice", "{\"profile\":{\"content_settings\":[]},\"profile\":{}}",
         "{" + kHandler + ",\"profile\":{\"content_settings\":[]},\"profile\":{\"content_settings\":{\"exceptions\":{" +
             kExceptions + "}}}}",
         kAddAll, FixOutcome::Saved},
        {"an array on the way", "{\"profile\":{\"content_settings\":{\"exceptions\":[]}}}", "",
         {u"Preferences: profile.content_settings.exceptions is not an object, left as it is"}, FixOutcome::Unreadable},
        {"a string on the way", "{\"protocol_handler\":\"\",\"profile\":{}}", "",
         {u"Preferences: protocol_handler is not an object, left as it is"}, FixOutcome::Unreadable},
        {"an origin's entry no object", "{\"profile\":{\"content_settings\":{\"exceptions\":{\"local_network\":{\"" + O +
             ",*\":1}}}}}", "", {u"Preferences: profile.content_settings.exceptions.local_network." + kO +
             u",* is not an object, left as it is"}, FixOutcome::Unreadable},
        {"not valid JSON: a trailing comma", "{\"profile\":{},}", "", {kNotObject}, FixOutcome::Unreadable},
        {"not an object", "[{}]", "", {kNotObject}, FixOutcome::Unreadable},
        {"UTF-16", std::string("\xFF\xFE{\0}\0", 6), "", {kNotObject}, FixOutcome::Unreadable},
        {"two origins", "{}",
         "{\"protocol_handler\":{\"allowed_origin_protocol_pairs\":{" + Pair(O) + "," + Pair(P) + "}},\"profile\":{"
         "\"content_settings\":{\"exceptions\":{\"loopback_network\":{" + Entry(O) + "," + Entry(P) + "},\"local_network\":{" +
             Entry(O) + "," + Entry(P) + "}}}}}",
         {kAddPair, u"allowed_origin_protocol_pairs: add " + kP, kAddLoopback, u"loopback_network: add " + kP + u",*",
          kAddLocal, u"local_network: add " + kP + u",*"}, FixOutcome::Saved, {O, P}},
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
        if (c.outcome == FixOutcome::Saved) expected.push_back(u"Preferences: changed and saved");
        if (c.outcome == FixOutcome::Unchanged) expected.push_back(u"Preferences: no change");
        EXPECT_EQ(log, expected);
        EXPECT_EQ(testfs::ReadBytes(file), c.out.empty() ? c.in : c.out);
        EXPECT_TRUE(!c.out.empty() || fs::last_write_time(file) == stamp);
    }
}

// A profile of a few MB as a long-used browser has it: the three grants go where its empty settings and its top
// level begin, and every other byte stays.
TEST(FixPreferences, AProfileOfSomeMegabytes) {
    testfs::TempDir dir;
    const fs::path file = dir / "Preferences";
    const std::string before = prefscorpus::Realistic(size_t(3) << 20);
    std::string after = before;
    for (const char* setting : {"\"loopback_network\":{", "\"local_network\":{"})
        after.insert(after.find(setting) + std::string(setting).size(), Entry(O));
    after.insert(1, kHandler + ",");
    testfs::WriteBytes(file, before);
    Lines log;
    EXPECT_EQ(FixPreferences(testfs::U16(file), [&](const std::u16string& line) { log.push_back(line); }, {}, {O}),
              FixOutcome::Saved);
    EXPECT_EQ(log.back(), u"Preferences: changed and saved");
    EXPECT_TRUE(testfs::ReadBytes(file) == after);
    EXPECT_EQ(CheckPreferences(testfs::U16(file), {}, {O}), CheckOutcome::UpToDate);
}

}  // namespace
