// hostfile.cpp - reading the small host text files that configure a run
// (device.ini, answer files) with limits, and showing their text in error
// messages without passing control bytes to the terminal.
#include "text/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

std::string Printable(std::string_view s)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

bool ReadHostTextFile(const std::string &path, size_t maxBytes, size_t maxLine, std::vector<std::string> &lines,
                      std::string &error)
{
    lines.clear();
    // Opened without blocking, so that a FIFO or a device node is refused
    // below instead of waiting for a writer or reading for ever.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Printable(path) + ": cannot be read (" + std::strerror(errno) + ")";
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = Printable(path) + ": is not a regular file";
        return false;
    }
    if (uint64_t(st.st_size) > maxBytes) {
        close(fd);
        error = Printable(path) + ": is larger than " + std::to_string(maxBytes / 1024) + " KiB";
        return false;
    }
    std::string text;
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Printable(path) + ": cannot be read (" + std::strerror(errno) + ")";
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, size_t(n));
        // The file may grow while it is read.
        if (text.size() > maxBytes) {
            close(fd);
            error = Printable(path) + ": is larger than " + std::to_string(maxBytes / 1024) + " KiB";
            return false;
        }
    }
    close(fd);

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > maxLine) {
            error = Printable(path) + " line " + std::to_string(lines.size() + 1) + ": longer than " +
                    std::to_string(maxLine) + " bytes";
            lines.clear();
            return false;
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

} // namespace plat
