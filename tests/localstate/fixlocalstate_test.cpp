#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../support/testfs.h"
#include "localstate/localstate.h"
#include "fileio/fileio.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;

// ASCII text in an encoding's bytes.
std::string In(const std::string& ascii, int width, bool bigEndian) {
    std::string out;
    for (char c : ascii) out += width == 1 ? std::string{c} : bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

// Whatever else a file holds, only the rules' spans change, byte for byte (what the rules
// write is the repair table's to check): the odd bytes, past the first 64 KiB the encoding
// check reads, sit inside a group the scheme rule copies and before a list it extends.
TEST(FixLocalState, OnlyTheRulesSpansChangeWhateverTheFileHolds) {
    const std::string oddBytes[] = {
        "\xC0\xAF", "\xF5\xFF", "\xC3\xA9",        // overlong, bytes no UTF-8 has, well-formed
        std::string("\xED\xA0\x80\0", 4),  // a surrogate in UTF-8, then a NUL
        "\xE9\"",                          // a lead byte of code page 936 before a quote
        std::string("\x00\xD8", 2),        // a lone surrogate in UTF-16LE
        "\x81\x7D",                        // a double-byte character whose second byte is a brace
    };
    struct Encoding { std::string mark; int width; bool bigEndian; } encodings[] = {
        {"", 1, false}, {"\xEF\xBB\xBF", 1, false}, {"\xFF\xFE", 2, false}, {"\xFE\xFF", 2, true}};
    testfs::TempDir dir;
    const fs::path file = dir / "Local State";
    for (const Encoding& e : encodings)
        for (const std::string& odd : oddBytes)
            for (const std::string tail : {"", "\x7B"}) {
                // In UTF-8 the second byte of the pair is a brace of its own.
                if ((e.width == 1 && !tail.empty()) || (e.mark.size() == 3 && odd == "\x81\x7D")) continue;
                auto text = [&](const std::string& value, const std::string& list) {
                    return e.mark + In(std::string(1 << 16, ' ') + "{\"protocol_handler\":{\"excluded_schemes\":{\"a\":\"", e.width, e.bigEndian) +
                           odd + In("\",\"vezoverove\":" + value + "}},\"browser\":{\"enabled_labs_experiments\":[" +
                                        list + "\"b@1\"]}}", e.width, e.bigEndian) + tail;
                };
                testfs::WriteBytes(file, text("true", ""));
                EXPECT_EQ(FixLocalState(testfs::U16(file), [](const std::u16string&) {}), FixOutcome::Saved);
                EXPECT_EQ(testfs::ReadBytes(file), text("false", "\"block-insecure-private-network-requests@2\","));
            }
}

std::u16string N(uint32_t n) { return testfs::U16(std::to_string(n)); }

TEST(FixLocalState, FaultsAreReportedAndLeaveTheFileAsItWas) {
    testfs::TempDir dir;
    const fs::path file = dir / "Local State";
    const std::u16string path = testfs::U16(file), found = u"文件存在：" + path;
#ifdef _WIN32
    const uint32_t kDenied = 5;
#else
    const uint32_t kDenied = EACCES;
#endif
    const std::string needsRepair = "{\"browser\":{\"x\":1}}";
    const auto notRead = [&](uint32_t e) { return Lines{found, u"Cannot read file (error " + N(e) + u"): " + path}; };
    // The lines of a run that read the file and ran both rules, then the last one.
    const auto ran = [&](const std::u16string& last) {
        return Lines{found, u"excluded_schemes: false", u"browser: add enabled_labs_experiments", last};
    };
    const auto notSaved = [&](uint32_t e) { return ran(u"Loal Stage: changed, not saved (error " + N(e) + u")"); };
    const auto denied = [&] { fs::permissions(file, fs::perms::all, fs::perm_options::remove); };
    using F = FixOutcome;
    using C = CheckOutcome;
    struct Case { std::string bytes; std::function<void()> arrange; F outcome; C check; Lines log; } cases[] = {
        {"", [&] { fs::remove(file); }, F::NotFound, C::NotFound, {u"未找到文件:" + path}},
        {"", [&] { fs::remove(file), fs::create_directory(file); }, F::NotFound, C::NotFound, {u"未找到文件:" + path}},
        {std::string("\xFF\xFE\0\0{\0\0\0", 8), [] {}, F::Unreadable, C::CannotRead,
         notRead(kErrorNoTranslation)},
        {"", [&] { fs::resize_file(file, uint64_t(1) << 31); }, F::Unreadable, C::CannotRead, notRead(kErrorTooLarge)},
        {"", [] {}, F::Unchanged, C::UpToDate, ran(u"Loal Stage: no change")},
        {"\xFF\xFE", [] {}, F::Unchanged, C::UpToDate, ran(u"Loal Stage: no change")},
        {needsRepair, [] { FailFileWriteForTesting(1); }, F::NotSaved, C::NeedsRepair, notSaved(kErrorWriteFault)},
        {needsRepair, denied, F::NotSaved, C::NeedsRepair, notSaved(kDenied)},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        testfs::WriteBytes(file, c.bytes);
        c.arrange();
        const auto stamp = fs::is_regular_file(file) ? fs::last_write_time(file) : fs::file_time_type();
        EXPECT_EQ(CheckLocalState(path), c.check);
        Lines log;
        EXPECT_EQ(FixLocalState(path, [&](const std::u16string& line) { log.push_back(line); }), c.outcome);
        FailFileWriteForTesting(0);
        EXPECT_EQ(log, c.log);
        if (fs::is_regular_file(file)) {
            EXPECT_EQ(fs::last_write_time(file), stamp);
            EXPECT_TRUE(fs::file_size(file) > 1000 || testfs::ReadBytes(file) == c.bytes);
            fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
        }
        fs::remove(file);
        EXPECT_TRUE(fs::is_empty(dir.path()));  // no temporary file left behind
    }
}

}  // namespace
