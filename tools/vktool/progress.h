// The steps the library reports during long operations (bmc_SetProgressHandler), shown as
// a status line on standard error (in place on a terminal, a line per tenth otherwise),
// and the summary of what was done once the action succeeded. --quiet shows nothing, but
// the counts are still kept: an action may use them to say where a failure happened.
#ifndef VKTOOL_PROGRESS_H
#define VKTOOL_PROGRESS_H

#include <string>

namespace vktool::progress {

struct Count {
    long done = 0;
    long total = 0;
    bool reported = false;
};

// Installs the handler; reports are shown unless `quiet`.
void start(bool quiet);
// Takes the status line away, removes the handler and, when `rc` is 0 and not quiet,
// prints what was done ("Firmware loaded: 1 240 records").
void finish(int rc);
// The last report of `what` (a VKT_PROGRESS_ code) in this run.
Count last(int what);

// 1240 as "1 240": thousands set apart by a blank, as the summaries show counts.
std::string grouped(long n);

}  // namespace vktool::progress

#endif
