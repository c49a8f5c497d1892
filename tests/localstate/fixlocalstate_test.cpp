// The repair of real files: found or not, read in their encoding, written
// back in it only when the text changed.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

#include "../support/testfs.h"
#include "localstate/localstate.h"
#include "localstate_docs.h"
#include "log/log.h"
#include "textfile/codepage.h"
#include "textfile/encoding.h"

namespace {

using Lines = std::vector<std::u16string>;
namespace fs = testfs::fs;

std::string Encode(const std::u16string& text, TextEncoding enc) {
    std::string out;
    switch (enc) {
    case encAnsi: return TextToBytes(text, kCodePageAnsi);
    case encUtf8Bom: return "\xEF\xBB\xBF" + TextToBytes(text, kCodePageUtf8);
    case encUtf8: return TextToBytes(text, kCodePageUtf8);
    case encUtf16LE:
    case encUtf16BE:
        out = enc == encUtf16LE ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : text) {
            char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            out += enc == encUtf16LE ? std::string{lo, hi} : std::string{hi, lo};
        }
        return out;
    default: return out;
    }
}

Lines Fix(const fs::path& file) {
    Lines log;
    FixLocalState(testfs::U16(file), [&log](const std::u16string& line) { log.push_back(line); });
    return log;
}

const std::u16string kNeedsBoth =
    u"{\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":true}},\"browser\":{\"x\":\"\u00e9\u4e2d\"}}";
const std::u16string kRepaired =
    u"{\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}},"
    u"\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"],\"x\":\"\u00e9\u4e2d\"}}";

TEST(FixLocalState, MissingFileOrFolderIsOnlyLogged) {
    testfs::TempDir dir;
    const fs::path missing = dir / "Local State";
    EXPECT_EQ(Fix(missing), (Lines{u"未找到文件:" + testfs::U16(missing)}));
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(Fix(dir.path()), (Lines{u"未找到文件:" + testfs::U16(dir.path())}));
}

TEST(FixLocalState, EveryEncodingIsKeptWithItsMark) {
    for (TextEncoding enc : {encUtf8Bom, encUtf8, encUtf16LE, encUtf16BE}) {
        testfs::TempDir dir;
        const fs::path file = dir / "Local State";
        testfs::WriteBytes(file, Encode(kNeedsBoth, enc));
        const Lines log = Fix(file);
        EXPECT_EQ(log, (Lines{u"文件存在：" + testfs::U16(file), u"excluded_schemes: true",
                              u"browser: add enabled_labs_experiments", u"Loal Stage: changed and saved"}))
            << "encoding " << enc;
        EXPECT_EQ(testfs::ReadBytes(file), Encode(kRepaired, enc)) << "encoding " << enc;
    }
}

TEST(FixLocalState, AsciiFileIsWrittenBackAsTheSameBytes) {
    testfs::TempDir dir;
    const fs::path file = dir / "Local State";
    testfs::WriteBytes(file, "{\"browser\":{\"enabled_labs_experiments\":[]}}");
    Fix(file);
    EXPECT_EQ(testfs::ReadBytes(file),
              "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"]}}");
}

TEST(FixLocalState, UnchangedFilesAreNotTouched) {
    testfs::TempDir dir;
    const std::string done =
        "\xEF\xBB\xBF{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"]}}";
    struct Case {
        std::string bytes;
        Lines tail;
    };
    const Lines nothing{u"excluded_schemes: false", u"browser: add enabled_labs_experiments", u"Loal Stage: no change"};
    const std::vector<Case> cases = {
        {done, {u"excluded_schemes: false", u"browser: replace block-insecure-private-network-requests@2",
                u"Loal Stage: no change"}},
        {"", nothing},
        {"{\"profile\":{}}", nothing},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / "Local State";
        testfs::WriteBytes(file, c.bytes);
        const auto old = fs::last_write_time(file) - std::chrono::hours(48);
        fs::last_write_time(file, old);
        Lines log = Fix(file);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), u"文件存在：" + testfs::U16(file));
        EXPECT_EQ(Lines(log.begin() + 1, log.end()), c.tail);
        EXPECT_EQ(testfs::ReadBytes(file), c.bytes);
        EXPECT_EQ(fs::last_write_time(file), old);
    }
}

TEST(FixLocalState, GeneratedDocumentsStayValidJsonInEveryEncoding) {
    localstate_docs::Generator gen(77);
    localstate_docs::Generator asciiGen(78, true);
    testfs::TempDir dir;
    const fs::path file = dir / "Local State";
    for (int i = 0; i < 60; ++i) {
        for (TextEncoding enc : {encAnsi, encUtf8Bom, encUtf8, encUtf16LE, encUtf16BE}) {
            // ANSI files hold ASCII only; a mark-less file with other
            // characters would be UTF-8.
            localstate_docs::Doc d = enc == encAnsi ? asciiGen.Next() : gen.Next();
            std::u16string text = localstate_docs::ToText(d.json);
            if (enc == encUtf8) text = u"{\"n\":\"\u00e9\",\"d\":" + text + u"}";  // surely not ASCII only
            testfs::WriteBytes(file, Encode(text, enc));
            Fix(file);
            Lines ignored;
            const std::u16string expected = RepairLocalStateText(text, &ignored);
            const std::string bytes = testfs::ReadBytes(file);
            ASSERT_EQ(bytes, Encode(expected, enc)) << "encoding " << enc << "\n" << d.json;
            EXPECT_TRUE(nlohmann::json::accept(localstate_docs::ToUtf8(expected)));
        }
    }
}

TEST(FixLocalState, DecisionsGoToTheDiagnosticLog) {
    testfs::TempDir dir;
    const fs::path file = dir / "Local State";
    testfs::WriteBytes(file, "{\"browser\":{}}");
    const std::u16string logPath = LogFilePath(ApplicationFolder(), LocalNow());
    const fs::path logFile(logPath);
    const bool existed = fs::exists(logFile);
    const std::string before = existed ? testfs::ReadBytes(logFile) : std::string();
    LogEnabled = true;
    FixLocalState(testfs::U16(file));
    LogEnabled = false;
    const std::u16string written = BytesToText(testfs::ReadBytes(logFile).substr(before.size()), kCodePageAnsi);
    if (!existed) fs::remove(logFile);
    size_t at = 0;
    for (const std::u16string& line :
         {u"文件存在：" + testfs::U16(file), std::u16string(u"excluded_schemes: false"),
          std::u16string(u"browser: add enabled_labs_experiments"), std::u16string(u"Loal Stage: changed and saved")}) {
        // The log holds what the ANSI code page makes of the text.
        const std::u16string logged = BytesToText(TextToBytes(line, kCodePageAnsi), kCodePageAnsi);
        const size_t found = written.find(u"  " + logged, at);
        ASSERT_NE(found, std::u16string::npos) << localstate_docs::ToUtf8(line);
        at = found + logged.size();
    }
}

}  // namespace
