#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vkt {

namespace {

// A directory nobody but root (or this process's own user) can add names to or swap them in.
bool directoryIsPrivate(const char* path) {
    const char* slash = strrchr(path, '/');
    const std::string dir = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    const bool owner = st.st_uid == 0 || st.st_uid == geteuid();
    return owner && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

FILE* refuse(const char* path, const char* why) {
    fprintf(stderr, "%s %s in a directory other users can write to; nothing was written to it.\n", path, why);
    return nullptr;
}

}  // namespace

FILE* openOutputFile(const char* path) {
    if (path == nullptr || *path == '\0') return nullptr;
    const bool privateDir = directoryIsPrivate(path);
    struct stat named {};
    if (!privateDir && lstat(path, &named) == 0 && S_ISLNK(named.st_mode))
        return refuse(path, "is a symbolic link");
    // Not truncated yet: what the name holds is looked at first. A link planted after the
    // look above is still not followed, and a FIFO planted there cannot hold the call up.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | (privateDir ? 0 : O_NOFOLLOW | O_NONBLOCK);
    const int fd = open(path, flags, 0666);
    if (fd < 0) {
        if (errno == ELOOP && !privateDir) return refuse(path, "is a symbolic link");
        if (errno == ENXIO && !privateDir) return refuse(path, "is not a regular file");
        return nullptr;
    }
    struct stat opened {};
    bool usable = fstat(fd, &opened) == 0;
    const char* refused = nullptr;
    if (usable && !privateDir && !S_ISREG(opened.st_mode)) refused = "is not a regular file";
    if (usable && !privateDir && S_ISREG(opened.st_mode) && opened.st_nlink > 1) refused = "has other hard links";
    if (refused != nullptr) {
        close(fd);
        return refuse(path, refused);
    }
    if (usable && !privateDir) usable = fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
    if (usable && S_ISREG(opened.st_mode)) usable = ftruncate(fd, 0) == 0;
    FILE* f = usable ? fdopen(fd, "w") : nullptr;
    if (f == nullptr) close(fd);
    return f;
}

}  // namespace vkt
