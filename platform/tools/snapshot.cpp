// snapshot.cpp - the device tool's snapshot and diff commands: a device's
// files and registry taken through the device's own calls (so the
// platform's bookkeeping files never show), and the differences of two
// devices or snapshots.
#include <windows.h>

#include "device/device.h"
#include "kernel/hostfile.h"
#include "registry/registry.h"
#include "text/text.h"
#include "tools/snapshot.h"
#include "tools/tool.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace cedevice {
namespace {

using nlohmann::json;

// Reads a device file through a handle and hashes it; false when it
// cannot be read.
bool HashFile(const std::u16string &path, uint64_t &size, std::string &hex)
{
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    Sha256 sha;
    size = 0;
    std::vector<char> buf(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf.data(), DWORD(buf.size()), &got, nullptr)) {
            CloseHandle(h);
            return false;
        }
        if (got == 0)
            break;
        sha.Update(buf.data(), got);
        size += got;
    }
    CloseHandle(h);
    hex = sha.Hex();
    return true;
}

// Every folder and file under a device folder, parents first, in the
// device's listing order.
bool Walk(const std::u16string &folder, json &files, std::string &error)
{
    WIN32_FIND_DATAW fd;
    std::u16string pattern = folder + u"\\*";
    HANDLE h = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.c_str()), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_FILES;
    std::vector<std::u16string> folders;
    do {
        std::u16string name(reinterpret_cast<const char16_t *>(fd.cFileName));
        std::u16string path = folder + u"\\" + name;
        json entry;
        entry["path"] = plat::ToUtf8(path);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entry["folder"] = true;
            files.push_back(entry);
            folders.push_back(path);
            continue;
        }
        uint64_t size = 0;
        std::string hex;
        if (!HashFile(path, size, hex)) {
            error = "cannot read the device file " + plat::ToUtf8(path) + " (error " + std::to_string(GetLastError()) + ")";
            FindClose(h);
            return false;
        }
        entry["size"] = size;
        entry["sha256"] = hex;
        files.push_back(entry);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    for (const std::u16string &f : folders)
        if (!Walk(f, files, error))
            return false;
    return true;
}

std::string Fold(const std::string &utf8)
{
    return plat::ToUtf8(plat::Fold(plat::FromUtf8(utf8)));
}

bool IsSnapshot(const json &j)
{
    return j.is_object() && j.value("snapshot", 0) == 1 && j.contains("files") && j["files"].is_array() &&
           j.contains("registry") && j["registry"].is_array();
}

} // namespace

nlohmann::ordered_json Difference::Json() const
{
    nlohmann::ordered_json j;
    j["kind"] = kind;
    j["change"] = change;
    if (kind == "file" || kind == "folder") {
        j["path"] = path;
    } else {
        j["key"] = key;
        if (kind == "value")
            j["value"] = value;
    }
    return j;
}

std::string Difference::Text() const
{
    std::string where = kind == "file" || kind == "folder" ? path
                        : kind == "key"                    ? key
                                                           : key + " : " + (value.empty() ? "@" : value);
    return change + " " + kind + " " + where;
}

bool SnapshotOpenDevice(json &out, std::string &error)
{
    out = json::object();
    out["snapshot"] = 1;
    json files = json::array();
    if (!Walk(u"", files, error))
        return false;
    out["files"] = files;
    std::ostringstream reg;
    if (!plat::RegistryDump(reg, error))
        return false;
    json keys = json::array();
    std::istringstream lines(reg.str());
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            keys.push_back(json::parse(line));
    out["registry"] = keys;
    return true;
}

bool LoadState(const std::string &where, json &out, std::string &error)
{
    std::error_code ec;
    if (std::filesystem::is_directory(where, ec)) {
        if (!OpenExisting(where, error))
            return false;
        bool ok = SnapshotOpenDevice(out, error);
        plat::DeviceClose();
        if (!ok)
            error = where + ": " + error;
        return ok;
    }
    std::ifstream in(where, std::ios::binary);
    if (!in) {
        error = where + ": neither a device folder nor a readable snapshot file";
        return false;
    }
    out = json::parse(in, nullptr, false);
    if (out.is_discarded() || !IsSnapshot(out)) {
        error = where + ": not a snapshot (make one with: cedevice snapshot DIR " + where + ")";
        return false;
    }
    return true;
}

std::vector<Difference> CompareStates(const json &a, const json &b)
{
    std::vector<Difference> out;
    // Files and folders, by folded path; a file that became a folder is a
    // removal and an addition.
    std::map<std::string, const json *> fa, fb;
    for (const json &f : a["files"])
        fa[Fold(f.value("path", ""))] = &f;
    for (const json &f : b["files"])
        fb[Fold(f.value("path", ""))] = &f;
    auto kindOf = [](const json &f) { return f.value("folder", false) ? std::string("folder") : std::string("file"); };
    for (const auto &kv : fa) {
        auto it = fb.find(kv.first);
        const json &f = *kv.second;
        if (it == fb.end() || kindOf(*it->second) != kindOf(f)) {
            out.push_back({kindOf(f), "removed", f.value("path", ""), "", ""});
            if (it != fb.end())
                out.push_back({kindOf(*it->second), "added", it->second->value("path", ""), "", ""});
        } else if (kindOf(f) == "file" && (f.value("size", uint64_t(0)) != it->second->value("size", uint64_t(0)) ||
                                           f.value("sha256", "") != it->second->value("sha256", ""))) {
            out.push_back({"file", "changed", f.value("path", ""), "", ""});
        }
    }
    for (const auto &kv : fb)
        if (!fa.count(kv.first))
            out.push_back({kindOf(*kv.second), "added", kv.second->value("path", ""), "", ""});

    // Keys by folded path, then the values of keys in both.
    std::map<std::string, const json *> ka, kb;
    for (const json &k : a["registry"])
        ka[Fold(k.value("key", ""))] = &k;
    for (const json &k : b["registry"])
        kb[Fold(k.value("key", ""))] = &k;
    for (const auto &kv : ka) {
        const json &k = *kv.second;
        auto it = kb.find(kv.first);
        if (it == kb.end()) {
            out.push_back({"key", "removed", "", k.value("key", ""), ""});
            continue;
        }
        if (k.value("class", "") != it->second->value("class", ""))
            out.push_back({"key", "changed", "", k.value("key", ""), ""});
        std::map<std::string, const json *> va, vb;
        for (const json &v : k["values"])
            va[Fold(v.value("name", ""))] = &v;
        for (const json &v : (*it->second)["values"])
            vb[Fold(v.value("name", ""))] = &v;
        for (const auto &v : va) {
            auto w = vb.find(v.first);
            if (w == vb.end())
                out.push_back({"value", "removed", "", k.value("key", ""), v.second->value("name", "")});
            else if ((*v.second)["type"] != (*w->second)["type"] || (*v.second)["data"] != (*w->second)["data"])
                out.push_back({"value", "changed", "", k.value("key", ""), v.second->value("name", "")});
        }
        for (const auto &w : vb)
            if (!va.count(w.first))
                out.push_back({"value", "added", "", k.value("key", ""), w.second->value("name", "")});
    }
    for (const auto &kv : kb)
        if (!ka.count(kv.first))
            out.push_back({"key", "added", "", kv.second->value("key", ""), ""});
    return out;
}

int Snapshot(const std::vector<std::string> &args)
{
    if (args.size() != 2)
        return Usage("snapshot needs DIR and FILE");
    std::string error;
    json state;
    if (!LoadState(args[0], state, error) || !IsSnapshot(state))
        return Fail(error.empty() ? args[0] + ": not a device folder" : error);
    // Written whole or not at all: a failed write never leaves half a snapshot.
    std::string reason;
    if (!plat::WriteHostFileWhole(args[1], state.dump() + "\n", reason))
        return Fail("cannot write the snapshot " + args[1] + ": " + reason +
                    " (check the folder exists and is writable)");
    return 0;
}

int Diff(const std::vector<std::string> &args)
{
    bool asJson = false;
    std::vector<std::string> sides;
    for (const std::string &a : args) {
        if (a == "--json")
            asJson = true;
        else if (a.size() > 1 && a[0] == '-')
            return Usage("unknown option " + a);
        else
            sides.push_back(a);
    }
    if (sides.size() != 2)
        return Usage("diff needs two devices or snapshots");
    json a, b;
    std::string error;
    if (!LoadState(sides[0], a, error) || !LoadState(sides[1], b, error))
        return Fail(error);
    std::vector<Difference> diffs = CompareStates(a, b);
    for (const Difference &d : diffs)
        std::cout << (asJson ? d.Json().dump() : d.Text()) << "\n";
    std::cout.flush();
    return diffs.empty() ? 0 : 3;
}

} // namespace cedevice
