// Shared by the programs that run the library against OpenIPMI's ipmi_sim: one simulator
// per program (a gtest environment), the fake OpenIPMI device forwarding to it, the real
// provider library loaded once, and the peers reading the same simulator over LAN.
#ifndef VKT_TESTS_IPMISIM_TEST_H
#define VKT_TESTS_IPMISIM_TEST_H

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "cimhost.h"
#include "fake_ipmi_device.h"
#include "generic_util.h"
#include "ipmisim_harness.h"
#include "peer_tools.h"
#include "test_support.h"

namespace ipmisim_test {

using testkit::ipmisim::Environment;
using testkit::ipmisim::Simulator;

inline ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new Environment(VKT_SOURCE_DIR "/tests/ipmisim"));

inline void noSleep(int) {}

class IpmiSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Environment::simulator() == nullptr) GTEST_FAIL() << "no simulator (see the environment's failure)";
        testkit::FakeIpmiDevice& dev = testkit::FakeIpmiDevice::get();
        dev.setPaths({"/dev/ipmi0"});
        dev.setBackend(Environment::link());
        testkit::resetLibraryTransport();
        vkt::setSleepFunction(noSleep);
    }
    void TearDown() override {
        testkit::resetLibraryTransport();
        vkt::setSleepFunction(nullptr);
    }

    Simulator& sim() { return *Environment::simulator(); }
    testkit::VmBackend& link() { return *Environment::link(); }

    // The real provider library, loaded once per program as a CIMOM loads it. Its
    // transport keeps the fake device open for the life of the program.
    static cimhost::Host& so() {
        static std::unique_ptr<cimhost::Host> host = [] {
            std::string error;
            auto h = cimhost::Host::load(VKT_PROVIDER_LIB, &error);
            if (!h) ADD_FAILURE() << "cannot load " << VKT_PROVIDER_LIB << ": " << error;
            return h;
        }();
        return *host;
    }

    testkit::ipmisim::ProcessResult ipmitool(const std::vector<std::string>& args) {
        auto r = testkit::peers::ipmitool(sim(), args);
        EXPECT_EQ(r.status, 0) << r.command << "\n" << r.err;
        return r;
    }
    testkit::ipmisim::ProcessResult freeipmi(const std::string& tool, const std::vector<std::string>& args) {
        auto r = testkit::peers::freeipmi(sim(), tool, args);
        EXPECT_EQ(r.status, 0) << r.command << "\n" << r.err;
        return r;
    }
};

}  // namespace ipmisim_test

#endif
