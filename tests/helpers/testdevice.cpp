// testdevice.cpp - temporary devices and host file helpers for the tests.
#include "helpers/testdevice.h"

#include "frontends/frontend.h"

#include "user/resources.h"
#include "text/text.h"
#include "user/window.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace cetest {

TempDir::TempDir()
{
    std::string tmpl = (fs::temp_directory_path() / "cesetup-test-XXXXXX").string();
    char *made = mkdtemp(tmpl.data());
    if (!made)
        std::abort();
    path = made;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

void WriteHostFile(const std::string &path, const std::string &content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadHostFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool HostExists(const std::string &path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// The device's own conversion, so host names and assertions agree with it.
std::u16string U16(const std::string &s) { return plat::FromUtf8(s); }
std::string U8(const std::u16string &s) { return plat::ToUtf8(s); }

void DeviceFixture::SetUp()
{
    deviceDir = root.path + "/device";
    cardDir = root.path + "/card";
    fs::create_directories(cardDir);
    plat::ResourcesSet(g_ceResourceData, g_ceResourceSize);
    plat::FrontendsAttach();
    plat::DeviceReset();
    Reopen({});
}

void DeviceFixture::Reopen(const plat::DeviceOverrides &overrides)
{
    plat::DeviceClose();
    std::string error;
    ASSERT_TRUE(plat::DeviceOpen(deviceDir, overrides, error)) << error;
    ASSERT_TRUE(plat::DeviceMount(u"Storage Card", cardDir, error)) << error;
    plat::DeviceSetModulePath(u"\\Storage Card\\Setup.exe");
}

void DeviceFixture::TearDown()
{
    // Whatever the test did to windows, their links still hold.
    EXPECT_EQ(plat::WindowTreeProblem(), "");
    plat::DeviceClose();
}

std::string DeviceFixture::StoreHost(const std::string &rel) const
{
    return deviceDir + "/store/" + rel;
}

std::string DeviceFixture::CardHost(const std::string &rel) const
{
    return cardDir + "/" + rel;
}

HWND CreateMainWindow(const char16_t *className)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = className;
    wc.hbrBackground = GetStockObject(LTGRAY_BRUSH);
    RegisterClassW(&wc);
    return CreateWindowExW(0, className, u"Setup", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, 0, 0, 0, nullptr);
}

} // namespace cetest
