#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vkt {

namespace {

// Nobody but root (or this process's own user) can add names to it or swap them.
bool isPrivate(const struct stat& dir) {
    const bool owner = dir.st_uid == 0 || dir.st_uid == geteuid();
    return owner && (dir.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

FILE* refuse(const char* path, const char* why) {
    fprintf(stderr, "%s %s in a directory other users can write to; nothing was written to it.\n", path, why);
    return nullptr;
}

// The file `name` in the open directory, judged by that very directory: a directory link
// swapped meanwhile cannot make a shared directory pass for a private one.
FILE* openIn(int dirFd, const char* name, const char* path) {
    struct stat dir {};
    if (fstat(dirFd, &dir) != 0) return nullptr;
    const bool privateDir = isPrivate(dir);
    struct stat named {};
    if (!privateDir && fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(named.st_mode))
        return refuse(path, "is a symbolic link");
    // Not truncated yet: what the name holds is looked at first. A link planted after the
    // look above is still not followed, and a FIFO planted there cannot hold the call up.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | (privateDir ? 0 : O_NOFOLLOW | O_NONBLOCK);
    const int fd = openat(dirFd, name, flags, 0666);
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

}  // namespace

FILE* openOutputFile(const char* path) {
    if (path == nullptr || *path == '\0') return nullptr;
    const char* slash = strrchr(path, '/');
    const std::string dir = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
    const char* name = slash == nullptr ? path : slash + 1;
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return nullptr;
    FILE* f = openIn(dirFd, name, path);
    close(dirFd);
    return f;
}

}  // namespace vkt
