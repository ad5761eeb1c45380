// Steps of the library's long operations, told to the caller that asked for them with
// bmc_SetProgressHandler (firmware records, FRU segments, configuration pieces, seconds of
// the waits). The library prints nothing for them itself: what a caller shows, and how, is
// its own business. Without a handler every report costs one test.
#ifndef VKT_PROGRESS_H
#define VKT_PROGRESS_H

namespace vkt {

// Tells the installed handler, if any, that `done` of `total` units of `what` (one of the
// VKT_PROGRESS_ codes of bmc.h) are behind the operation. A handler that throws is
// ignored: a report never changes what the operation does.
void reportProgress(int what, long done, long total);

// Pauses `ms` milliseconds. With a handler installed the pause is taken a second at a time
// and each second is reported as a step of `what` (total: the whole seconds of `ms`);
// without one it is the one pause it always was.
void pauseWithProgress(int what, int ms);

}  // namespace vkt

#endif
