// e2e_fixture.h - a temporary device and card for each end-to-end test,
// with short-hands for running cesetup on them and looking at the result.
#ifndef CE_TESTS_E2E_FIXTURE_H
#define CE_TESTS_E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "device/device.h"
#include "helpers/e2ekit.h"
#include "helpers/testdevice.h"

namespace e2etest {

// The answers of a first installation that takes every proposal.
inline std::vector<std::string> InstallAnswers()
{
    return {"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
            "page 104: click Continue", "message 216: answer OK"};
}

inline std::string Bin(const std::string &name)
{
    return std::string(CESETUP_BIN_DIR) + "/" + name;
}

// Runs the device tool with these arguments.
inline e2e::ProcessResult Cedevice(std::vector<std::string> args)
{
    args.insert(args.begin(), Bin("cedevice"));
    return e2e::RunProgram(args);
}

// The JSON objects of a tool's --json output, one a line.
inline std::vector<nlohmann::json> JsonLines(const std::string &text)
{
    std::vector<nlohmann::json> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(nlohmann::json::parse(line));
    return out;
}

class E2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        device = root.path + "/device";
        card = root.path + "/card";
        std::filesystem::create_directories(card);
    }

    void CardFile(const std::string &rel, const std::string &content) { cetest::WriteHostFile(card + "/" + rel, content); }
    std::string StorePath(const std::string &rel) const { return device + "/store/" + rel; }
    std::string ReadStore(const std::string &rel) const { return cetest::ReadHostFile(StorePath(rel)); }
    bool StoreHas(const std::string &rel) const { return cetest::HostExists(StorePath(rel)); }

    // Runs body with the device open in this process.
    void OnDevice(const std::function<void()> &body)
    {
        std::string error;
        ASSERT_TRUE(plat::DeviceOpen(device, {}, error)) << error;
        body();
        plat::DeviceClose();
    }

    // Runs cesetup on the card, or, given a device path, as that copy on
    // the device (--run) without a card.
    e2e::SetupRun Run(const std::vector<std::string> &answers, const std::vector<std::string> &extra = {},
                      const std::string &runAs = "")
    {
        e2e::SetupOptions o;
        o.device = device;
        (runAs.empty() ? o.card : o.run) = runAs.empty() ? card : runAs;
        o.answers = answers;
        o.extra = extra;
        e2e::SetupRun r = e2e::RunSetup(o);
        EXPECT_EQ(r.transcriptError, "") << "the transcript is JSON Lines";
        return r;
    }
    e2e::SetupRun RunAs(const std::string &devicePath, const std::vector<std::string> &answers)
    {
        return Run(answers, {}, devicePath);
    }

    // A Dravex package: a script in the card's root with one shared program
    // file, a plain file and the setup bitmap.
    void DravexCard(const std::string &product = "Pocket Dravex 3.1 Standard", const std::string &key = "Software\\Dravex",
                    const std::string &folder = "Dravex", bool selectLocation = true, const std::string &sub = "")
    {
        e2e::Header h;
        h.product = product;
        h.presenceKey = key;
        h.folder = folder;
        h.bitmap = "Dravex.bmp";
        h.selectLocation = selectLocation;
        h.note = "Enjoy drawing.";
        std::string dir = sub.empty() ? "" : sub + "/";
        CardFile(dir + "DravexStd.load",
                 e2e::Script(h, {"regKeyCreate HKEY_LOCAL_MACHINE " + key, "regString HKEY_LOCAL_MACHINE " + key +
                                     " x Folder '%P'",
                                 "copyShared . . Dravex.exe", "copy . . Readme.txt", "exit"}));
        CardFile(dir + "Dravex.exe.ARM", e2e::ProgramBytes("Dravex.exe", 3000));
        CardFile(dir + "Readme.txt", "Pocket Dravex readme\r\n");
        CardFile(dir + "Dravex.bmp", e2e::Bmp24(100, 20, 0xc08020));
    }

    // The keys and values of a REGEDIT4 export, one entry per line.
    static std::vector<std::string> RegLines(const std::string &text)
    {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty() && line != "REGEDIT4")
                out.push_back(line);
        }
        return out;
    }

    // The Windows CE shortcut file for a target: its length, "#", the target.
    static std::string LinkText(const std::string &target) { return std::to_string(target.size()) + "#" + target; }

    static bool Contains(const std::string &hay, const std::string &needle) { return hay.find(needle) != std::string::npos; }

    cetest::TempDir root;
    std::string device;
    std::string card;
};

} // namespace e2etest

#endif
