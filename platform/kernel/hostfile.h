// hostfile.h - host files written whole or not at all.
#ifndef CE_PLATFORM_HOSTFILE_H
#define CE_PLATFORM_HOSTFILE_H

#include <cstdio>
#include <functional>
#include <string>

namespace plat {

// Writes path through write(file): into a file of this process's own beside
// it, flushed to the disk, then renamed over the name. Whoever reads the
// name sees the old file or the whole new one, never a part; whatever
// fails (write returning false included), the temporary file is removed
// and the old file is left as it was. On failure, reason says why.
bool WriteHostFileWhole(const std::string &path, const std::function<bool(FILE *)> &write, std::string &reason);
bool WriteHostFileWhole(const std::string &path, const std::string &content, std::string &reason);

} // namespace plat

#endif
