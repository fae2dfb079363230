// products.cpp - the device tool's products command: the products
// installed on a device, read from their install records, with the number
// of files each one's unload log copied (read with the program's own
// script reader).
#include <windows.h>

#include "device/device.h"
#include "text/text.h"
#include "registry/records.h"
#include "script/script.h"
#include "support/xstr.h"
#include "tools/tool.h"

#include <iostream>

#include <nlohmann/json.hpp>

namespace cedevice {
namespace {

std::u16string QueryText(HKEY key, const WCHAR *name)
{
    WCHAR buf[1024];
    DWORD type = 0, size = sizeof buf - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return u"";
    buf[size / sizeof(WCHAR)] = 0;
    return std::u16string(reinterpret_cast<const char16_t *>(buf));
}

int CountCopies(char *, int nCommand, SCRIPT_TOKEN *, void *pData)
{
    if (nCommand == SCRIPT_CMD_COPY || nCommand == SCRIPT_CMD_COPYSHARED)
        ++*static_cast<int *>(pData);
    return 1;
}

// The copy lines of an unload log: the files the installation copied.
int FilesOf(const std::u16string &log)
{
    char path[SCRIPT_DEST_SIZE];
    if (log.empty() || log.size() >= SCRIPT_PATH_SIZE)
        return 0;
    XStr_TString2String(reinterpret_cast<const WCHAR *>(log.c_str()), path, SCRIPT_PATH_SIZE);
    int n = 0;
    ReadScript(path, 0, nullptr, CountCopies, &n);
    return n;
}

} // namespace

int Products(const std::vector<std::string> &args)
{
    bool asJson = false;
    std::string dir;
    for (const std::string &a : args) {
        if (a == "--json")
            asJson = true;
        else if (a.size() > 1 && a[0] == '-')
            return Usage("unknown option " + a);
        else if (dir.empty())
            dir = a;
        else
            return Usage("unexpected argument \"" + a + "\"");
    }
    if (dir.empty())
        return Usage("products needs the device folder");
    std::string error;
    if (!OpenExisting(dir, error))
        return Fail(error);
    std::u16string installer = plat::FromUtf8(g_RegNames.pszInstallerKey);
    HKEY root = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(installer.c_str()), 0, 0, &root) !=
        ERROR_SUCCESS) {
        plat::DeviceClose();
        return 0; // nothing was ever installed
    }
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256;
        if (RegEnumKeyExW(root, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY product = 0;
        if (RegOpenKeyExW(root, name, 0, 0, &product) != ERROR_SUCCESS)
            continue;
        std::u16string folder = QueryText(product, g_RegNames.pszInstallFolder);
        std::u16string log = QueryText(product, g_RegNames.pszUnloadFileName);
        std::u16string language = QueryText(product, g_RegNames.pszLanguage);
        RegCloseKey(product);
        std::string productName = plat::ToUtf8(reinterpret_cast<const char16_t *>(name));
        int files = FilesOf(log);
        if (asJson) {
            nlohmann::ordered_json j;
            j["product"] = productName;
            j["folder"] = plat::ToUtf8(folder);
            j["unload_log"] = plat::ToUtf8(log);
            j["language"] = plat::ToUtf8(language);
            j["files"] = files;
            std::cout << j.dump() << "\n";
        } else {
            std::cout << productName << ": " << plat::ToUtf8(folder) << " (" << files << " files, language "
                      << (language.empty() ? std::string("none") : plat::ToUtf8(language)) << ")\n";
        }
    }
    RegCloseKey(root);
    plat::DeviceClose();
    std::cout.flush();
    return 0;
}

} // namespace cedevice
