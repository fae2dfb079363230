// sample_card_test.cpp - the bundled sample card end to end: a first
// installation of all three products with the bundled answers (Russian as
// the keyboard language), the products the device tool lists, a
// maintenance run that reinstalls two (one taking its recorded language)
// and removes one, then the removal of the rest, which leaves the device
// as it was apart from the keys that are never deleted, as the device
// tool's check says. The change events of each run name what the snapshot
// diff names.
#include "e2e_fixture.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using e2etest::Cedevice;
using e2etest::E2ETest;
using e2etest::JsonLines;

namespace {

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


class SampleCardTest : public E2ETest {
protected:
    void SetUp() override
    {
        E2ETest::SetUp();
        fs::copy(std::string(CESETUP_SOURCE_DIR) + "/samples/card", card, fs::copy_options::recursive);
    }

    // The change events of a run against the diff from the snapshot taken
    // before it: each event carries its fields, and after a first
    // installation both name the same; a reinstallation rewrites files and
    // values with what they held, each a change made though the diff sees
    // no difference.
    void ExpectChangesLikeTheDiff(const std::string &snap, const e2e::SetupRun &r, bool first)
    {
        int changes = 0;
        for (const nlohmann::json &e : r.events) {
            if (e.value("event", "") != "change")
                continue;
            ++changes;
            std::string op = e.value("op", "");
            bool file = op == "create" || op == "replace";
            EXPECT_EQ(e.contains("bytes"), file) << e.dump();
            EXPECT_EQ(e.contains("path"), file || op == "delete" || op == "mkdir" || op == "rmdir") << e.dump();
            EXPECT_EQ(e.contains("value"), op == "value-set" || op == "value-delete") << e.dump();
        }
        EXPECT_GT(changes, 10);
        std::set<std::string> diff;
        for (const nlohmann::json &j : JsonLines(Cedevice({"diff", snap, device, "--json"}).out))
            diff.insert(j.dump());
        EXPECT_FALSE(diff.empty());
        std::set<std::string> predicted = PredictedDiff(nlohmann::json::parse(cetest::ReadHostFile(snap)), r.events);
        if (first) {
            EXPECT_EQ(predicted, diff) << "a first installation: the events and the diff name the same";
            return;
        }
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
};

TEST_F(SampleCardTest, InstallAllThenMaintainThenRemoveEach)
{
    // A fresh device, as it was before anything was installed.
    e2e::ProcessResult init = Cedevice({"init", device});
    ASSERT_EQ(init.exitCode, 0) << init.err;
    const std::string fresh = root.path + "/fresh.json", snap = root.path + "/before.json";
    ASSERT_EQ(Cedevice({"snapshot", device, fresh}).exitCode, 0);
    fs::copy_file(fresh, snap);
    std::map<std::string, std::string> storeBefore = e2e::Listing(device + "/store");
    std::vector<std::string> regBefore = RegLines(e2e::RegExport(device));
    std::map<std::string, std::string> cardBefore = e2e::Listing(card);

    e2e::SetupRun install = Run({}, {"--answers", std::string(CESETUP_SOURCE_DIR) + "/samples/answers.txt"});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    EXPECT_EQ(install.events.back().dump(), "{\"code\":0,\"event\":\"exit\"}");
    ExpectChangesLikeTheDiff(snap, install, true);
    // The size reported for a file is the size it has.
    std::map<std::string, uint64_t> last;
    for (const nlohmann::json &e : install.events)
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

    const std::vector<int> pages = {105, 107, 106, 109, 104, 103,  // Dravex may choose its location
                                    105, 107, 109, 104, 103,       // Miska may not
                                    105, 107, 109, 104, 112, 103}; // Glyphor asks for the language
    EXPECT_EQ(install.PageIds(), pages) << "pages of the three first installations";
    EXPECT_EQ(install.MessageIds(), (std::vector<int>{216, 216, 216}));
    const nlohmann::json *done = install.Message(216);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->value("text", ""), "\"Pocket Dravex 3.1 Standard\" has been successfully installed.\n"
                                       "Tap Pocket Dravex 3.1 in the Programs menu to start drawing.");
    EXPECT_EQ(done->value("flags", 0), 64);
    EXPECT_EQ(done->value("caption", ""), "Setup");

    // Package files arrive under their plain names; the setup program and
    // its bitmap are copied beside them.
    EXPECT_EQ(ReadStore("Program Files/Dravex/Dravex.exe"), cetest::ReadHostFile(card + "/Dravex.exe.ARM"));
    EXPECT_EQ(ReadStore("Windows/dvxcore.dll"), cetest::ReadHostFile(card + "/dvxcore.dll.ARM"));
    EXPECT_EQ(ReadStore("Program Files/Miska/Scrivox.exe"), cetest::ReadHostFile(card + "/MiskaWce/Scrivox.exe.ARM"));
    EXPECT_EQ(ReadStore("Windows/glyphkbd.dll"), cetest::ReadHostFile(card + "/GlyphorWce/glyphkbd.dll.ARM"));
    std::string setupCopy = ReadStore("Program Files/Dravex/Setup.exe");
    EXPECT_EQ(setupCopy.size(), 64u * 1024u) << "the stand-in program file is copied";
    EXPECT_EQ(setupCopy.substr(0, 2), "MZ");
    EXPECT_EQ(ReadStore("Program Files/Miska/Miska.bmp"), cetest::ReadHostFile(card + "/MiskaWce/Miska.bmp"));
    EXPECT_TRUE(StoreHas("Program Files/Glyphor/Glyphor CE PDA 1.0.unload")) << "each log lies in its folder";
    std::string log = ReadStore("Program Files/Dravex/Pocket Dravex 3.1 Standard.unload");
    EXPECT_EQ(log.substr(0, 31), "// 'Pocket Dravex 3.1 Standard'") << "the unload log starts with the header";

    // Standard shortcuts: the executables were counted, so the links stay.
    EXPECT_EQ(ReadStore("Windows/Start Menu/Programs/Pocket Dravex 3.1.lnk"), LinkText("\"\\Program Files\\Dravex\\Dravex.exe\""));
    EXPECT_EQ(ReadStore("Windows/Start Menu/Pocket MISKA 2.0.lnk"), LinkText("\"\\Program Files\\Miska\\Scrivox.exe\""));
    EXPECT_TRUE(StoreHas("Windows/Start Menu/Programs/Glyphor/Layout Manager.lnk"));

    // The expanded language script is gone from the card.
    EXPECT_EQ(e2e::Listing(card), cardBefore) << "the card is as it was";

    std::string reg = e2e::RegExport(device);
    EXPECT_TRUE(Contains(reg, "\"AnsiCodePage\"=\"1251\"")) << reg;
    EXPECT_TRUE(Contains(reg, "\"LCID\"=\"1049\"")) << reg;
    EXPECT_TRUE(Contains(reg, "\"FontFace\"=\"Times New Roman Cyr\"")) << reg;
    EXPECT_FALSE(Contains(reg, "SecondLayout")) << "the line of the empty @5 is dropped";
    std::string glyphorRecord = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\Glyphor CE PDA 1.0");
    EXPECT_TRUE(Contains(glyphorRecord, "\"Language\"=\"Russian\"")) << glyphorRecord;
    EXPECT_TRUE(Contains(glyphorRecord, "\"CopyFiles\"=dword:00000001")) << glyphorRecord;
    std::string dravexRecord =
        e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard");
    EXPECT_TRUE(Contains(dravexRecord, "\"Language\"=\"UNKNOWN\"")) << dravexRecord;
    EXPECT_TRUE(Contains(dravexRecord, "\"Target\"=\"\\\\Program Files\\\\Dravex\\\\Dravex.exe\"")) << dravexRecord;
    EXPECT_TRUE(Contains(dravexRecord, "\"UnloadFileName\"=\"\\\\Program Files\\\\Dravex\\\\Pocket Dravex 3.1 Standard.unload\""))
        << dravexRecord;

    std::vector<nlohmann::json> launches = install.Launches();
    ASSERT_EQ(launches.size(), 1u) << "remoteExec starts the program once";
    EXPECT_EQ(launches[0].value("program", ""), "\\Program Files\\Dravex\\Dravex.exe");
    EXPECT_EQ(launches[0].value("cmdline", ""), "/register");
    EXPECT_TRUE(launches[0].value("started", false));

    // The device tool lists the products from their records; the files are
    // the copy lines of each log.
    e2e::ProcessResult products = Cedevice({"products", device, "--json"});
    ASSERT_EQ(products.exitCode, 0) << products.err;
    std::vector<nlohmann::json> lines = JsonLines(products.out);
    ASSERT_EQ(lines.size(), 3u) << products.out;
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
        std::string unload = std::string(want[i].folder) + "\\" + want[i].product + ".unload";
        EXPECT_EQ(j.value("unload_log", ""), unload);
        std::string rel = unload.substr(1);
        std::replace(rel.begin(), rel.end(), '\\', '/');
        std::istringstream text(ReadStore(rel));
        int copies = 0;
        for (std::string line; std::getline(text, line);)
            copies += line.rfind("copy ", 0) == 0 || line.rfind("copyShared ", 0) == 0;
        EXPECT_GT(copies, 0) << unload;
        EXPECT_EQ(j.value("files", -1), copies) << unload;
    }
    EXPECT_TRUE(Contains(Cedevice({"products", device}).out, "Pocket Dravex 3.1 Standard: \\Program Files\\Dravex"));

    // Maintenance: Dravex reinstalled, Miska removed, Glyphor reinstalled
    // with the recorded language, whatever its case, and asked for none.
    OnDevice([] {
        HKEY h = 0;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell\\Glyphor CE PDA 1.0", 0, 0, &h),
                  ERROR_SUCCESS);
        const char16_t lower[] = u"russian";
        EXPECT_EQ(RegSetValueExW(h, u"Language", 0, REG_SZ, (const BYTE *)lower, sizeof(lower)), ERROR_SUCCESS);
        RegCloseKey(h);
    });
    ASSERT_EQ(Cedevice({"snapshot", device, snap}).exitCode, 0);
    e2e::SetupRun again = Run({"page 108#1: click Reinstall", "page 108#2: click Remove", "page 108#3: click Reinstall",
                               "message *: answer OK"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.PageIds(), (std::vector<int>{108, 103, 108, 110, 108, 103})) << "no language page on reinstallation";
    EXPECT_EQ(again.MessageIds(), (std::vector<int>{218, 217, 218}));
    const nlohmann::json *removed = again.Message(217);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->value("text", ""), "\"Pocket MISKA 2.0 Standard\" has been successfully uninstalled.\n"
                                          "Pocket MISKA checks your spelling as you write.");
    ExpectChangesLikeTheDiff(snap, again, false);
    EXPECT_TRUE(Contains(e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Glyphor\\Layouts"), "\"LCID\"=\"1049\""));
    EXPECT_EQ(e2e::Listing(card), cardBefore) << "the expanded copy is deleted again";

    // Every product left is found installed and removed; Miska is offered
    // anew.
    e2e::SetupRun removal = Run({"page 108: click Remove", "message 217: answer OK", "page 105: click Skip"});
    ASSERT_EQ(removal.exitCode, 0) << removal.err;
    EXPECT_EQ(removal.PageIds(), (std::vector<int>{108, 110, 105, 108, 110}));
    EXPECT_EQ(removal.MessageIds(), (std::vector<int>{217, 217}));

    // The store is as before, apart from the folder that the Glyphor
    // script's shortcut lines made (removal never removes shortcut
    // folders); its standard links went with the product.
    std::map<std::string, std::string> storeAfter = e2e::Listing(device + "/store");
    EXPECT_FALSE(storeAfter.count("Windows/Start Menu/Programs/Glyphor/Layout Manager.lnk"));
    EXPECT_FALSE(storeAfter.count("Windows/Start Menu/Programs/Glyphor/Web Site.lnk"));
    storeAfter.erase("Windows/Start Menu/Programs/Glyphor");
    EXPECT_EQ(storeAfter, storeBefore) << "the removal leaves the store as it was";

    // The registry: only the installer key and the shared key (and their
    // parents) stay, without values.
    std::vector<std::string> regAfter = RegLines(e2e::RegExport(device));
    std::vector<std::string> expected = regBefore;
    for (const char *k : {"[HKEY_LOCAL_MACHINE\\Software]", "[HKEY_LOCAL_MACHINE\\Software\\Apps]",
                          "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Shared]",
                          "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell]"})
        expected.push_back(k);
    std::sort(expected.begin(), expected.end());
    std::sort(regAfter.begin(), regAfter.end());
    EXPECT_EQ(regAfter, expected);

    // The device tool's check installs and removes each product on scratch
    // devices (in TMPDIR, removed afterwards) and names what is left: all
    // that these runs left.
    std::string tmp = root.path + "/tmp";
    fs::create_directories(tmp);
    setenv("TMPDIR", tmp.c_str(), 1);
    e2e::ProcessResult r = Cedevice({"check", card, "-j", "2", "--json"});
    unsetenv("TMPDIR");
    EXPECT_EQ(r.exitCode, 3) << "the sample leaves a folder behind: " << r.out << r.err;
    for (const auto &e : fs::directory_iterator(tmp))
        EXPECT_NE(e.path().filename().string().rfind("cedevice-check-", 0), 0u) << "the scratch devices are removed";
    std::vector<nlohmann::json> checked = JsonLines(r.out);
    ASSERT_EQ(checked.size(), 3u) << r.out;
    std::set<std::string> reported, left;
    const char *names[] = {"Pocket Dravex 3.1 Standard", "Pocket MISKA 2.0 Standard", "Glyphor CE PDA 1.0"};
    for (size_t i = 0; i < 3; ++i) {
        const nlohmann::json &j = checked[i];
        EXPECT_EQ(j.value("product", ""), names[i]);
        EXPECT_TRUE(j.value("installed", false) && j.value("removed", false)) << j.dump();
        EXPECT_GT(j.value("estimate_bytes", 0), 0) << j.dump();
        EXPECT_GE(j.value("written_bytes", 0), j.value("estimate_bytes", 0)) << "the setup program's own copy adds to it";
        for (const char *list : {"leftovers", "kept"})
            for (const nlohmann::json &d : j[list])
                reported.insert(d.dump());
    }
    e2e::ProcessResult d = Cedevice({"diff", fresh, device, "--json"});
    for (const nlohmann::json &j : JsonLines(d.out))
        left.insert(j.dump());
    EXPECT_EQ(reported, left);
    EXPECT_EQ(left.count(R"({"change":"added","kind":"folder","path":"\\Windows\\Start Menu\\Programs\\Glyphor"})"), 1u)
        << d.out;
}

} // namespace
