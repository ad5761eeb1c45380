// Files the routines write under a name the caller gives: FRU backups and listings.
//
// The library runs as root, often with that name in a directory every user may write to
// (/tmp). Opened as fopen opens it, a symbolic link planted at the name would make root
// overwrite whatever it points to, and a hard link planted there would have that file
// truncated, and a FIFO there would hold the call up for good. So a final symbolic link
// is followed, and anything but a regular file of one name is written, only in a directory
// nobody but root may change; elsewhere the name is refused, with a message on standard
// error and nothing truncated or written.
#ifndef VKT_OUTPUT_FILE_H
#define VKT_OUTPUT_FILE_H

#include <cstdio>

namespace vkt {

// Opens `path` (nullptr: refused quietly) for writing from its start, as fopen(path, "w")
// would where the name is safe to write; nullptr when it cannot be opened or is refused.
FILE* openOutputFile(const char* path);

}  // namespace vkt

#endif
