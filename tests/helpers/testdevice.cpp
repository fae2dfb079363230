// testdevice.cpp - temporary devices and host file helpers for the tests.
#include "helpers/testdevice.h"

#include "internal/resources.h"
#include "internal/window.h"

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

std::u16string U16(const std::string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        uint32_t cp;
        int n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1f; n = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0f; n = 3; }
        else { cp = c & 0x07; n = 4; }
        for (int k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (s[i + k] & 0x3f);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xd800 + (cp >> 10)));
            out.push_back(char16_t(0xdc00 + (cp & 0x3ff)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

std::string U8(const std::u16string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xd800 && cp < 0xdc00 && i + 1 < s.size()) {
            cp = 0x10000 + ((cp - 0xd800) << 10) + (s[i + 1] - 0xdc00);
            ++i;
        }
        if (cp < 0x80) out += char(cp);
        else if (cp < 0x800) { out += char(0xc0 | (cp >> 6)); out += char(0x80 | (cp & 0x3f)); }
        else if (cp < 0x10000) {
            out += char(0xe0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3f));
            out += char(0x80 | (cp & 0x3f));
        } else {
            out += char(0xf0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3f));
            out += char(0x80 | ((cp >> 6) & 0x3f));
            out += char(0x80 | (cp & 0x3f));
        }
    }
    return out;
}

void DeviceFixture::SetUp()
{
    deviceDir = root.path + "/device";
    cardDir = root.path + "/card";
    fs::create_directories(cardDir);
    plat::ResourcesSet(g_ceResourceData, g_ceResourceSize);
    plat::UserReset();
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
