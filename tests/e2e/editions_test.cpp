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
    void SetUp() override
    {
        E2ETest::SetUp();
        cardA = card;
        cardB = root.path + "/cardB";
        Edition(cardA, "Pocket MISKA 2.0 Standard", "Software\\MiskaStd", "MiskaStd");
        Edition(cardB, "Pocket MISKA 2.0 Pro", "Software\\MiskaPro", "MiskaPro");
    }

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
    void Install(const std::string &cardDir) { Turn(cardDir, true); }
    void Remove(const std::string &cardDir) { Turn(cardDir, false); }

    std::string Programs() { return ReadStore("Windows/Start Menu/Programs/Pocket MISKA 2.0.lnk"); }
    std::string StartMenu() { return ReadStore("Windows/Start Menu/Pocket MISKA 2.0.lnk"); }

    std::string cardA, cardB;
    const std::string exeA = "\"\\Program Files\\MiskaStd\\Scrivox.exe\"";
    const std::string exeB = "\"\\Program Files\\MiskaPro\\Scrivox.exe\"";
};

TEST_F(EditionsTest, RemovingTheSecondPointsBackAtTheFirst)
{
    Install(cardA);
    EXPECT_EQ(Programs(), LinkText(exeA));
    Install(cardB);
    EXPECT_EQ(Programs(), LinkText(exeB)) << "the newer edition takes the shortcut";
    EXPECT_EQ(StartMenu(), LinkText(exeB));

    Remove(cardB);
    EXPECT_EQ(Programs(), LinkText(exeA)) << "re-pointed at the edition still installed";
    EXPECT_EQ(StartMenu(), LinkText(exeA));
    EXPECT_TRUE(StoreHas("Program Files/MiskaStd/Scrivox.exe"));
    EXPECT_FALSE(StoreHas("Program Files/MiskaPro/Scrivox.exe"));

    Remove(cardA);
    EXPECT_FALSE(StoreHas("Windows/Start Menu/Programs/Pocket MISKA 2.0.lnk")) << "no edition left";
    EXPECT_FALSE(StoreHas("Windows/Start Menu/Pocket MISKA 2.0.lnk"));
}

TEST_F(EditionsTest, RemovingTheFirstKeepsTheSecond)
{
    Install(cardA);
    Install(cardB);
    Remove(cardA);
    EXPECT_EQ(Programs(), LinkText(exeB)) << "the remaining edition keeps the shortcut";
    EXPECT_EQ(StartMenu(), LinkText(exeB));
    std::string reg = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell");
    EXPECT_FALSE(Contains(reg, "Pocket MISKA 2.0 Standard")) << reg;
    EXPECT_TRUE(Contains(reg, "\"Target\"=\"\\\\Program Files\\\\MiskaPro\\\\Scrivox.exe\"")) << reg;

    Remove(cardB);
    EXPECT_FALSE(StoreHas("Windows/Start Menu/Programs/Pocket MISKA 2.0.lnk"));
    EXPECT_FALSE(StoreHas("Windows/Start Menu/Pocket MISKA 2.0.lnk"));
}

} // namespace
