// snapshot.h - a device's state as one JSON document (every store file
// with its size and SHA-256, every folder, the whole registry), and the
// differences of two such states.
#ifndef CE_PLATFORM_TOOLS_SNAPSHOT_H
#define CE_PLATFORM_TOOLS_SNAPSHOT_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace cedevice {

class Sha256 {
public:
    Sha256();
    void Update(const void *data, size_t size);
    // The digest as 64 lower-case hex digits; call once, last.
    std::string Hex();

private:
    void Block(const unsigned char *p);
    uint32_t state_[8];
    unsigned char buffer_[64] = {};
    size_t used_ = 0;
    uint64_t length_ = 0;
};

// {"snapshot":1,"files":[{"path":"\\Windows","folder":true},{"path":..,"size":N,"sha256":".."}],
//  "registry":[the objects of "reg dump"]}. The device must be open.
bool SnapshotOpenDevice(nlohmann::json &out, std::string &error);

// A device folder (opened and closed here) or a snapshot file.
bool LoadState(const std::string &deviceOrFile, nlohmann::json &out, std::string &error);

struct Difference {
    std::string kind;   // file, folder, key, value
    std::string change; // added, removed, changed
    std::string path;   // file and folder: the device path
    std::string key;    // key and value: the key path
    std::string value;  // value: the value's name

    nlohmann::ordered_json Json() const;
    std::string Text() const; // "added file \Program Files\X\a.exe"
};

// What changed from a to b: files and folders by device path, keys and
// values by name, all compared as the device compares names (case ignored).
std::vector<Difference> CompareStates(const nlohmann::json &a, const nlohmann::json &b);

} // namespace cedevice

#endif
