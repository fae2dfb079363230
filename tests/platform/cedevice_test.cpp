// cedevice_test.cpp - the device tool's commands, exit codes and messages.
#include "helpers/testdevice.h"

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace fs = std::filesystem;
using cetest::ReadHostFile;
using cetest::TempDir;

namespace {

struct ToolRun {
    int code;
    std::string err;
};

// Runs cedevice with the arguments (each single-quoted for the shell).
ToolRun Cedevice(const std::vector<std::string> &args, const std::string &errFile)
{
    std::string cmd = std::string("'") + CESETUP_BIN_DIR + "/cedevice'";
    for (const std::string &a : args)
        cmd += " '" + a + "'";
    cmd += " >/dev/null 2>'" + errFile + "'";
    int status = std::system(cmd.c_str());
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadHostFile(errFile)};
}

TEST(Cedevice, InitAndExitCodes)
{
    TempDir tmp;
    std::string dev = tmp.path + "/dev";
    std::string err = tmp.path + "/err.txt";
    const struct {
        std::vector<std::string> args;
        int code;
        const char *errPart;
    } cases[] = {
        {{"init", dev, "--os-version", "4"}, 1, "--os-version"},
        {{"reg", "export", dev}, 2, "no device here"},
        {{"init", dev, "--os-version", "2.11", "--storage-kb", "512"}, 0, ""},
        {{"init", dev}, 2, "already holds a device"},
    };
    for (auto &c : cases) {
        ToolRun r = Cedevice(c.args, err);
        SCOPED_TRACE("cedevice " + c.args[0] + " said: " + r.err);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.errPart), std::string::npos);
        if (c.code == 2) {
            EXPECT_NE(r.err.find(dev), std::string::npos) << "the message names no folder: " << r.err;
        }
    }
    std::string ini = ReadHostFile(dev + "/device.ini");
    EXPECT_NE(ini.find("os_version = 2.11"), std::string::npos) << ini;
    EXPECT_NE(ini.find("storage_kb = 512"), std::string::npos) << ini;
    EXPECT_TRUE(fs::is_directory(dev + "/store/Windows/Start Menu/Programs"));

    // A refused init changes nothing of the device already there.
    cetest::WriteHostFile(dev + "/store/Temp/keep.txt", "x");
    EXPECT_EQ(Cedevice({"init", dev, "--os-version", "5.0"}, err).code, 2);
    EXPECT_EQ(ReadHostFile(dev + "/device.ini"), ini);
    EXPECT_EQ(ReadHostFile(dev + "/store/Temp/keep.txt"), "x");
}

} // namespace
