// What must hold after anything the library does, however the BMC answered and whatever
// the caller passed: the fuzz targets check these beside the sanitizers.
#ifndef FUZZ_INVARIANTS_H
#define FUZZ_INVARIANTS_H

#include <vector>

#include "ipmi_message.h"

namespace fuzz {

// Every text the library publishes from process-wide storage (the providers' and the
// exported routines' fields and tables) ends inside its field: the name of the first field
// without a NUL in its buffer, nullptr when there is none.
const char* unterminatedText();

// True unless `request` is one the library sends only to read: any command not known to
// leave the BMC (and the devices behind it) as it was counts as a change.
bool changesBmc(const testkit::IpmiRequest& request);

// After an exported routine that returned `result` having sent `sent`: every published text
// ends inside its field, and a routine that refused its arguments (12) changed nothing.
// A broken one ends the process as a finding of `target`.
void checkRoutine(const char* target, const char* routine, int result, const std::vector<testkit::IpmiRequest>& sent);
// The same after an enumeration, a restore or anything else with no result of its own.
void checkTexts(const char* target);

}  // namespace fuzz

#endif
