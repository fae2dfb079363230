// damage_test.cpp - hostile host files given to cesetup: answer files and
// device.ini that are folders, devices, too large or repeated, control bytes
// in what is quoted back, and a transcript that cannot be written. Each is
// one line on stderr naming the file and the cause, and exit code 2.
#include "e2e_fixture.h"

#include <windows.h>

#include "device/device.h"

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using e2etest::Bin;
using e2etest::Cedevice;
using e2etest::E2ETest;

namespace {

class DamageTest : public E2ETest {};

TEST_F(DamageTest, HostileHostFilesAreRefusedNamingFileAndCause)
{
    DravexCard();
    std::string folder = root.path + "/afolder";
    fs::create_directories(folder);
    std::string longRule = root.path + "/long.txt";
    cetest::WriteHostFile(longRule, "page 105: set 1006 \"" + std::string(5000, 'x') + "\"\n");
    std::string big = root.path + "/big.txt";
    cetest::WriteHostFile(big, std::string(2 * 1024 * 1024, '#'));
    std::string control = root.path + "/control.txt";
    cetest::WriteHostFile(control, "page 105: cl\x01ick\x1b[2J Continue\n");

    const struct {
        const char *name;
        std::vector<std::string> options;
        std::string cause;       // must appear in the one stderr line
        const char *ini = nullptr; // the device's device.ini; "" for a folder of that name
    } cases[] = {
        {"answers from a device", {"--answers", "/dev/zero"}, "/dev/zero: is not a regular file"},
        {"answers from a folder", {"--answers", folder}, "afolder: is not a regular file"},
        {"answers too large", {"--answers", big}, "big.txt: is larger than 1024 KiB"},
        {"answer rule too long", {"--answers", longRule}, "long.txt line 1: longer than 4096 bytes"},
        {"answer rule option too long", {"--answer", "page 105: click " + std::string(5000, 'C')},
         "longer than 4096 bytes"},
        {"control bytes quoted back", {"--answers", control}, "cl\\x01ick\\x1b[2J"},
        {"device.ini a folder", {}, "device.ini: is not a regular file", ""},
        {"device.ini key twice", {}, "device.ini line 3: key \"screen\" given twice (also on line 2)",
         "[device]\nscreen = 240x320\nscreen = 480x640\n"},
        {"device.ini with control bytes", {}, "unknown key \"sc\\x07reen\"", "[device]\nsc\x07reen = 1\n"},
        {"transcript on a full disk", {"--transcript", "/dev/full"},
         "cannot write the transcript /dev/full (No space left on device)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string dev = root.path + "/dev" + std::to_string(&c - cases);
        if (c.ini && *c.ini)
            cetest::WriteHostFile(dev + "/device.ini", c.ini);
        else if (c.ini)
            fs::create_directories(dev + "/device.ini");
        std::vector<std::string> argv = {Bin("cesetup"), "--device", dev, "--card", card, "--ui", "none"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        for (const std::string &a : e2etest::InstallAnswers())
            argv.insert(argv.end(), {"--answer", a});
        e2e::ProcessResult r = e2e::RunProgram(argv);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(Contains(r.err, c.cause)) << r.err;
        EXPECT_EQ(r.err.find_first_of(std::string("\x01\x07\x1b", 3)), std::string::npos) << "no raw control byte";
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// An existing device whose registry is missing, empty or damaged is an
// error naming the file for cesetup and cedevice alike; nothing replaces
// the file. A registry removed while a device is in use takes no change.
TEST_F(DamageTest, RegistryDamageIsReportedNeverReplaced)
{
    DravexCard();
    const struct {
        const char *name;
        std::function<void(const std::string &db)> damage;
        std::string cause;
    } cases[] = {
        {"missing", [](const std::string &db) { fs::remove(db); }, "registry.db: the registry database is missing"},
        {"empty", [](const std::string &db) { cetest::WriteHostFile(db, ""); }, "registry.db: the registry database is empty"},
        {"damaged", [](const std::string &db) { cetest::WriteHostFile(db, std::string(8192, 'x')); },
         "registry.db: the registry database is damaged"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string dev = root.path + "/reg" + std::to_string(n++);
        ASSERT_EQ(Cedevice({"init", dev}).exitCode, 0);
        c.damage(dev + "/registry.db");
        bool existed = fs::exists(dev + "/registry.db");
        std::string before = existed ? cetest::ReadHostFile(dev + "/registry.db") : "";
        for (const std::vector<std::string> &argv :
             {std::vector<std::string>{Bin("cesetup"), "--device", dev, "--card", card,
                                       "--ui", "none", "--answer", "page 105: click Exit"},
              std::vector<std::string>{Bin("cedevice"), "reg", "export", dev}}) {
            e2e::ProcessResult r = e2e::RunProgram(argv);
            EXPECT_EQ(r.exitCode, 2) << argv[0] << ": " << r.err;
            EXPECT_TRUE(Contains(r.err, c.cause)) << r.err;
            EXPECT_EQ(fs::exists(dev + "/registry.db"), existed) << "nothing made in its place";
            if (existed) {
                EXPECT_EQ(cetest::ReadHostFile(dev + "/registry.db"), before) << "left as it is";
            }
        }
    }
}

// A device folder that cannot be written: the tools that only read work
// on it (the registry opened read-only, with and without its lock file),
// while an installation or removal, which must write, is refused with one
// line and exit code 2. Root writes anywhere, so there the programs run as
// the unprivileged user "nobody".
TEST_F(DamageTest, ReadOnlyDeviceIsReadButNotChanged)
{
    DravexCard();
    std::string dev = root.path + "/ro";
    ASSERT_EQ(Run(e2etest::InstallAnswers(), {}, "").exitCode, 0);
    fs::copy(device, dev, fs::copy_options::recursive);
    std::string exported = Cedevice({"reg", "export", dev}).out;
    ASSERT_TRUE(Contains(exported, "[HKEY_LOCAL_MACHINE\\Software\\Dravex]")) << exported;
    ASSERT_FALSE(fs::exists(dev + "/registry.db-wal"));
    std::vector<std::string> as;
    if (geteuid() == 0 && !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "run as root without setpriv (util-linux): no read-only folder can be made";
    if (geteuid() == 0)
        as = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    fs::permissions(root.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    auto run = [&](std::vector<std::string> argv) {
        argv.insert(argv.begin(), as.begin(), as.end());
        return e2e::RunProgram(argv);
    };
    auto readOnly = [&](bool ro) {
        for (const auto &e : fs::recursive_directory_iterator(dev))
            fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            ro ? fs::perm_options::remove : fs::perm_options::add);
        fs::permissions(dev, fs::perms::owner_write, ro ? fs::perm_options::remove : fs::perm_options::add);
    };
    for (bool lockFile : {true, false}) {
        SCOPED_TRACE(lockFile ? "with its lock file" : "without a lock file");
        if (!lockFile)
            fs::remove(dev + "/registry.lock");
        readOnly(true);
        e2e::ProcessResult r = run({Bin("cedevice"), "reg", "export", dev});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, exported);
        r = run({Bin("cedevice"), "products", dev});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(Contains(r.out, "Pocket Dravex 3.1 Standard")) << r.out;
        r = run({Bin("cesetup"), "--device", dev, "--card", card, "--ui", "none", "--answer",
                 "page 108: click Remove", "--answer", "message *: answer OK"});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(Contains(r.err, "registry.db: the registry database is read-only")) << r.err;
        readOnly(false);
        EXPECT_FALSE(fs::exists(dev + "/registry.db-wal")) << "nothing written";
        EXPECT_EQ(Cedevice({"reg", "export", dev}).out, exported);
    }
}

// A full disk (a small tmpfs filled up, in a mount namespace of its own;
// skipped where none can be made): cesetup says the disk is full, exit code
// 2, and the reading tools still read the registry.
TEST_F(DamageTest, FullDiskIsSaidAsSuchAndStillRead)
{
    DravexCard();
    std::string disk = root.path + "/disk";
    fs::create_directories(disk);
    const std::string bin = CESETUP_BIN_DIR;
    std::string script = "mount -t tmpfs -o size=400k tmpfs '" + disk + "' || exit 99\necho mounted\n" + bin +
                         "/cedevice init '" + disk + "/dev' || exit 98\n"
                         "dd if=/dev/zero of='" + disk + "/fill' bs=4k 2>/dev/null\n" +
                         bin + "/cesetup --device '" + disk + "/dev' --card '" + card +
                         "' --ui none --answer 'page 105: click Exit'; echo \"cesetup $?\"\n" + bin +
                         "/cedevice reg export '" + disk + "/dev'; echo \"export $?\"\n";
    e2e::ProcessResult r = e2e::RunProgram({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script});
    if (!Contains(r.out, "mounted"))
        GTEST_SKIP() << "no tmpfs can be mounted here: " << r.err;
    EXPECT_TRUE(Contains(r.out, "cesetup 2")) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, "registry.db: the disk holding the device is full")) << r.err;
    EXPECT_TRUE(Contains(r.out, "REGEDIT4")) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "export 0")) << r.out << r.err;
}

// SQLite would go on writing to a database file removed under it, and
// every change would be lost with the process: a change is refused instead.
TEST_F(DamageTest, RegistryRemovedWhileInUseTakesNoChange)
{
    std::string dev = root.path + "/live";
    ASSERT_EQ(Cedevice({"init", dev}).exitCode, 0);
    std::string error;
    ASSERT_TRUE(plat::DeviceOpen(dev, {}, error)) << error;
    HKEY h = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Before", 0, nullptr, 0, 0, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    fs::remove(dev + "/registry.db");
    EXPECT_NE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\After", 0, nullptr, 0, 0, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    plat::DeviceClose();
    EXPECT_FALSE(fs::exists(dev + "/registry.db")) << "nothing made in its place";
}

} // namespace
