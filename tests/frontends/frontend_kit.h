// frontend_kit.h - shared pieces of the interactive front-end runs: a
// device and a copy of the sample card per test, waiting on the run's
// transcript and screenshots, and the unattended reference run of the same
// choices whose device files and registry the interactive run must match.
#ifndef CE_TESTS_FRONTEND_KIT_H
#define CE_TESTS_FRONTEND_KIT_H

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "helpers/e2ekit.h"
#include "helpers/testdevice.h"

namespace fekit {

inline std::string Bin(const std::string &name)
{
    return std::string(CESETUP_BIN_DIR) + "/" + name;
}

// Polls until ok() holds or the time is up; the last ok() result.
inline bool WaitUntil(const std::function<bool()> &ok, int ms = 10000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!ok()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return true;
}

// Transcript events so far (a line still being written is left out).
inline std::vector<nlohmann::json> Events(const std::string &path)
{
    std::string partial;
    return e2e::ReadJsonLines(path, &partial);
}

inline int CountEvents(const std::string &path, const std::string &kind, int id)
{
    int n = 0;
    for (const nlohmann::json &e : Events(path))
        n += e.value("event", "") == kind && e.value("id", -2) == id;
    return n;
}

inline std::vector<int> PageIds(const std::string &path)
{
    std::vector<int> ids;
    for (const nlohmann::json &e : Events(path))
        if (e.value("event", "") == "page")
            ids.push_back(e.value("id", -1));
    return ids;
}

// Screenshots written so far whose name ends with suffix (e.g. "page-105.png").
inline int CountShots(const std::string &dir, const std::string &suffix)
{
    int n = 0;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(dir, ec)) {
        std::string name = e.path().filename().string();
        n += name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    return n;
}

// The answers of the first installation of the sample card.
inline std::vector<std::string> InstallAnswers()
{
    return {"page 105: click Continue",
            "page 107: click Continue",
            "page 106: check \"PDA Storage Memory\"; click Continue",
            "page 104: click Continue",
            "page 112: select 1014 Russian; click Install",
            "message 216: answer OK"};
}

// The index of an entry in the list box of a page event.
inline int ItemIndex(const std::string &transcript, int page, int control, const std::string &text)
{
    for (const nlohmann::json &e : Events(transcript)) {
        if (e.value("event", "") != "page" || e.value("id", -1) != page)
            continue;
        for (const nlohmann::json &c : e["controls"])
            if (c.value("id", -1) == control && c.contains("items"))
                for (size_t i = 0; i < c["items"].size(); ++i)
                    if (c["items"][i] == text)
                        return int(i);
    }
    return -1;
}

class FrontendRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string sample = std::string(CESETUP_SOURCE_DIR) + "/samples/card";
        std::filesystem::copy(sample, card, std::filesystem::copy_options::recursive);
        std::filesystem::copy(sample, refCard, std::filesystem::copy_options::recursive);
    }

    // The unattended run of the same choices on the reference device.
    e2e::SetupRun Reference(const std::vector<std::string> &answers)
    {
        e2e::SetupOptions o;
        o.device = refDevice;
        o.card = refCard;
        o.answers = answers;
        return e2e::RunSetup(o);
    }

    // Replays the answers recorded by the interactive run (--record) under
    // --ui none on a fresh device and card of its own.
    e2e::SetupRun Replay(const std::string &recorded)
    {
        std::filesystem::copy(std::string(CESETUP_SOURCE_DIR) + "/samples/card", replayCard,
                              std::filesystem::copy_options::recursive);
        e2e::SetupOptions o;
        o.device = replayDevice;
        o.card = replayCard;
        o.extra = {"--answers", recorded};
        return e2e::RunSetup(o);
    }

    // The device files and registry of both runs are the same.
    void ExpectSameAsReference(const std::string &what) { ExpectSameDevices(what, refDevice, refCard); }
    void ExpectSameDevices(const std::string &what, const std::string &refDevice, const std::string &refCard)
    {
        auto mine = e2e::Listing(device + "/store");
        auto ref = e2e::Listing(refDevice + "/store");
        EXPECT_EQ(mine.size(), ref.size()) << what << ": number of files and folders in the store";
        for (const auto &kv : ref) {
            auto it = mine.find(kv.first);
            if (it == mine.end())
                ADD_FAILURE() << what << ": missing " << kv.first;
            else
                EXPECT_TRUE(it->second == kv.second) << what << ": content of " << kv.first;
        }
        for (const auto &kv : mine)
            if (!ref.count(kv.first))
                ADD_FAILURE() << what << ": extra " << kv.first;
        std::string myReg = e2e::RegExport(device), refReg = e2e::RegExport(refDevice);
        EXPECT_FALSE(refReg.empty()) << what << ": the reference registry export";
        EXPECT_EQ(myReg, refReg) << what << ": registry export";
        EXPECT_EQ(e2e::Listing(card), e2e::Listing(refCard)) << what << ": the card";
    }

    // The interactive run recorded in transcript showed the same pages and
    // left the same device as the unattended first installation.
    void ExpectLikeUnattendedInstall(const std::string &transcript)
    {
        e2e::SetupRun ref = Reference(InstallAnswers());
        ASSERT_EQ(ref.exitCode, 0) << ref.err;
        EXPECT_EQ(PageIds(transcript), ref.PageIds()) << "the same pages as the unattended run";
        ExpectSameAsReference("after the installation");
    }

    cetest::TempDir root;
    std::string device = root.path + "/device", card = root.path + "/card";
    std::string refDevice = root.path + "/ref-device", refCard = root.path + "/ref-card";
    std::string replayDevice = root.path + "/replay-device", replayCard = root.path + "/replay-card";
};

} // namespace fekit

#endif
