// Linked into every test program and fuzz target: they read what the simulated server was
// asked (the BMC's request log, the KCS register accesses, the models' records), which the
// server keeps only when a program asks for it (sim_records.h). Programs that ship leave
// the records off.
#include "sim_records.h"

namespace {
[[maybe_unused]] const bool recordsOn = (testkit::keepRecords(true), true);
}  // namespace
