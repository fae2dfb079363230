// run_test.cpp - carrying out scripts and undoing them through the unload
// log: the log's exact bytes, failed runs, registry, shortcut, program-start
// and mkdir commands in both modes, shared files and shortcuts, and write
// failures injected at every point of an installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "helpers/scriptkit.h"
#include "kernel/faults.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kScript = "\\Storage Card\\Pkg\\Notes.load";
const char *kSource = "\\Storage Card\\Pkg";
const char *kFolder = "\\Program Files\\Notes";
const char *kLog = "\\Program Files\\Notes\\Demo Notes 1.0.unload";
const char *kLogRel = "Program Files/Notes/Demo Notes 1.0.unload";

class RunTest : public ScriptFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        ScriptFixture::TearDown();
    }

    BOOL Install(const std::vector<std::string> &body, const char *folder = kFolder, const char *logPath = kLog)
    {
        CardFile("Pkg/Notes.load", header.Text() + CrLf(body));
        std::strcpy(inst, folder);
        done = 0xdeadbeef;
        return RunScript(1, 1, 0, kScript, logPath, 1, kSource, inst, 0, 0, 1000, &done);
    }

    BOOL Remove(const char *folder = kFolder, const char *logPath = kLog)
    {
        std::strcpy(inst, folder);
        return RunScript(0, 0, 0, kScript, logPath, 1, kSource, inst, 0, 0, 0, &done);
    }

    int EveryFault(plat::FaultKind kind, const std::vector<std::string> &lines, const std::string &big,
                   const std::string &bigContent);

    ScriptHeader header;
    DWORD done = 0;
    char inst[264];
    MessageLog log;
};

TEST_F(RunTest, LogOfASmallInstallationAndItsRemoval)
{
    ASSERT_TRUE(Install({"regKeyCreate HKEY_LOCAL_MACHINE Software\\Demo", "  // installed by Notes  ",
                         "mkdir \\Program Files\\Other", "exit"}));
    EXPECT_EQ(StoreRead(kLogRel), header.Text() +
                                      "regKeyCreate HKEY_LOCAL_MACHINE Software\\Demo\r\n"
                                      "// installed by Notes\r\nmkdir \\Program Files\\Other\r\nexit\r\n")
        << "ten lines, each ended by CR LF, trimmed as the handler saw them";
    EXPECT_TRUE(KeyExists(0x80000002u, u"Software\\Demo"));
    EXPECT_FALSE(StoreExists("Program Files/Other")) << "mkdir makes no folder";
    EXPECT_EQ(done, 0u) << "bytes done is written even when nothing was copied";

    // Subkeys made later go with the key.
    ASSERT_TRUE(CreateKey(0x80000002u, u"Software\\Demo\\Sub\\Deeper"));
    ASSERT_TRUE(SetDword(0x80000002u, u"Software\\Demo\\Sub", u"v", 3));
    ASSERT_TRUE(CreateKey(0x80000002u, u"Software\\Other"));
    ASSERT_TRUE(Remove());
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Demo"));
    EXPECT_TRUE(KeyExists(0x80000002u, u"Software\\Other")) << "only the logged key is deleted";
    EXPECT_TRUE(log.seen.empty());
}

// A failed line stops the run: it and everything after it are neither
// carried out nor logged, nothing is rolled back, and removal through that
// log undoes what was logged.
TEST_F(RunTest, FailedRunsLogWhatWasDone)
{
    EXPECT_FALSE(Install({"regKeyCreate HKEY_LOCAL_MACHINE Software\\A", "// one",
                          "regString HKEY_USERS Software\\B x Name Text",
                          "regKeyCreate HKEY_LOCAL_MACHINE Software\\C", "exit"}));
    EXPECT_EQ(log.Ids(), std::vector<int>{213});
    EXPECT_EQ(StoreRead(kLogRel),
              header.Text() + "regKeyCreate HKEY_LOCAL_MACHINE Software\\A\r\n// one\r\n");
    EXPECT_TRUE(KeyExists(0x80000002u, u"Software\\A")) << "nothing is rolled back";
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\C"));
    ASSERT_TRUE(Remove()) << "a log cut short is read to its end";
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\A"));
}

// An over-long token is refused, not cut: 213 and the line is not logged;
// a log line naming a root without a key path would delete the whole root
// in removal: refused.
TEST_F(RunTest, BadRegistryLines)
{
    EXPECT_FALSE(Install({"regKeyCreate HKEY_LOCAL_MACHINE " + std::string(300, 'k'), "exit"}));
    EXPECT_EQ(log.Ids(), std::vector<int>{213}) << "a key path over 255 bytes";
    EXPECT_EQ(StoreRead(kLogRel), header.Text());
    EXPECT_FALSE(KeyExists(0x80000002u, U16(std::string(255, 'k')))) << "the cut path was not made";

    log.seen.clear();
    ASSERT_TRUE(CreateKey(0x80000002u, u"Software\\Apps\\Shared"));
    // In a log, a line naming no key (the whole root, or no root) is passed
    // over: the removal goes on to the lines after it.
    ASSERT_TRUE(CreateKey(0x80000002u, u"Software\\Gone"));
    StoreFile(kLogRel, header.Text() + CrLf({"regKeyCreate HKEY_LOCAL_MACHINE", "regKeyCreate HKEY_BOGUS Software",
                                             "regKeyCreate HKEY_LOCAL_MACHINE Software\\Gone", "exit"}));
    EXPECT_TRUE(Remove());
    EXPECT_TRUE(log.Ids().empty());
    EXPECT_TRUE(KeyExists(0x80000002u, u"Software\\Apps\\Shared"));
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Gone"));
}

// A log that would overwrite the script being run is refused before the
// file is emptied.
TEST_F(RunTest, ALogOverTheScriptIsRefused)
{
    std::string text = header.Text() + CrLf({"regKeyCreate HKEY_LOCAL_MACHINE Software\\Again", "exit"});
    StoreFile(kLogRel, text);
    std::strcpy(inst, kFolder);
    EXPECT_FALSE(RunScript(1, 1, 0, "\\program files\\NOTES\\demo notes 1.0.unload", kLog, 1, kSource, inst,
                           0, 0, 0, &done));
    EXPECT_EQ(StoreRead(kLogRel), text);
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Again"));
}

TEST_F(RunTest, ShortcutFiles)
{
    const std::string line = "createShortcut '\\Windows\\Start Menu' Notes.lnk . 'My App.exe'";
    ASSERT_TRUE(Install({line, "exit"}));
    const std::string target = "\"\\Program Files\\Notes\\My App.exe\"";
    EXPECT_EQ(StoreRead("Windows/Start Menu/Notes.lnk"), std::to_string(target.size()) + "#" + target)
        << "a target holding a blank is quoted";
    EXPECT_EQ(SharedCount("\\Windows\\Start Menu\\Notes.lnk"), 1u);

    // Another product counting the same link keeps it through one removal.
    // Each removal marks the lines it has undone, so the second one reads
    // the other product's log, listing the same line.
    ASSERT_TRUE(SetDword(0x80000002u, u"Software\\Apps\\Shared", u"\\Windows\\Start Menu\\Notes.lnk", 2));
    std::string other = StoreRead(kLogRel);
    ASSERT_TRUE(Remove());
    EXPECT_TRUE(StoreExists("Windows/Start Menu/Notes.lnk")) << "still counted once";
    ASSERT_TRUE(Remove()) << "the same log again: nothing is left to undo";
    EXPECT_EQ(SharedCount("\\Windows\\Start Menu\\Notes.lnk"), 1u) << "a count is given back once";
    StoreFile(kLogRel, other);
    ASSERT_TRUE(Remove());
    EXPECT_FALSE(StoreExists("Windows/Start Menu/Notes.lnk")) << "the last count deletes it";
    EXPECT_TRUE(log.seen.empty());
}

// Files, folders and shared files through install and removal by two
// products sharing one file.
TEST_F(RunTest, RemovalThroughTheLog)
{
    CardFile("Pkg/Notes.exe.ARM", Bytes(5000));
    CardFile("Pkg/data/Help.htm", Bytes(300, 'h'));
    CardFile("Pkg/NotesLib.dll.ARM", Bytes(700, 'l'));
    ASSERT_TRUE(
        Install({"copy . . Notes.exe", "copy data doc\\en Help.htm", "copyShared . \\Windows NotesLib.dll", "exit"}));
    EXPECT_EQ(done, 6000u);

    // A second product installs the same shared file elsewhere.
    const char *kLog2 = "\\Program Files\\Other\\Other.unload";
    ASSERT_TRUE(Install({"copyShared . \\Windows NotesLib.dll", "exit"}, "\\Program Files\\Other", kLog2));
    EXPECT_EQ(SharedCount("\\Windows\\NotesLib.dll"), 2u);

    ASSERT_TRUE(Remove());
    EXPECT_FALSE(StoreExists("Program Files/Notes/Notes.exe"));
    EXPECT_FALSE(StoreExists("Program Files/Notes/doc")) << "emptied folders are removed";
    EXPECT_TRUE(StoreExists("Program Files/Notes")) << "the folder still holds the log";
    EXPECT_TRUE(StoreExists("Windows/NotesLib.dll")) << "still used by the other product";
    EXPECT_EQ(SharedCount("\\Windows\\NotesLib.dll"), 1u);

    ASSERT_TRUE(Remove("\\Program Files\\Other", kLog2));
    EXPECT_FALSE(StoreExists("Windows/NotesLib.dll")) << "the last user removes it";
    EXPECT_TRUE(log.seen.empty());
}

// Lines naming paths that leave the device fail with the copy's message,
// and nothing outside the device folder and the card changes.
TEST_F(RunTest, PathsLeavingTheDeviceChangeNothingOutside)
{
    WriteHostFile(root.path + "/outside/keep.txt", "keep");
    CardFile("Pkg/a.txt", "payload");
    auto outsideBefore = HostTree(root.path + "/outside");
    const std::string line = "copy . ..\\..\\..\\..\\outside a.txt";
    EXPECT_FALSE(Install({line, "exit"}));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    StoreFile(kLogRel, header.Text() + CrLf({line}));
    EXPECT_TRUE(Remove()) << "the same line in a log is passed over in removal mode";
    EXPECT_EQ(log.Ids(), std::vector<int>{212}) << "and the removal goes on without a message";
    EXPECT_EQ(HostTree(root.path + "/outside"), outsideBefore);
    for (const auto &e : HostTree(root.path)) {
        EXPECT_TRUE(e.first.rfind("device", 0) == 0 || e.first.rfind("card", 0) == 0 ||
                    e.first.rfind("outside", 0) == 0)
            << "unexpected host file " << e.first;
    }
}

// Installs LINES once for each n = 1, 2, ... with the n-th fault of KIND
// injected, each time into a folder of its own, until a run meets no fault.
// A run either succeeds with everything logged, or fails (having met the
// fault) with a log of whole lines that is a prefix of the complete one; a
// copy of BIG, once logged or on the device, is complete. Returns the
// number of failed runs.
int RunTest::EveryFault(plat::FaultKind kind, const std::vector<std::string> &lines, const std::string &big,
                        const std::string &bigContent)
{
    log.defaultAnswer = 7; // No to every retry
    auto full = header.Lines();
    full.insert(full.end(), lines.begin(), lines.end());
    int failures = 0;
    for (int n = 1; n < 2000; ++n) {
        const std::string rel = "Program Files/F" + std::to_string(n);
        const std::string folder = "\\Program Files\\F" + std::to_string(n);
        plat::FaultArm(kind, n);
        BOOL ok = Install(lines, folder.c_str(), (folder + "\\f.unload").c_str());
        bool fired = plat::FaultFired(kind);
        plat::FaultArm(kind, 0);
        std::string text = StoreRead(rel + "/f.unload");
        auto logged = SplitCrLf(text);
        if (StoreExists(rel + "/" + big) || std::count(logged.begin(), logged.end(), "copy . . " + big)) {
            EXPECT_EQ(StoreRead(rel + "/" + big), bigContent) << "n=" << n << ": partial copy";
        }
        if (ok || !fired) {
            EXPECT_TRUE(ok) << "n=" << n << ": a run failed without a fault";
            EXPECT_EQ(logged, full) << "n=" << n;
            if (!fired)
                return failures;
            continue;
        }
        ++failures;
        EXPECT_TRUE(text.empty() || text.substr(text.size() - 2) == "\r\n")
            << "n=" << n << ": the log ends in the middle of a line";
        EXPECT_LT(logged.size(), full.size()) << "n=" << n;
        logged.resize(std::min(logged.size(), full.size()));
        EXPECT_EQ(logged, std::vector<std::string>(full.begin(), full.begin() + logged.size())) << "n=" << n;
    }
    ADD_FAILURE() << "the installation never succeeded";
    return failures;
}

// Every file write of an installation made to fail in turn: each failure
// stops the run, but for the shortcut's own write, which may fail without
// stopping it.
TEST_F(RunTest, WriteFailuresAtEveryPoint)
{
    CardFile("Pkg/Big.exe.ARM", Bytes(40000, 'B'));
    CardFile("Pkg/Lib.dll.ARM", Bytes(100, 'L'));
    EXPECT_GT(EveryFault(plat::FaultKind::FileWrite,
                         {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Faulty", "copy . . Big.exe",
                          "copyShared . \\Windows Lib.dll", "createShortcut \\Windows Faulty.lnk . Big.exe", "exit"},
                         "Big.exe", Bytes(40000, 'B')),
              5)
        << "the installation makes more writes than that";
}

// Every allocation of an installation made to fail in turn. No line is ever
// skipped silently (keywords are recognised without allocating).
TEST_F(RunTest, AllocationFailuresAtEveryPoint)
{
    CardFile("Pkg/A.exe.ARM", Bytes(40000, 'A'));
    CardFile("Pkg/b.txt", Bytes(20, 'b'));
    EveryFault(plat::FaultKind::Alloc,
               {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Alloc", "copy . . A.exe",
                "regInt HKEY_LOCAL_MACHINE Software\\Alloc x N 5", "copyShared . . b.txt", "exit"},
               "A.exe", Bytes(40000, 'A'));
}

} // namespace
