// cedevice_tools_test.cpp - the device tool's commands for package authors,
// run as a user runs them: products of an empty device, snapshot and diff
// of each kind of change, lint of a clean card and of a card with one fault
// of each kind, check of small packages. (Products after an installation
// and check of the sample card are in sample_card_test.cpp.)
#include "e2e_fixture.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

namespace fs = std::filesystem;
using e2etest::Cedevice;
using e2etest::E2ETest;
using e2etest::JsonLines;

namespace {

void WriteDeviceFile(const char16_t *path, const std::string &data)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr));
    CloseHandle(h);
}

void PutDword(const char16_t *key, const char16_t *name, DWORD v)
{
    HKEY k = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, 0, nullptr, &k, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4), ERROR_SUCCESS);
    RegCloseKey(k);
}

class ToolsTest : public E2ETest {
protected:
    void SampleCard() { fs::copy(std::string(CESETUP_SOURCE_DIR) + "/samples/card", card, fs::copy_options::recursive); }
};

TEST_F(ToolsTest, ProductsOfAnEmptyDeviceAreNoneAndNoDeviceIsAnError)
{
    ASSERT_EQ(Cedevice({"init", device}).exitCode, 0);
    e2e::ProcessResult none = Cedevice({"products", device});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
    e2e::ProcessResult missing = Cedevice({"products", root.path + "/nothing"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("no device here (make one with: cedevice init"), std::string::npos) << missing.err;
}

TEST_F(ToolsTest, DiffNamesEachKindOfChangeOncePerLine)
{
    struct Case {
        const char *name;
        std::function<void()> change;
        std::string line; // the one JSON line expected
    } cases[] = {
        {"file added", [] { WriteDeviceFile(u"\\My Documents\\a.txt", "a"); },
         R"({"kind":"file","change":"added","path":"\\My Documents\\a.txt"})"},
        {"file changed", [] { WriteDeviceFile(u"\\Windows\\keep.txt", "new"); },
         R"({"kind":"file","change":"changed","path":"\\Windows\\keep.txt"})"},
        {"file removed", [] { DeleteFileW(u"\\Windows\\keep.txt"); },
         R"({"kind":"file","change":"removed","path":"\\Windows\\keep.txt"})"},
        {"folder added", [] { CreateDirectoryW(u"\\Temp\\New", nullptr); },
         R"({"kind":"folder","change":"added","path":"\\Temp\\New"})"},
        {"folder removed", [] { RemoveDirectoryW(u"\\Temp"); },
         R"({"kind":"folder","change":"removed","path":"\\Temp"})"},
        {"key added",
         [] {
             HKEY k;
             RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\New", 0, nullptr, 0, 0, nullptr, &k, nullptr);
             RegCloseKey(k);
         },
         R"({"kind":"key","change":"added","key":"HKEY_LOCAL_MACHINE\\Software\\New"})"},
        {"key removed", [] { RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Keep"); },
         R"({"kind":"key","change":"removed","key":"HKEY_LOCAL_MACHINE\\Software\\Keep"})"},
        {"value added", [] { PutDword(u"Software\\Keep", u"Other", 1); },
         R"({"kind":"value","change":"added","key":"HKEY_LOCAL_MACHINE\\Software\\Keep","value":"Other"})"},
        {"value changed", [] { PutDword(u"Software\\Keep", u"Size", 2); },
         R"({"kind":"value","change":"changed","key":"HKEY_LOCAL_MACHINE\\Software\\Keep","value":"Size"})"},
        {"value removed",
         [] {
             HKEY k;
             RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Keep", 0, 0, &k);
             RegDeleteValueW(k, u"Size");
             RegCloseKey(k);
         },
         R"({"kind":"value","change":"removed","key":"HKEY_LOCAL_MACHINE\\Software\\Keep","value":"Size"})"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(device);
        OnDevice([] {
            WriteDeviceFile(u"\\Windows\\keep.txt", "old");
            PutDword(u"Software\\Keep", u"Size", 1);
        });
        std::string before = root.path + "/before.json";
        ASSERT_EQ(Cedevice({"snapshot", device, before}).exitCode, 0);
        OnDevice(c.change);
        e2e::ProcessResult d = Cedevice({"diff", before, device, "--json"});
        EXPECT_EQ(d.exitCode, 3) << d.err;
        EXPECT_EQ(d.out, c.line + "\n");
        // The other way round the change is undone.
        e2e::ProcessResult back = Cedevice({"diff", device, before});
        EXPECT_EQ(back.exitCode, 3);
        EXPECT_EQ(std::count(back.out.begin(), back.out.end(), '\n'), 1) << back.out;
        e2e::ProcessResult same = Cedevice({"diff", device, device});
        EXPECT_EQ(same.exitCode, 0) << same.out;
        EXPECT_EQ(same.out, "");
    }
    // Neither a device nor a snapshot: exit 2 naming it.
    cetest::WriteHostFile(root.path + "/x.json", "{\"files\":3}");
    e2e::ProcessResult bad = Cedevice({"diff", root.path + "/x.json", device});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("x.json: not a snapshot"), std::string::npos) << bad.err;
    EXPECT_EQ(Cedevice({"diff", device}).exitCode, 1) << "one side only is a usage error";
}

// A card with one fault of each kind that lint knows, each at its line.
TEST_F(ToolsTest, LintReportsEachFaultAtItsLine)
{
    SampleCard();
    e2e::ProcessResult clean = Cedevice({"lint", card});
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    EXPECT_EQ(clean.out, "") << "the sample card is clean";

    fs::remove_all(card);
    fs::create_directories(card);
    CardFile("a.txt", "a");
    CardFile("evil.txt", "e");
    std::vector<std::string> lines = {
        "// Bad",                                              // 1
        "// HKEY_NOWHERE Software\\Bad",                       // 2 bad-root
        "// Bad",                                              // 3
        "// Setup.bmp",                                        // 4 header-malformed
        "// SelectAppLocation=Yes",                            // 5
        "// Done",                                             // 6
        "regKeyCreate HKEY_LOCAL_MACHINE Software\\Bad",       // 7
        "regkeycreat HKEY_LOCAL_MACHINE Software\\Bad",        // 8 unknown-keyword
        "copy . .",                                            // 9 token-count
        "copy . . Missing.txt",                                // 10 source-missing
        "copy . ..\\..\\Windows evil.txt",                     // 11 bad-path
        "regString HKEY_USERS Software\\Bad x Name text",      // 12 bad-root
        "copy . . a.txt",                                      // 13
        "copy . . A.TXT",                                      // 14 duplicate-destination
        "createShortcut \\Windows x.lnk . NotThere.exe",       // 15 shortcut-target (warning)
        "regString HKEY_LOCAL_MACHINE Software\\Bad x N %p",   // 16 placeholder-case (warning)
        "regString HKEY_LOCAL_MACHINE Software\\Bad x N " + std::string(300, 'x'), // 17 token-too-long
        "// " + std::string(600, 'z'),                         // 18 line-too-long, and its rest is no keyword
        "copy a b c d e f g h i j k",                          // 19 token-count (more than 10)
        "regString HKEY_LOCAL_MACHINE Software\\Bad x N %P" + std::string(250, 'q'), // 20 placeholder-unfilled
        "regInt HKEY_LOCAL_MACHINE Software\\Bad x N 1 extra", // 21 token-count (warning), and no exit
    };
    std::string text;
    for (const std::string &l : lines)
        text += l + "\r\n";
    CardFile("DravexBad.load", text);
    CardFile("GlyphorWce/GlyphorProUniLang.load",
             e2e::Script(e2e::Header{"G", "Software\\G", "G"},
                         {"regString HKEY_LOCAL_MACHINE Software\\G x LCID @9", // 7 placeholder-unfilled
                          "exit", "copy . . a.txt"}));                         // 9 after-exit (warning)
    CardFile("MiskaWce/Miska.load", "// Miska\r\n// HKEY_LOCAL_MACHINE Software\\Miska\r\n");

    struct Want {
        std::string file;
        int line;
        const char *severity, *code;
    } want[] = {
        {"DravexBad.load", 2, "error", "bad-root"},
        {"DravexBad.load", 4, "error", "header-malformed"},
        {"DravexBad.load", 8, "error", "unknown-keyword"},
        {"DravexBad.load", 9, "error", "token-count"},
        {"DravexBad.load", 10, "error", "source-missing"},
        {"DravexBad.load", 11, "error", "bad-path"},
        {"DravexBad.load", 12, "error", "bad-root"},
        {"DravexBad.load", 14, "error", "duplicate-destination"},
        {"DravexBad.load", 15, "warning", "shortcut-target"},
        {"DravexBad.load", 16, "warning", "placeholder-case"},
        {"DravexBad.load", 17, "error", "token-too-long"},
        {"DravexBad.load", 18, "error", "line-too-long"},
        {"DravexBad.load", 18, "error", "unknown-keyword"}, // the rest of the split line
        {"DravexBad.load", 19, "error", "token-count"},
        {"DravexBad.load", 20, "error", "placeholder-unfilled"},
        {"DravexBad.load", 21, "warning", "token-count"},
        {"DravexBad.load", 21, "error", "missing-exit"},
        {"GlyphorWce/GlyphorProUniLang.load", 7, "error", "placeholder-unfilled"},
        {"GlyphorWce/GlyphorProUniLang.load", 9, "warning", "after-exit"},
        {"MiskaWce/Miska.load", 2, "error", "header-missing"},
        {"MiskaWce/Miska.load", 2, "error", "header-missing"},
        {"MiskaWce/Miska.load", 2, "error", "header-missing"},
        {"MiskaWce/Miska.load", 2, "error", "header-missing"},
        {"MiskaWce/Miska.load", 2, "error", "missing-exit"},
    };
    e2e::ProcessResult r = Cedevice({"lint", card, "--json"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    std::multiset<std::string> got, expected;
    for (const nlohmann::json &j : JsonLines(r.out)) {
        EXPECT_FALSE(j.value("text", "").empty()) << j.dump();
        got.insert(j.value("file", "") + ":" + std::to_string(j.value("line", -1)) + ": " + j.value("severity", "") +
                   " " + j.value("code", ""));
    }
    for (const Want &w : want)
        expected.insert(card + "/" + w.file + ":" + std::to_string(w.line) + ": " + w.severity + " " + w.code);
    EXPECT_EQ(got, expected) << r.out;

    // The text form: FILE:LINE: severity: text.
    e2e::ProcessResult t = Cedevice({"lint", card});
    EXPECT_NE(t.out.find(card + "/DravexBad.load:10: error: the package file Missing.txt is not on the card"),
              std::string::npos)
        << t.out;
    EXPECT_EQ(Cedevice({"lint", root.path + "/nowhere"}).exitCode, 2);
}

TEST_F(ToolsTest, CheckFindsNothingOnACleanPackageAndTheKeyLeftByAnother)
{
    struct Case {
        const char *name;
        std::vector<std::string> extra; // script lines before exit
        int code;
        std::vector<std::string> leftovers;
    } cases[] = {
        {"clean", {}, 0, {}},
        // A value in a key that the script never created stays after removal.
        {"key left", {"regString HKEY_LOCAL_MACHINE Software\\Other x Name v"}, 3,
         {R"({"kind":"key","change":"added","key":"HKEY_LOCAL_MACHINE\\Software\\Other"})"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(card);
        fs::create_directories(card);
        std::vector<std::string> body = {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Dravex",
                                         "copyShared . . Dravex.exe", "copy . . Readme.txt"};
        body.insert(body.end(), c.extra.begin(), c.extra.end());
        body.push_back("exit");
        CardFile("DravexStd.load", e2e::Script(e2e::Header{"Pocket Dravex 3.1 Standard", "Software\\Dravex", "Dravex"}, body));
        CardFile("Dravex.exe.ARM", e2e::ProgramBytes("Dravex.exe", 3000));
        CardFile("Readme.txt", "readme\r\n");
        e2e::ProcessResult r = Cedevice({"check", card, "--json"});
        EXPECT_EQ(r.exitCode, c.code) << r.out << r.err;
        std::vector<nlohmann::json> lines = JsonLines(r.out);
        ASSERT_EQ(lines.size(), 1u) << r.out;
        std::vector<std::string> left, want;
        for (const nlohmann::json &d : lines[0]["leftovers"])
            left.push_back(d.dump());
        for (const std::string &w : c.leftovers)
            want.push_back(nlohmann::json::parse(w).dump());
        EXPECT_EQ(left, want) << r.out;
        EXPECT_EQ(lines[0]["kept"].size(), 4u) << "the installer and shared-count keys stay, empty";
        // The text form names each leftover on a line of its own.
        if (!c.leftovers.empty()) {
            e2e::ProcessResult t = Cedevice({"check", card});
            EXPECT_NE(t.out.find("\n  leftover: added key HKEY_LOCAL_MACHINE\\Software\\Other\n"), std::string::npos)
                << t.out;
        }
    }
    EXPECT_EQ(Cedevice({"check", root.path + "/nowhere"}).exitCode, 2);
    EXPECT_EQ(Cedevice({"check", card, "-j", "0"}).exitCode, 1);
}

} // namespace
