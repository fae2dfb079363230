// hostfile.cpp - host files written whole or not at all (see hostfile.h).
#include "kernel/hostfile.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace plat {

bool WriteHostFileWhole(const std::string &path, const std::function<bool(FILE *)> &write, std::string &reason)
{
    // A name of this process's own: two processes writing the same file
    // never write into one temporary.
    size_t slash = path.rfind('/');
    size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::string temp = path.substr(0, base) + "." + path.substr(base) + "." + std::to_string(getpid()) + ".tmp";
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        reason = std::strerror(errno);
        return false;
    }
    errno = 0;
    bool ok = write(f);
    int err = ok ? 0 : errno;
    if (ok && (std::fflush(f) != 0 || std::ferror(f) || fsync(fileno(f)) != 0)) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (ok)
        return true;
    reason = err ? std::strerror(err) : "the content could not be made";
    std::remove(temp.c_str());
    return false;
}

bool WriteHostFileWhole(const std::string &path, const std::string &content, std::string &reason)
{
    return WriteHostFileWhole(
        path, [&](FILE *f) { return std::fwrite(content.data(), 1, content.size(), f) == content.size(); }, reason);
}

} // namespace plat
