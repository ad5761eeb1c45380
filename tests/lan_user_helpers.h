// Shared by the LAN and user account tests: a fixture that starts every test with the
// library's process-wide LAN and account tables empty, records the pauses the library
// asks for, and runs a routine while capturing what it prints.
#ifndef TESTS_LAN_USER_HELPERS_H
#define TESTS_LAN_USER_HELPERS_H

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cim_util.h"
#include "generic_util.h"
#include "test_support.h"
#include "user_util.h"

namespace lantest {

using testkit::Outcome;

inline Outcome capture(const std::function<int()>& body) { return testkit::captureOutcome(body); }

inline void clearLibraryTables() {
    memset(ip_addr, 0, sizeof ip_addr);
    memset(mac_addr, 0, sizeof mac_addr);
    memset(gwip_addr, 0, sizeof gwip_addr);
    memset(subnetip_addr, 0, sizeof subnetip_addr);
    memset(dhcpStatus, 0, sizeof dhcpStatus);
    memset(mac_list, 0, sizeof mac_list);
    vLanStatus = 0;
    vLanTag = 0;
    memset(userList, 0, sizeof userList);
    maximumNumberOfUsers = 0;
    countOfUsers = 0;
    version = 0;
}

class LanUserTest : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        clearLibraryTables();
        recordPauses();
    }
};

}  // namespace lantest

#endif
