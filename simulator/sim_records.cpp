#include "sim_records.h"

#include <atomic>

namespace testkit {

namespace {
// Constant-initialized, so a program that turns records on while its statics are made
// never finds the switch set back afterwards.
std::atomic<bool> recordsOn{false};
}  // namespace

bool keepingRecords() { return recordsOn.load(std::memory_order_relaxed); }

void keepRecords(bool on) { recordsOn.store(on, std::memory_order_relaxed); }

}  // namespace testkit
