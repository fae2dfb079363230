// cedevice_tools_test.cpp - the device tool's commands for package authors,
// run as a user runs them: products after an installation of the sample
// card, snapshot and diff of each kind of change, lint of a clean card and
// of a card with one fault of each kind.
#include "e2e_fixture.h"

#include <windows.h>

#include "device/device.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using e2etest::E2ETest;

namespace {

std::string Tool()
{
    return std::string(CESETUP_BIN_DIR) + "/cedevice";
}

e2e::ProcessResult Cedevice(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {Tool()};
    argv.insert(argv.end(), args.begin(), args.end());
    return e2e::RunProgram(argv);
}

std::vector<nlohmann::json> JsonLines(const std::string &text)
{
    std::vector<nlohmann::json> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(nlohmann::json::parse(line));
    return out;
}

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

    // Runs body with the device open in this process.
    void OnDevice(const std::function<void()> &body)
    {
        std::string error;
        ASSERT_TRUE(plat::DeviceOpen(device, {}, error)) << error;
        body();
        plat::DeviceClose();
    }
};

TEST_F(ToolsTest, ProductsListsTheSampleProductsFromTheirRecords)
{
    SampleCard();
    std::vector<std::string> answers = e2etest::InstallAnswers();
    answers.push_back("page 112: select 1014 Russian; click Install");
    ASSERT_EQ(Run(answers).exitCode, 0);

    e2e::ProcessResult r = Cedevice({"products", device, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<nlohmann::json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    struct Want {
        const char *product, *folder, *language;
    } want[] = {
        {"Glyphor CE PDA 1.0", "\\Program Files\\Glyphor", "Russian"},
        {"Pocket Dravex 3.1 Standard", "\\Program Files\\Dravex", "UNKNOWN"},
        {"Pocket MISKA 2.0 Standard", "\\Program Files\\Miska", "UNKNOWN"},
    };
    for (size_t i = 0; i < 3; ++i) {
        const nlohmann::json &j = lines[i];
        EXPECT_EQ(j.value("product", ""), want[i].product);
        EXPECT_EQ(j.value("folder", ""), want[i].folder);
        EXPECT_EQ(j.value("language", ""), want[i].language);
        std::string log = std::string(want[i].folder) + "\\" + want[i].product + ".unload";
        EXPECT_EQ(j.value("unload_log", ""), log);
        // The files are the copy lines of the log.
        std::string rel = log.substr(1);
        std::replace(rel.begin(), rel.end(), '\\', '/');
        std::istringstream text(ReadStore(rel));
        int copies = 0;
        for (std::string line; std::getline(text, line);)
            copies += line.rfind("copy ", 0) == 0 || line.rfind("copyShared ", 0) == 0;
        EXPECT_GT(copies, 0) << log;
        EXPECT_EQ(j.value("files", -1), copies) << log;
    }
    e2e::ProcessResult text = Cedevice({"products", device});
    EXPECT_NE(text.out.find("Pocket Dravex 3.1 Standard: \\Program Files\\Dravex"), std::string::npos) << text.out;

    // A device with nothing installed lists nothing; no device is an error.
    std::string empty = root.path + "/empty";
    ASSERT_EQ(Cedevice({"init", empty}).exitCode, 0);
    e2e::ProcessResult none = Cedevice({"products", empty});
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

// The scratch folders of check left in a folder.
int ScratchFolders(const std::string &dir)
{
    int n = 0;
    for (const auto &e : fs::directory_iterator(dir))
        n += e.path().filename().string().rfind("cedevice-check-", 0) == 0;
    return n;
}

TEST_F(ToolsTest, CheckOfTheSampleCardNamesEveryLeftover)
{
    SampleCard();
    // The scratch devices go to TMPDIR, and are removed afterwards.
    std::string tmp = root.path + "/tmp";
    fs::create_directories(tmp);
    setenv("TMPDIR", tmp.c_str(), 1);
    e2e::ProcessResult r = Cedevice({"check", card, "-j", "2", "--json"});
    unsetenv("TMPDIR");
    EXPECT_EQ(r.exitCode, 3) << "the sample leaves a folder behind: " << r.out << r.err;
    EXPECT_EQ(ScratchFolders(tmp), 0) << "the scratch devices are removed";
    std::vector<nlohmann::json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    std::set<std::string> reported;
    const char *names[] = {"Pocket Dravex 3.1 Standard", "Pocket MISKA 2.0 Standard", "Glyphor CE PDA 1.0"};
    for (size_t i = 0; i < 3; ++i) {
        const nlohmann::json &j = lines[i];
        EXPECT_EQ(j.value("product", ""), names[i]);
        EXPECT_TRUE(j.value("installed", false) && j.value("removed", false)) << j.dump();
        EXPECT_GT(j.value("estimate_bytes", 0), 0) << j.dump();
        EXPECT_GE(j.value("written_bytes", 0), j.value("estimate_bytes", 0)) << "the setup program's own copy adds to it";
        for (const char *list : {"leftovers", "kept"})
            for (const nlohmann::json &d : j[list])
                reported.insert(d.dump());
    }
    // The same products installed and removed in one run on one device
    // leave exactly what check reports.
    ASSERT_EQ(Cedevice({"init", device}).exitCode, 0);
    std::string fresh = root.path + "/fresh.json";
    ASSERT_EQ(Cedevice({"snapshot", device, fresh}).exitCode, 0);
    std::vector<std::string> answers = e2etest::InstallAnswers();
    answers.push_back("page 112: select 1014 #0; click Install");
    ASSERT_EQ(Run(answers).exitCode, 0);
    ASSERT_EQ(Run({"page 108: click Remove", "message 217: answer OK"}).exitCode, 0);
    e2e::ProcessResult d = Cedevice({"diff", fresh, device, "--json"});
    std::set<std::string> left;
    for (const nlohmann::json &j : JsonLines(d.out))
        left.insert(j.dump());
    EXPECT_EQ(reported, left);
    EXPECT_EQ(left.count(R"({"change":"added","kind":"folder","path":"\\Windows\\Start Menu\\Programs\\Glyphor"})"), 1u)
        << d.out;
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

// The diff lines that a run's change events predict, given the state
// before the run: each object's net change (a file made and deleted again
// is none), as the device compares names; the card is not in a snapshot.
std::set<std::string> PredictedDiff(const nlohmann::json &before, const std::vector<nlohmann::json> &events)
{
    auto fold = [](std::string s) {
        for (char &c : s)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    struct Obj {
        std::string kind, name, key, value;
        bool before = false, now = false, modified = false;
    };
    std::map<std::string, Obj> objs;
    auto obj = [&](const std::string &kind, const std::string &name, const std::string &key = "",
                   const std::string &value = "") -> Obj & {
        std::string id = kind + "|" + fold(kind == "value" ? key + "|" + value : name);
        auto it = objs.find(id);
        if (it == objs.end())
            it = objs.emplace(id, Obj{kind, name, key, value}).first;
        return it->second;
    };
    for (const nlohmann::json &f : before["files"]) {
        Obj &o = obj(f.value("folder", false) ? "folder" : "file", f.value("path", ""));
        o.before = o.now = true;
    }
    for (const nlohmann::json &k : before["registry"]) {
        Obj &o = obj("key", k.value("key", ""), k.value("key", ""));
        o.before = o.now = true;
        for (const nlohmann::json &v : k["values"]) {
            Obj &w = obj("value", "", k.value("key", ""), v.value("name", ""));
            w.before = w.now = true;
        }
    }
    for (const nlohmann::json &e : events) {
        if (e.value("event", "") != "change")
            continue;
        std::string op = e.value("op", ""), path = e.value("path", ""), key = e.value("key", "");
        if (path.rfind("\\Storage Card", 0) == 0)
            continue;
        if (op == "create" || op == "replace") {
            Obj &o = obj("file", path);
            o.now = o.modified = true;
        } else if (op == "delete" || op == "rmdir") {
            obj(op == "delete" ? "file" : "folder", path).now = false;
        } else if (op == "mkdir") {
            obj("folder", path).now = true;
        } else if (op == "key-create") {
            obj("key", key, key).now = true;
        } else if (op == "key-delete") {
            for (auto &kv : objs)
                if ((kv.second.kind == "key" || kv.second.kind == "value") &&
                    (fold(kv.second.key) == fold(key) || fold(kv.second.key).rfind(fold(key) + "\\", 0) == 0))
                    kv.second.now = false;
        } else if (op == "value-set") {
            Obj &o = obj("value", "", key, e.value("value", ""));
            o.now = o.modified = true;
        } else if (op == "value-delete") {
            obj("value", "", key, e.value("value", "")).now = false;
        }
    }
    std::set<std::string> out;
    for (const auto &kv : objs) {
        const Obj &o = kv.second;
        std::string change = o.before && !o.now   ? "removed"
                             : !o.before && o.now ? "added"
                             : o.before && o.now && o.modified && o.kind != "folder" && o.kind != "key" ? "changed"
                                                                                                      : "";
        if (change.empty())
            continue;
        if (o.kind == "value") {
            // Values count only in keys that were there before and are still.
            const Obj &k = obj("key", o.key, o.key);
            if (!k.before || !k.now)
                continue;
        }
        nlohmann::json j;
        j["kind"] = o.kind;
        j["change"] = change;
        if (o.kind == "file" || o.kind == "folder")
            j["path"] = o.name;
        else
            j["key"] = o.key;
        if (o.kind == "value")
            j["value"] = o.value;
        out.insert(j.dump());
    }
    return out;
}

TEST_F(ToolsTest, ChangeEventsOfARunMatchTheSnapshotDiff)
{
    SampleCard();
    ASSERT_EQ(Cedevice({"init", device}).exitCode, 0);
    struct RunCase {
        const char *name;
        std::vector<std::string> answers;
    } runs[] = {
        {"install", {"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
                     "page 104: click Continue", "page 112: select 1014 Russian; click Install",
                     "message 216: answer OK"}},
        {"reinstall and remove", {"page 108: click Reinstall", "page 108#2: click Remove", "page 108#3: click Skip",
                                  "message *: answer OK"}},
    };
    for (const RunCase &rc : runs) {
        SCOPED_TRACE(rc.name);
        std::string snap = root.path + "/before.json";
        ASSERT_EQ(Cedevice({"snapshot", device, snap}).exitCode, 0);
        e2e::SetupRun r = Run(rc.answers);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        int changes = 0;
        for (const nlohmann::json &e : r.events) {
            if (e.value("event", "") != "change")
                continue;
            ++changes;
            std::string op = e.value("op", "");
            bool file = op == "create" || op == "replace";
            EXPECT_EQ(e.contains("bytes"), file) << e.dump();
            EXPECT_EQ(e.contains("path"), op == "create" || op == "replace" || op == "delete" || op == "mkdir" ||
                                              op == "rmdir")
                << e.dump();
            EXPECT_EQ(e.contains("value"), op == "value-set" || op == "value-delete") << e.dump();
        }
        EXPECT_GT(changes, 10);
        e2e::ProcessResult d = Cedevice({"diff", snap, device, "--json"});
        std::set<std::string> diff;
        for (const nlohmann::json &j : JsonLines(d.out))
            diff.insert(j.dump());
        nlohmann::json before = nlohmann::json::parse(cetest::ReadHostFile(snap));
        EXPECT_FALSE(diff.empty());
        std::set<std::string> predicted = PredictedDiff(before, r.events);
        if (std::string(rc.name) == "install") {
            EXPECT_EQ(predicted, diff) << "a first installation: the events and the diff name the same";
            // The size reported for a file is the size it has.
            std::map<std::string, uint64_t> last;
            for (const nlohmann::json &e : r.events)
                if (e.value("op", "") == "create" || e.value("op", "") == "replace")
                    last[e.value("path", "")] = e.value("bytes", uint64_t(0));
            ASSERT_TRUE(last.count("\\Program Files\\Dravex\\Dravex.exe"));
            for (const auto &kv : last) {
                std::string rel = kv.first.substr(1);
                std::replace(rel.begin(), rel.end(), '\\', '/');
                if (StoreHas(rel)) {
                    EXPECT_EQ(ReadStore(rel).size(), kv.second) << kv.first;
                }
            }
            continue;
        }
        // A reinstallation rewrites files and values with what they held:
        // each is a change made, though the diff sees no difference.
        std::set<std::string> missing, extra;
        for (const std::string &d : diff)
            if (!predicted.count(d))
                missing.insert(d);
        for (const std::string &p : predicted)
            if (!diff.count(p) && nlohmann::json::parse(p).value("change", "") != "changed")
                extra.insert(p);
        EXPECT_TRUE(missing.empty()) << "differences without change events: " << *missing.begin();
        EXPECT_TRUE(extra.empty()) << "added or removed by events but not in the diff: " << *extra.begin();
    }
}

} // namespace
