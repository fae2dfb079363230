// file_find_test.cpp - file searches see a folder as it is now: every change
// made since the last search, by another process, a child or the host, is
// seen by the next one (a cache of a folder's names must not hide any).
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "file_testutil.h"

namespace {

class FileFind : public cetest::DeviceFixture {
protected:
    // The names that match PATTERN, in the order the search gives them.
    std::vector<std::string> Names(const char16_t *pattern)
    {
        std::vector<std::string> out;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(pattern, &fd);
        if (h == INVALID_HANDLE_VALUE)
            return out;
        do
            out.push_back(cetest::U8(fd.cFileName));
        while (FindNextFileW(h, &fd));
        FindClose(h);
        return out;
    }
};

TEST_F(FileFind, ASearchSeesWhatAnotherProcessChangedSinceTheLast)
{
    const std::string card = cardDir;
    const struct {
        const char *what;
        std::function<void()> change;
        std::vector<std::string> after; // of *.load
    } cases[] = {
        {"a file made", [&] { cetest::WriteHostFile(card + "/c.load", "c"); }, {"a.load", "b.load", "c.load"}},
        {"a file removed", [&] { unlink((card + "/a.load").c_str()); }, {"b.load"}},
        {"a file renamed", [&] { rename((card + "/a.load").c_str(), (card + "/z.load").c_str()); },
         {"b.load", "z.load"}},
        {"a file moved in", [&] {
             cetest::WriteHostFile(card + "/../elsewhere.load", "e");
             rename((card + "/../elsewhere.load").c_str(), (card + "/e.load").c_str());
         }, {"a.load", "b.load", "e.load"}},
        {"a file moved out", [&] { rename((card + "/b.load").c_str(), (card + "/../b.load").c_str()); },
         {"a.load"}},
        {"a folder made", [&] { mkdir((card + "/d.load").c_str(), 0755); }, {"a.load", "b.load", "d.load"}},
        {"the folder replaced", [&] {
             rename(card.c_str(), (card + ".old").c_str());
             mkdir(card.c_str(), 0755);
             cetest::WriteHostFile(card + "/n.load", "n");
         }, {"n.load"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // A card of two scripts, searched twice (the second search may use
        // what the first read).
        std::string cmd = "rm -rf '" + card + "' '" + card + ".old' '" + card + "/../b.load'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        ASSERT_EQ(mkdir(card.c_str(), 0755), 0);
        cetest::WriteHostFile(card + "/a.load", "a");
        cetest::WriteHostFile(card + "/b.load", "b");
        cetest::WriteHostFile(card + "/readme.txt", "r");
        EXPECT_EQ(Names(u"\\Storage Card\\*.load"), (std::vector<std::string>{"a.load", "b.load"}));
        EXPECT_EQ(Names(u"\\Storage Card\\*.load"), (std::vector<std::string>{"a.load", "b.load"}));
        ASSERT_EQ(filetest::InChild([&] { return c.change(), 0; }), 0);
        EXPECT_EQ(Names(u"\\Storage Card\\*.load"), c.after);
        EXPECT_EQ(Names(u"\\Storage Card\\*.load"), c.after) << "a second search after the change";
    }
}

TEST_F(FileFind, ASearchSeesTheDevicesOwnChanges)
{
    // Made, deleted and moved through the device's own calls, between
    // searches of the same folder.
    EXPECT_TRUE(Names(u"\\Temp\\*").empty());
    HANDLE h = CreateFileW(u"\\Temp\\one.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(h);
    EXPECT_EQ(Names(u"\\Temp\\*"), std::vector<std::string>{"one.txt"});
    ASSERT_TRUE(MoveFileW(u"\\Temp\\one.txt", u"\\Temp\\two.txt")) << GetLastError();
    EXPECT_EQ(Names(u"\\Temp\\*"), std::vector<std::string>{"two.txt"});
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\sub", nullptr)) << GetLastError();
    EXPECT_EQ(Names(u"\\Temp\\*"), (std::vector<std::string>{"sub", "two.txt"}));
    ASSERT_TRUE(DeleteFileW(u"\\Temp\\two.txt")) << GetLastError();
    EXPECT_EQ(Names(u"\\Temp\\*"), std::vector<std::string>{"sub"});
}

TEST_F(FileFind, AChildProcessSearchesAfresh)
{
    // A child shares nothing it could miss a change through: a change that
    // the child sees does not hide it from the parent, and the reverse.
    cetest::WriteHostFile(cardDir + "/a.load", "a");
    EXPECT_EQ(Names(u"\\Storage Card\\*.load"), std::vector<std::string>{"a.load"});
    const std::string card = cardDir;
    EXPECT_EQ(filetest::InChild([&] {
                  cetest::WriteHostFile(card + "/b.load", "b");
                  return Names(u"\\Storage Card\\*.load") == std::vector<std::string>{"a.load", "b.load"} ? 0 : 1;
              }),
              0)
        << "the child did not see its own file";
    EXPECT_EQ(Names(u"\\Storage Card\\*.load"), (std::vector<std::string>{"a.load", "b.load"}))
        << "the parent missed what the child made";
}

} // namespace
