// regstore.h - the registry area's private view of its store, shared by the
// Reg* calls (registry.cpp) and the text forms (regexport.cpp).
//
// Keys are rows with a parent; the four predefined roots are the rows 1 to 4.
// Names are kept as UTF-16 with their case; lookups and the enumeration
// order use the case-folded name, stored big-endian so that SQLite's byte
// order is the code-unit order.
#ifndef CE_PLATFORM_REGISTRY_REGSTORE_H
#define CE_PLATFORM_REGISTRY_REGSTORE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plat {
namespace reg {

constexpr int kRootCount = 4;

// Full names of the roots, in handle order (HKEY_CLASSES_ROOT first).
extern const char16_t *const kRootNames[kRootCount];

// Row id of the root with that predefined handle value, or 0.
int64_t RootIdOfHandle(uint32_t hkey);

struct ValueRow {
    std::u16string name;
    uint32_t type = 0;
    std::string data; // raw bytes
};

struct KeyRow {
    int64_t id = 0;
    std::u16string path; // "HKEY_LOCAL_MACHINE\Software\Apps", stored case
    std::u16string cls;
    std::vector<ValueRow> values; // enumeration order
    bool hasChildren = false;
};

// Walks the keys under startPath ("" = every root) in enumeration order,
// parents first, inside one read transaction of the open store, calling
// visit for each. A root is visited only when it is the start or holds
// values. False with a message when the store is not open, the start key
// does not exist, or reading fails.
bool Walk(const std::string &startPathUtf8, const std::function<void(const KeyRow &)> &visit,
          std::string &error);

} // namespace reg
} // namespace plat

#endif
