// resource.cpp - the program's resources: the standard binary resource file
// (.res) made by the resource compiler, read in place.
//
// The file is a sequence of entries, each a header (data size, header size,
// type and name as an ordinal or a string, version and flags) followed by
// its data, both aligned on 4 bytes. Entries are parsed once when the data
// is registered; every later lookup works on the index. Only the program
// instance (and a null module, which means the program) has resources.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/device.h"
#include "gdi/gdi.h"
#include "user/resources.h"

namespace plat {
namespace {

struct ResName {
    bool isId = true;
    uint16_t id = 0;
    std::u16string name; // upper case, as the resource compiler stores it
};

struct ResEntry {
    ResName type;
    ResName name;
    uint16_t language = 0;
    const uint8_t *data = nullptr;
    uint32_t size = 0;
};

std::mutex g_lock;
std::vector<ResEntry> g_entries;
const uint8_t *g_base = nullptr;
size_t g_size = 0;

thread_local uint32_t t_lastStringId = 0;
thread_local std::u16string t_lastString;

uint32_t Rd32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Rd16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// Reads a type or name field at p (within end); advances p. False when the
// field runs past the header.
bool ReadName(const uint8_t *&p, const uint8_t *end, ResName &out)
{
    if (end - p < 2)
        return false;
    if (Rd16(p) == 0xFFFF) {
        if (end - p < 4)
            return false;
        out.isId = true;
        out.id = Rd16(p + 2);
        p += 4;
        return true;
    }
    out.isId = false;
    out.name.clear();
    while (true) {
        if (end - p < 2)
            return false;
        uint16_t c = Rd16(p);
        p += 2;
        if (c == 0)
            break;
        out.name.push_back(char16_t(c));
    }
    return true;
}

bool ParseRes(const uint8_t *data, size_t size, std::vector<ResEntry> &out)
{
    size_t off = 0;
    while (off < size) {
        if (size - off < 8)
            return false;
        uint32_t dataSize = Rd32(data + off);
        uint32_t headerSize = Rd32(data + off + 4);
        if (headerSize < 24 || headerSize > size - off || dataSize > size - off - headerSize)
            return false;
        const uint8_t *p = data + off + 8;
        const uint8_t *hend = data + off + headerSize;
        ResEntry e;
        if (!ReadName(p, hend, e.type) || !ReadName(p, hend, e.name))
            return false;
        size_t rel = size_t(p - data);
        rel = (rel + 3) & ~size_t(3);
        p = data + rel;
        if (hend - p < 16)
            return false;
        e.language = Rd16(p + 6);
        e.data = data + off + headerSize;
        e.size = dataSize;
        // The first entry of a .res file is an empty marker (type 0).
        if (!(e.type.isId && e.type.id == 0))
            out.push_back(e);
        off += headerSize + dataSize;
        off = (off + 3) & ~size_t(3);
    }
    return true;
}

bool IsProgramModule(HMODULE h)
{
    return h == 0 || h == kProgramInstance;
}

bool NameMatches(const ResName &n, LPCWSTR want)
{
    if (IS_INTRESOURCE(want))
        return n.isId && n.id == uint16_t(uintptr_t(want));
    // "#123" names an ordinal, as on Windows.
    if (want[0] == u'#') {
        uint32_t v = 0;
        for (const WCHAR *q = want + 1; *q; ++q) {
            if (*q < u'0' || *q > u'9')
                return false;
            v = v * 10 + (*q - u'0');
            if (v > 0xFFFF)
                return false;
        }
        return n.isId && n.id == v;
    }
    if (n.isId)
        return false;
    std::u16string w;
    for (const WCHAR *q = want; *q; ++q)
        w.push_back((*q >= u'a' && *q <= u'z') ? char16_t(*q - 32) : *q);
    std::u16string have;
    for (char16_t c : n.name)
        have.push_back((c >= u'a' && c <= u'z') ? char16_t(c - 32) : c);
    return w == have;
}

const ResEntry *Find(LPCWSTR type, LPCWSTR name)
{
    for (const ResEntry &e : g_entries)
        if (NameMatches(e.type, type) && NameMatches(e.name, name))
            return &e;
    return nullptr;
}

} // namespace

bool ResourcesSet(const void *data, size_t size)
{
    {
        // Registering the same data again keeps the index (and the HRSRC
        // values already handed out).
        std::lock_guard<std::mutex> guard(g_lock);
        if (data && data == g_base && size == g_size)
            return true;
    }
    std::vector<ResEntry> entries;
    if (!data || !ParseRes(static_cast<const uint8_t *>(data), size, entries))
        return false;
    std::lock_guard<std::mutex> guard(g_lock);
    g_entries.swap(entries);
    g_base = static_cast<const uint8_t *>(data);
    g_size = size;
    return true;
}

int ResourceDialogIdOf(const void *templ)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const uint8_t *p = static_cast<const uint8_t *>(templ);
    for (const ResEntry &e : g_entries)
        if (e.type.isId && e.type.id == 5 && e.name.isId && p >= e.data && p < e.data + e.size)
            return e.name.id;
    return -1;
}

const uint8_t *ResourceEndOf(const void *ptr)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const uint8_t *p = static_cast<const uint8_t *>(ptr);
    for (const ResEntry &e : g_entries)
        if (p >= e.data && p < e.data + e.size)
            return e.data + e.size;
    return nullptr;
}

uint32_t ResourceLastStringId()
{
    return t_lastStringId;
}

const std::u16string &ResourceLastString()
{
    return t_lastString;
}

} // namespace plat

using namespace plat;

// FindResourceW
extern "C" HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType)
{
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsProgramModule(hModule)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    bool typeKnown = false;
    for (const ResEntry &e : g_entries)
        if (NameMatches(e.type, lpType)) {
            typeKnown = true;
            break;
        }
    if (!typeKnown) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    const ResEntry *e = Find(lpType, lpName);
    if (!e) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResEntry *>(e));
}

static const ResEntry *CheckInfo(HRSRC info)
{
    const ResEntry *e = reinterpret_cast<const ResEntry *>(info);
    for (const ResEntry &k : g_entries)
        if (&k == e)
            return e;
    return nullptr;
}

// LoadResource
extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const ResEntry *e = hResInfo ? CheckInfo(hResInfo) : nullptr;
    if (!e || !IsProgramModule(hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The resource data is mapped: the "handle" is its address.
    return const_cast<uint8_t *>(e->data);
}

// LockResource
extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData)
{
    return hResData;
}

// SizeofResource
extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const ResEntry *e = hResInfo ? CheckInfo(hResInfo) : nullptr;
    if (!e || !IsProgramModule(hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return e->size;
}

// LoadStringW
extern "C" int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax)
{
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!IsProgramModule(hInstance)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        if (cchBufferMax > 0)
            lpBuffer[0] = 0;
        return 0;
    }
    std::u16string text;
    bool found = false;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        // Strings come in blocks of 16: block (id / 16) + 1, each string a
        // length word followed by its units.
        const ResEntry *e = Find(RT_STRING, MAKEINTRESOURCEW((uID >> 4) + 1));
        if (e && uID <= 0xFFFF) {
            const uint8_t *p = e->data;
            const uint8_t *end = e->data + e->size;
            for (UINT i = 0; i <= (uID & 15); ++i) {
                if (end - p < 2)
                    break;
                uint16_t len = Rd16(p);
                p += 2;
                if (size_t(end - p) < size_t(len) * 2)
                    break;
                if (i == (uID & 15)) {
                    if (len > 0) {
                        for (uint16_t k = 0; k < len; ++k)
                            text.push_back(char16_t(Rd16(p + 2 * k)));
                        found = true;
                    }
                    break;
                }
                p += size_t(len) * 2;
            }
        }
    }
    if (!found) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (cchBufferMax > 0)
            lpBuffer[0] = 0;
        return 0;
    }
    t_lastStringId = uID;
    t_lastString = text;
    if (cchBufferMax <= 0) {
        // A zero size asks for a pointer to the string itself; the device's
        // strings are not terminated in place, so nothing can be returned.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    size_t n = text.size();
    if (n > size_t(cchBufferMax - 1))
        n = size_t(cchBufferMax - 1);
    std::memcpy(lpBuffer, text.data(), n * sizeof(WCHAR));
    lpBuffer[n] = 0;
    return int(n);
}

// Picks the icon image of a group closest to the wanted size.
static HICON LoadIconImage(LPCWSTR name, int cx, int cy)
{
    std::vector<uint8_t> image;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const ResEntry *group = Find(RT_GROUP_ICON, name);
        if (!group || group->size < 6) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return 0;
        }
        uint16_t count = Rd16(group->data + 4);
        if (group->size < 6 + size_t(count) * 14 || count == 0) {
            SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
            return 0;
        }
        int best = -1;
        long bestScore = 0;
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t *d = group->data + 6 + size_t(i) * 14;
            int w = d[0] ? d[0] : 256;
            int h = d[1] ? d[1] : 256;
            long score = labs(long(w) - cx) + labs(long(h) - cy);
            if (best < 0 || score < bestScore) {
                best = i;
                bestScore = score;
            }
        }
        uint16_t id = Rd16(group->data + 6 + size_t(best) * 14 + 12);
        const ResEntry *img = Find(RT_ICON, MAKEINTRESOURCEW(id));
        if (!img) {
            SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
            return 0;
        }
        image.assign(img->data, img->data + img->size);
    }
    HICON icon = GdiCreateIconFromImage(image.data(), image.size());
    if (!icon)
        SetLastError(ERROR_INVALID_DATA);
    return icon;
}

// LoadImageW
extern "C" HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad)
{
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (type != IMAGE_ICON || (fuLoad & LR_LOADFROMFILE)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (!IsProgramModule(hInst)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    if (cx <= 0)
        cx = 32;
    if (cy <= 0)
        cy = 32;
    return LoadIconImage(name, cx, cy);
}

// LoadIconW
extern "C" HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName)
{
    return LoadImageW(hInstance, lpIconName, IMAGE_ICON, 32, 32, 0);
}
