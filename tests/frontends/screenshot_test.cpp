// screenshot_test.cpp - a screenshot file is there whole or not at all:
// written beside its name and renamed over it, so a watcher never reads a
// part of one and a failed write leaves nothing behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "frontends/frontend_internal.h"
#include "helpers/testdevice.h"

namespace {

class Screenshot : public cetest::DeviceFixture {};

std::vector<std::string> Names(const std::string &dir)
{
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

// A whole PNG: its signature first and its IEND chunk last.
bool WholePng(const std::string &data)
{
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    return data.size() > 20 && data.compare(0, 8, signature) == 0 &&
           data.compare(data.size() - 8, 4, "IEND") == 0;
}

TEST_F(Screenshot, WrittenWholeOrNotAtAll)
{
    struct Case {
        const char *what;
        void (*before)(const std::string &path); // what is at the path first
        bool saved;
    };
    const Case cases[] = {
        {"a new name", [](const std::string &) {}, true},
        {"an older file of that name", [](const std::string &p) { cetest::WriteHostFile(p, "old and shorter"); },
         true},
        {"a folder of that name", [](const std::string &p) { mkdir(p.c_str(), 0755); }, false},
    };
    for (const Case &c : cases) {
        cetest::TempDir dir;
        const std::string path = dir.path + "/page-105.png";
        c.before(path);
        std::string error;
        EXPECT_EQ(plat::ScreenSavePng(path, error), c.saved) << c.what << ": " << error;
        EXPECT_EQ(Names(dir.path), std::vector<std::string>{"page-105.png"}) << c.what << ": nothing else left";
        struct stat st{};
        ASSERT_EQ(stat(path.c_str(), &st), 0) << c.what;
        if (c.saved) {
            EXPECT_TRUE(WholePng(cetest::ReadHostFile(path))) << c.what;
        } else {
            EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.what << ": the folder is left as it was";
            EXPECT_EQ(error, "cannot write " + path + " (Is a directory)") << c.what;
        }
    }
    std::string error;
    EXPECT_FALSE(plat::ScreenSavePng("/nonexistent-folder/shot.png", error));
    EXPECT_EQ(error, "cannot write /nonexistent-folder/shot.png (No such file or directory)");
}

// A watcher reading the file while it is saved again and again never finds
// a part of an image (it used to find the file emptied by the open).
TEST_F(Screenshot, AWatcherNeverReadsAPartOfOne)
{
    cetest::TempDir dir;
    const std::string path = dir.path + "/page-105.png";
    std::string error;
    ASSERT_TRUE(plat::ScreenSavePng(path, error)) << error;
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, parts{0};
    std::thread watcher([&] {
        while (!done.load()) {
            std::string data = cetest::ReadHostFile(path);
            ++reads;
            if (!WholePng(data))
                ++parts;
        }
    });
    for (int i = 0; i < 150; ++i)
        ASSERT_TRUE(plat::ScreenSavePng(path, error)) << error;
    done = true;
    watcher.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(parts.load(), 0) << "of " << reads.load() << " reads";
}

} // namespace
