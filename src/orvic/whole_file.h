// Files the operator hands over to be loaded into the BMC or a device behind it: a FRU
// image or its text listing, the chassis controller's firmware, a configuration file.
//
// Such a file is read whole before anything is sent, and only a regular file whose content
// is exactly the size its file system reports is taken. A file under /proc reports 0 bytes
// and yields text, a file under /sys reports a page and yields less, a FIFO or a device
// yields whatever arrives; a file rewritten meanwhile yields a mixture. Loaded as they read,
// each would leave a device with an image nobody chose.
#ifndef VKT_WHOLE_FILE_H
#define VKT_WHOLE_FILE_H

#include <cstdio>
#include <vector>

#include "vkt_types.h"

namespace vkt {

enum class FileLoad {
    ok,
    cannotOpen,  // no such file, or no permission
    notRegular,  // a directory, FIFO, socket or device: never opened
    tooLarge,    // larger than the caller takes: never read
    notWhole,    // did not read as exactly its reported size, or changed while read
};

// Reads the file at `path` (nullptr: cannotOpen) into `content`, which is empty unless the
// result is ok. `maxSize` bounds what is read into memory.
FileLoad readWholeFile(const char* path, size_t maxSize, std::vector<BYTE>& content);

// The same content as a stream, for the loaders that read a file line by line.
class WholeFileStream {
public:
    WholeFileStream(const char* path, size_t maxSize);
    ~WholeFileStream() { close(); }
    WholeFileStream(const WholeFileStream&) = delete;
    WholeFileStream& operator=(const WholeFileStream&) = delete;

    FileLoad status() const { return status_; }
    // Reads the content; nullptr unless the status is ok (or after close()).
    FILE* file() const { return file_; }
    void close();

private:
    std::vector<BYTE> content_;
    FileLoad status_;
    FILE* file_ = nullptr;
};

}  // namespace vkt

#endif
