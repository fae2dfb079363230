// scriptkit.cpp - scripts, packages, message boxes and registry reads for
// the tests of installation scripts.
#include "helpers/scriptkit.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <windows.h>

#include "kernel/device.h"
#include "user/msgbox.h"
#include "user/resources.h"
#include "support/supp.h"

namespace fs = std::filesystem;

namespace cetest {

std::vector<std::string> ScriptHeader::Lines() const
{
    return {"// " + product, "// " + root + " " + key, "// " + folder,
            "// " + bitmap,  "// " + location,        "// " + note};
}

std::string ScriptHeader::Text() const
{
    return CrLf(Lines());
}

std::string CrLf(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &l : lines)
        out += l + "\r\n";
    return out;
}

std::vector<std::string> SplitCrLf(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t pos = 0, end; pos < text.size(); pos = end + 2) {
        end = std::min(text.find("\r\n", pos), text.size());
        out.push_back(text.substr(pos, end - pos));
    }
    return out;
}

std::string Bytes(size_t n, char seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(seed + (i * 7 + i / 251) % 23);
    return s;
}

static bool StartsWith(const std::u16string &s, const std::u16string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

int MessageIdOfText(const std::u16string &text)
{
    if (StartsWith(text, u"Setup cannot copy file"))
        return text.find(u"Retry?") != std::u16string::npos ? 204 : 212;
    if (StartsWith(text, u"Setup cannot read from the file"))
        return 211;
    if (text == u"Setup cannot write information to the registry.")
        return 213;
    if (text == u"Setup cannot find any information file.")
        return 215;
    return 0;
}

MessageLog::MessageLog()
{
    plat::ResourcesSet(g_ceResourceData, g_ceResourceSize);
    Supp_MsgInit(plat::kProgramInstance, 201);
    plat::SetMessageBoxHook([this](HWND, const std::u16string &text, const std::u16string &, UINT type) {
        seen.push_back({MessageIdOfText(text), U8(text), type});
        if (!answers.empty()) {
            int a = answers.front();
            answers.pop_front();
            return a;
        }
        return defaultAnswer;
    });
}

MessageLog::~MessageLog()
{
    plat::SetMessageBoxHook({});
}

std::vector<int> MessageLog::Ids() const
{
    std::vector<int> ids;
    for (const auto &m : seen)
        ids.push_back(m.id);
    return ids;
}

int MessageLog::Count(int id) const
{
    return int(std::count_if(seen.begin(), seen.end(), [id](const SeenMessage &m) { return m.id == id; }));
}

bool ScriptFixture::KeyExists(uint32_t root, const std::u16string &path)
{
    HKEY key = 0;
    bool there = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) == 0;
    if (there)
        RegCloseKey(key);
    return there;
}

bool ScriptFixture::ReadDword(uint32_t root, const std::u16string &path, const std::u16string &name,
                              uint32_t &value)
{
    uint32_t type = 0;
    std::string bytes;
    if (QueryValue(root, path, name, &type, &bytes) != 0 || type != REG_DWORD || bytes.size() != 4)
        return false;
    memcpy(&value, bytes.data(), 4);
    return true;
}

bool ScriptFixture::ReadString(uint32_t root, const std::u16string &path, const std::u16string &name,
                               std::u16string &value)
{
    uint32_t type = 0;
    std::string bytes;
    if (QueryValue(root, path, name, &type, &bytes) != 0 || type != REG_SZ)
        return false;
    value.assign((const char16_t *)bytes.data(), bytes.size() / 2);
    while (!value.empty() && value.back() == 0)
        value.pop_back();
    return true;
}

uint32_t ScriptFixture::SharedCount(const std::string &devicePath)
{
    uint32_t v = 0;
    return ReadDword(0x80000002u, u"Software\\Apps\\Shared", U16(devicePath), v) ? v : 0;
}

bool ScriptFixture::CreateKey(uint32_t root, const std::u16string &path)
{
    HKEY key = 0;
    DWORD disp = 0;
    bool made = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, &disp) == 0;
    if (made)
        RegCloseKey(key);
    return made;
}

long ScriptFixture::QueryValue(uint32_t root, const std::u16string &path, const std::u16string &name,
                               uint32_t *type, std::string *bytes)
{
    HKEY key = 0;
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (rc != 0)
        return rc;
    BYTE buf[1024];
    DWORD t = 0, size = sizeof(buf);
    rc = RegQueryValueExW(key, name.c_str(), nullptr, &t, buf, &size);
    RegCloseKey(key);
    if (rc == 0 && type)
        *type = t;
    if (rc == 0 && bytes)
        bytes->assign((const char *)buf, size);
    return rc;
}

bool ScriptFixture::PutValue(uint32_t root, const std::u16string &path, const std::u16string &name,
                             uint32_t type, const std::string &bytes)
{
    HKEY key = 0;
    DWORD disp = 0;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, &disp) != 0)
        return false;
    LONG rc = RegSetValueExW(key, name.c_str(), 0, type, (const BYTE *)bytes.data(), DWORD(bytes.size()));
    RegCloseKey(key);
    return rc == 0;
}

std::vector<std::pair<std::string, uint64_t>> ScriptFixture::HostTree(const std::string &dir)
{
    std::vector<std::pair<std::string, uint64_t>> out;
    std::error_code ec;
    if (!fs::exists(dir, ec))
        return out;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec)
            break;
        std::string rel = fs::relative(it->path(), dir, ec).string();
        if (it->is_regular_file(ec))
            out.push_back({rel, uint64_t(it->file_size(ec))});
        else if (it->is_directory(ec))
            out.push_back({rel + "/", 0});
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace cetest
