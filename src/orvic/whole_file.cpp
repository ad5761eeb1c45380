#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vkt {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Reads until the end of the file or until `n` bytes; the count, or -1 on an error.
ssize_t readUpTo(int fd, BYTE* data, size_t n) {
    size_t total = 0;
    while (total < n) {
        const ssize_t r = ::read(fd, data + total, n - total);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        total += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(total);
}

FileLoad readOpened(int fd, const struct stat& before, size_t maxSize, std::vector<BYTE>& content) {
    struct stat opened {};
    // The path may have been replaced by something else between the two looks.
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return FileLoad::notRegular;
    if (!sameFile(before, opened)) return FileLoad::notWhole;
    if (opened.st_size < 0) return FileLoad::notWhole;
    if (static_cast<unsigned long long>(opened.st_size) > maxSize) return FileLoad::tooLarge;
    const size_t size = static_cast<size_t>(opened.st_size);
    // One byte more than the size shows a file that holds more than it reports.
    content.resize(size + 1);
    const ssize_t got = readUpTo(fd, content.data(), content.size());
    struct stat after {};
    if (got != static_cast<ssize_t>(size) || fstat(fd, &after) != 0 || !sameFile(opened, after)) return FileLoad::notWhole;
    content.resize(size);
    return FileLoad::ok;
}

}  // namespace

FileLoad readWholeFile(const char* path, size_t maxSize, std::vector<BYTE>& content) {
    content.clear();
    if (path == nullptr) return FileLoad::cannotOpen;
    // Opening a device can act on it (a watchdog starts counting), and a FIFO blocks until a
    // writer comes: only a regular file is opened, and without waiting.
    struct stat before {};
    if (stat(path, &before) != 0) return FileLoad::cannotOpen;
    if (!S_ISREG(before.st_mode)) return FileLoad::notRegular;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FileLoad::cannotOpen;
    const FileLoad result = readOpened(fd, before, maxSize, content);
    ::close(fd);
    if (result != FileLoad::ok) content.clear();
    return result;
}

WholeFileStream::WholeFileStream(const char* path, size_t maxSize) : status_(readWholeFile(path, maxSize, content_)) {
    if (status_ != FileLoad::ok) return;
    // A stream needs a buffer even for an empty file.
    if (content_.empty()) content_.reserve(1);
    file_ = fmemopen(content_.data(), content_.size(), "r");
    if (file_ == nullptr) status_ = FileLoad::notWhole;
}

void WholeFileStream::close() {
    if (file_ != nullptr) fclose(file_);
    file_ = nullptr;
}

}  // namespace vkt
