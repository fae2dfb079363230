// editions_test.cpp - two editions of one product family installed side by
// side from two cards, removed in both orders: the family's shortcut
// follows whichever edition is still installed.
#include "e2e_fixture.h"

#include <filesystem>

namespace fs = std::filesystem;
using e2etest::E2ETest;

namespace {

class EditionsTest : public E2ETest {
protected:
    static void Edition(const std::string &dir, const std::string &product, const std::string &key,
                        const std::string &folder)
    {
        e2e::Header h{product, key, folder, "Setup.bmp", false};
        cetest::WriteHostFile(dir + "/MiskaWce/MiskaEd.load",
                              e2e::Script(h, {"regKeyCreate HKEY_LOCAL_MACHINE " + key, "copyShared . . Scrivox.exe",
                                              "exit"}));
        cetest::WriteHostFile(dir + "/MiskaWce/Scrivox.exe.ARM", e2e::ProgramBytes(product, 1500));
    }

    // Installs (or, when installed, removes) the edition on a card.
    void Turn(const std::string &cardDir, bool install)
    {
        card = cardDir;
        e2e::SetupRun r = Run(install ? std::vector<std::string>{"page 105: click Continue", "page 107: click Continue",
                                                                  "page 104: click Continue", "message 216: answer OK"}
                                      : std::vector<std::string>{"page 108: click Remove", "message 217: answer OK"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.MessageIds(), std::vector<int>{install ? 216 : 217});
    }

    // Both shortcuts of the family: their text, or "" for none.
    void ExpectLinks(const std::string &target, const std::string &when)
    {
        for (const char *link : {"Windows/Start Menu/Programs/Pocket MISKA 2.0.lnk", "Windows/Start Menu/Pocket MISKA 2.0.lnk"}) {
            if (target.empty())
                EXPECT_FALSE(StoreHas(link)) << when << ": " << link;
            else
                EXPECT_EQ(ReadStore(link), LinkText(target)) << when << ": " << link;
        }
    }
};

TEST_F(EditionsTest, ShortcutFollowsTheEditionStillInstalled)
{
    const std::string cardStd = root.path + "/cardA", cardPro = root.path + "/cardB";
    Edition(cardStd, "Pocket MISKA 2.0 Standard", "Software\\MiskaStd", "MiskaStd");
    Edition(cardPro, "Pocket MISKA 2.0 Pro", "Software\\MiskaPro", "MiskaPro");
    const std::string exeStd = "\"\\Program Files\\MiskaStd\\Scrivox.exe\"";
    const std::string exePro = "\"\\Program Files\\MiskaPro\\Scrivox.exe\"";
    for (bool newerFirst : {true, false}) {
        SCOPED_TRACE(newerFirst ? "the newer edition removed first" : "the older edition removed first");
        fs::remove_all(device);
        Turn(cardStd, true);
        ExpectLinks(exeStd, "one edition");
        Turn(cardPro, true);
        ExpectLinks(exePro, "the newer edition takes the shortcut");

        Turn(newerFirst ? cardPro : cardStd, false);
        ExpectLinks(newerFirst ? exeStd : exePro, "the edition still installed");
        EXPECT_EQ(StoreHas("Program Files/MiskaStd/Scrivox.exe"), newerFirst);
        EXPECT_EQ(StoreHas("Program Files/MiskaPro/Scrivox.exe"), !newerFirst);
        std::string reg = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell");
        EXPECT_EQ(Contains(reg, "Pocket MISKA 2.0 Standard"), newerFirst) << reg;
        EXPECT_TRUE(Contains(reg, std::string("\"Target\"=\"\\\\Program Files\\\\") +
                                      (newerFirst ? "MiskaStd" : "MiskaPro") + "\\\\Scrivox.exe\""))
            << reg;

        Turn(newerFirst ? cardStd : cardPro, false);
        ExpectLinks("", "no edition left");
    }
}

} // namespace
