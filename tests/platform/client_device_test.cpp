// client_device_test.cpp - the device tool's commands, and client programs
// of the support library on a device: the device named by the environment
// opened on first use, the one-line message without one, and `cedevice run`
// making the program a process of the device (module path, sharing with
// other processes).
//
// The client is tests/client/probe.c, a C program linked with
// libcesupport.so like any other program; it prints "OP ARG -> RESULT".
#include "helpers/testdevice.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using cetest::ReadHostFile;
using cetest::TempDir;
using cetest::WriteHostFile;

namespace {

const char kNoDevice[] = "libcesupport: no device (set CE_DEVICE or use cedevice run)\n";

std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Outcome {
    int code;
    std::string out, err;
};

// Runs a shell command line with the given environment prefix, capturing
// standard output and error in files of tmp.
Outcome Shell(const TempDir &tmp, const std::string &cmd)
{
    std::string out = tmp.path + "/out.txt", err = tmp.path + "/err.txt";
    int status = std::system((cmd + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null").c_str());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadHostFile(out), ReadHostFile(err)};
}

// The command line of a program of the build with its arguments.
std::string Command(const char *program, const std::vector<std::string> &args)
{
    std::string cmd = Quote(std::string(CESETUP_BIN_DIR "/") + program);
    for (const std::string &a : args)
        cmd += " " + Quote(a);
    return cmd;
}
std::string Probe(const std::vector<std::string> &ops) { return Command("cesupport_probe", ops); }
std::string Cedevice(const std::vector<std::string> &args) { return Command("cedevice", args); }

// A device with a card holding a.txt, in tmp.
struct Scene {
    TempDir tmp;
    std::string dev = tmp.path + "/dev";
    std::string card = tmp.path + "/card";
    Scene()
    {
        WriteHostFile(card + "/a.txt", "first line\r\nsecond\r\n");
        EXPECT_EQ(Shell(tmp, Cedevice({"init", dev})).code, 0);
    }
};

const char kUnset[] = "env -u CE_DEVICE -u CE_CARD -u CE_MODULE -u CE_TRANSCRIPT ";

TEST(ClientDevice, WithoutADeviceEveryDeviceCallFailsAndOneLineSaysWhy)
{
    Scene s;
    // Strings work without a device; each call that needs one fails as on
    // a device without storage (not ready: code 10 where the system error
    // is translated; the opens give their fixed codes; no font), and the
    // message comes once however many calls fail.
    Outcome r = Shell(s.tmp, kUnset + Probe({"length", "abc", "mkdir", "\\Temp\\x", "delete", "\\Temp\\a.txt",
                                              "read", "\\Temp\\a.txt", "write", "\\Temp\\a.txt", "free", "\\",
                                              "font", "Tahoma", "length", "abcd"}));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, kNoDevice);
    EXPECT_EQ(r.out, "length abc -> 3\n"
                     "mkdir \\Temp\\x -> 10\n"
                     "delete \\Temp\\a.txt -> 10\n"
                     "read \\Temp\\a.txt -> 3\n"
                     "write \\Temp\\a.txt -> 18\n"
                     "free \\ -> 10\n"
                     "font Tahoma -> 0\n"
                     "length abcd -> 4\n");
    EXPECT_FALSE(fs::exists(s.dev + "/store/Temp/a.txt"));
}

TEST(ClientDevice, EnvironmentThatCannotBeUsedIsNamed)
{
    Scene s;
    fs::create_directories(s.tmp.path + "/empty");
    WriteHostFile(s.tmp.path + "/file", "x");
    const struct {
        std::string env;
        const char *errPart;
    } cases[] = {
        {"CE_DEVICE=" + Quote(s.tmp.path + "/empty"), "/empty: no device here (make one with: cedevice init"},
        {"CE_CARD=" + Quote(s.card), "no device (set CE_DEVICE or use cedevice run)"},
        {"CE_DEVICE=" + Quote(s.dev) + " CE_CARD=" + Quote(s.tmp.path + "/file"), "CE_CARD "},
        {"CE_DEVICE=" + Quote(s.dev) + " CE_MODULE=" + Quote("\\\\host\\x.exe"), "CE_MODULE \"\\\\host\\x.exe\""},
    };
    for (const auto &c : cases) {
        Outcome r = Shell(s.tmp, kUnset + c.env + " " + Probe({"free", "\\", "mkdir", "\\Temp\\x"}));
        SCOPED_TRACE(c.env);
        EXPECT_EQ(r.out, "free \\ -> 10\nmkdir \\Temp\\x -> 10\n");
        EXPECT_EQ(r.err.rfind("libcesupport: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(fs::exists(s.tmp.path + "/empty/device.ini")) << "a device was made where none was asked for";
}

TEST(ClientDevice, CedeviceRunMakesTheProgramAProcessOfTheDevice)
{
    Scene s;
    std::string transcript = s.tmp.path + "/t.jsonl";
    // With a card: its files, the store, the device's fonts.
    Outcome r = Shell(s.tmp, Cedevice({"run", s.dev, "--card", s.card, "--transcript", transcript}) + " " +
                             Probe({"exists", "\\Storage Card\\a.txt", "write", "\\Temp\\new.txt", "mkdir",
                                    "\\My Documents\\sub", "font", "tahoma", "font", "Arial"}));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "exists \\Storage Card\\a.txt -> 0\n"
                     "write \\Temp\\new.txt -> 0\n"
                     "mkdir \\My Documents\\sub -> 0\n"
                     "font tahoma -> 1\n"
                     "font Arial -> 0\n");
    EXPECT_TRUE(fs::exists(s.dev + "/store/Temp/new.txt"));
    EXPECT_TRUE(fs::is_directory(s.dev + "/store/My Documents/sub"));
    EXPECT_TRUE(fs::exists(transcript)) << "the transcript asked for was not opened";

    // Without a card the program runs as \Windows\NAME: its file is there
    // and, held open by the running program, cannot be written.
    r = Shell(s.tmp, Cedevice({"run", s.dev}) + " " +
                         Probe({"exists", "\\Storage Card\\a.txt", "exists", "\\Windows\\cesupport_probe",
                                "read", "\\Windows\\cesupport_probe", "write", "\\Windows\\cesupport_probe"}));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "exists \\Storage Card\\a.txt -> 3\n"
                     "exists \\Windows\\cesupport_probe -> 0\n"
                     "read \\Windows\\cesupport_probe -> 0\n"
                     "write \\Windows\\cesupport_probe -> 18\n");
}

TEST(ClientDevice, SharingHoldsAcrossClientProcesses)
{
    Scene s;
    std::string out = s.tmp.path + "/holder.txt";
    // The holder keeps \Temp\held.txt open for writing until its input ends.
    FILE *holder = popen((Cedevice({"run", s.dev}) + " " + Probe({"hold", "\\Temp\\held.txt"}) + " >" + Quote(out))
                             .c_str(),
                         "w");
    ASSERT_NE(holder, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ReadHostFile(out).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadHostFile(out), "hold \\Temp\\held.txt -> 0\n");
    std::string other = Cedevice({"run", s.dev}) + " " + Probe({"write", "\\Temp\\held.txt", "read", "\\Temp\\held.txt"});
    Outcome r = Shell(s.tmp, other);
    EXPECT_EQ(r.out, "write \\Temp\\held.txt -> 18\nread \\Temp\\held.txt -> 3\n") << "while held";
    EXPECT_EQ(pclose(holder), 0);
    r = Shell(s.tmp, other);
    EXPECT_EQ(r.out, "write \\Temp\\held.txt -> 0\nread \\Temp\\held.txt -> 0\n") << "after the holder ended";
}

// The device tool's exit codes and messages: 1 for a wrong command line, 2
// for a device that cannot be used, the program's own code under run.
TEST(ClientDevice, CedeviceCommandsAndRefusals)
{
    Scene s;
    WriteHostFile(s.tmp.path + "/file", "x");
    const std::string d2 = s.tmp.path + "/d2";
    const struct {
        std::vector<std::string> args;
        int code;
        std::string errPart;
    } cases[] = {
        {{"init", d2, "--os-version", "4"}, 1, "--os-version"},
        {{"reg", "export", d2}, 2, d2 + ": no device here"},
        {{"init", d2, "--os-version", "2.11", "--storage-kb", "512"}, 0, ""},
        {{"init", d2}, 2, d2 + ": already holds a device"},
        {{"run", s.dev}, 1, "run needs the device folder and a program"},
        {{"run", s.dev, "--card"}, 1, "--card needs a value"},
        {{"run", s.dev, "--cards", "x", "true"}, 1, "unknown option --cards"},
        {{"run", s.tmp.path + "/nodev", "true"}, 2, "/nodev: no device here"},
        {{"run", s.dev, "--card", s.tmp.path + "/file", "true"}, 2, "is not a folder"},
        {{"run", s.dev, s.tmp.path + "/no-such-program"}, 127, "cannot be started"},
        {{"run", s.dev, "sh", "-c", "exit 7"}, 7, ""},
    };
    for (const auto &c : cases) {
        Outcome r = Shell(s.tmp, Cedevice(c.args));
        SCOPED_TRACE(c.args[0] + " " + c.args.back() + ": " + r.err);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.errPart), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(s.tmp.path + "/nodev"));
    std::string ini = ReadHostFile(d2 + "/device.ini");
    EXPECT_NE(ini.find("os_version = 2.11"), std::string::npos) << ini;
    EXPECT_NE(ini.find("storage_kb = 512"), std::string::npos) << ini;
    EXPECT_TRUE(fs::is_directory(d2 + "/store/Windows/Start Menu/Programs"));

    // A refused init changes nothing of the device already there.
    WriteHostFile(d2 + "/store/Temp/keep.txt", "x");
    EXPECT_EQ(Shell(s.tmp, Cedevice({"init", d2, "--os-version", "5.0"})).code, 2);
    EXPECT_EQ(ReadHostFile(d2 + "/device.ini"), ini);
    EXPECT_EQ(ReadHostFile(d2 + "/store/Temp/keep.txt"), "x");
}

} // namespace
