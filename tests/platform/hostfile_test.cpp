// hostfile_test.cpp - host files written whole or not at all: whatever
// fails, the old file stays as it was and no temporary file is left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "kernel/hostfile.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> Names(const fs::path &dir)
{
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

TEST(HostFile, WrittenWholeOrNotAtAll)
{
    struct Case {
        const char *what;
        const char *before;   // the file's content before, null: none
        bool makeFolderThere; // the name is a folder (the rename fails)
        bool writerFails;
        bool ok;
    } cases[] = {
        {"a new file", nullptr, false, false, true},
        {"over an old file", "old content", false, false, true},
        {"a writer that fails keeps the old file", "old content", false, true, false},
        {"a writer that fails makes no file", nullptr, false, true, false},
        {"a name that is a folder", nullptr, true, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        char tmpl[] = "/tmp/hostfile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        fs::path dir = tmpl, file = dir / "device.ini";
        if (c.before)
            std::ofstream(file, std::ios::binary) << c.before;
        if (c.makeFolderThere) {
            fs::create_directory(file);
            std::ofstream(file / "inside") << "x";
        }
        std::set<std::string> namesBefore = Names(dir);
        std::string reason;
        bool ok = plat::WriteHostFileWhole(
            file.string(),
            [&](FILE *f) {
                std::fputs("new content", f);
                return !c.writerFails;
            },
            reason);
        EXPECT_EQ(ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(Read(file), "new content");
            EXPECT_EQ(Names(dir), std::set<std::string>{"device.ini"}) << "a temporary file is left";
        } else {
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(Names(dir), namesBefore) << "the folder changed";
            if (c.before) {
                EXPECT_EQ(Read(file), c.before);
            }
            if (c.makeFolderThere) {
                EXPECT_EQ(Read(file / "inside"), "x");
            }
        }
        fs::remove_all(dir);
    }
}

TEST(HostFile, AMissingFolderIsRefusedWithAReason)
{
    std::string reason;
    EXPECT_FALSE(plat::WriteHostFileWhole("/tmp/hostfile-no-such-folder-here/x.ini", "content", reason));
    EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
    EXPECT_FALSE(fs::exists("/tmp/hostfile-no-such-folder-here"));
}

} // namespace
