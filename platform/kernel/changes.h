// changes.h - what the device's own calls changed: files and folders made,
// replaced or removed (kernel), keys and values made, set or removed
// (registry). Those areas publish each change that happened, after it
// happened; a higher area (the transcript) subscribes. A failed call
// publishes nothing, and reads never do.
#ifndef CE_PLATFORM_CHANGES_H
#define CE_PLATFORM_CHANGES_H

#include <cstdint>
#include <functional>
#include <string>

namespace plat {

struct DeviceChange {
    enum Op { Create, Replace, Delete, Mkdir, Rmdir, KeyCreate, KeyDelete, ValueSet, ValueDelete } op = Create;
    std::u16string path;  // files and folders: the absolute device path
    uint64_t bytes = 0;   // Create, Replace: the file's size when its handle closed
    std::u16string key;   // key and value ops: "HKEY_LOCAL_MACHINE\..."
    std::u16string value; // value ops: the value's name ("" the unnamed value)
};

using ChangeListener = std::function<void(const DeviceChange &)>;

// One listener; an empty one stops the publishing.
void ChangesSubscribe(ChangeListener listener);
// Whether anyone listens: the publishers skip building events otherwise.
bool ChangesWanted();
void ChangesPublish(const DeviceChange &change);

// The op's name in the transcript: create, replace, delete, mkdir, rmdir,
// key-create, key-delete, value-set, value-delete.
const char *ChangeOpName(DeviceChange::Op op);

} // namespace plat

#endif
