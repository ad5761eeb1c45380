// Whether the simulated server keeps its records of what it was asked: the BMC's request
// log, the KCS interface's register accesses, and the lists the models keep of the requests,
// transfers and writes they received. Tests read those records; a server that answers for a
// long time (the tools' --simulate, a CIMOM with the fake device preloaded, the demo) must
// not keep one entry per exchange for ever, so they are off unless a program turns them on.
// The test kit turns them on in every test program and fuzz target (testkit/keep_records.cpp).
// The switch is read at each exchange, so it may be flipped at any time; counters stay
// counted either way.
#ifndef TESTKIT_SIM_RECORDS_H
#define TESTKIT_SIM_RECORDS_H

#include <utility>
#include <vector>

namespace testkit {

bool keepingRecords();
void keepRecords(bool on);

// Appends `entry` to `record` while records are kept.
template <typename T, typename U>
void noteRecord(std::vector<T>& record, U&& entry) {
    if (keepingRecords()) record.push_back(std::forward<U>(entry));
}

}  // namespace testkit

#endif
