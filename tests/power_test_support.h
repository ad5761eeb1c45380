// Shared by the power tests: a fixture with the library's power records cleared, helpers to
// put modules, status EEPROMs and batteries on the simulated private bus, and the in-process
// CIM host.
#ifndef TESTS_POWER_TEST_SUPPORT_H
#define TESTS_POWER_TEST_SUPPORT_H

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cimhost.h"
#include "pmbus_model.h"
#include "pmbus_util.h"
#include "test_support.h"

namespace powertest {

using testkit::Bytes;
using testkit::IpmiResponse;

class PowerTest : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        memset(pmBusHealth, 0, sizeof pmBusHealth);
        memset(fruHealth, 0, sizeof fruHealth);
        memset(batteryHealth, 0, sizeof batteryHealth);
        memset(batteryStatusWord, 0, sizeof batteryStatusWord);
        host_ = cimhost::Host::inProcess();
    }

    cimhost::EnumResult enumerate(const char* prefix) { return host_->enumerate(prefix); }

    testkit::PmbusModule& addModule(uint8_t addr, const std::string& moduleNumber = "ZUR-800-R2",
                                    const testkit::pmbus::Telemetry& t = {}) {
        auto m = std::make_shared<testkit::PmbusModule>();
        m->setTelemetry(t);
        m->setIdentity("SN0001", moduleNumber, "R2");
        sim().bus.attach(addr, m);
        return *m;
    }

    testkit::EepromDevice& addEeprom(uint8_t addr, const testkit::pmbus::EepromStatus& status,
                                     const std::vector<testkit::fru::Field>& product = {"M", "N", "P", "V", "S", "", ""}) {
        auto e = testkit::pmbus::moduleEeprom(status, product);
        sim().bus.attach(addr, e);
        return *e;
    }

    testkit::BatteryModule& addBattery(uint8_t addr, const testkit::pmbus::EepromStatus& status = {25, 0, 0, 0x81, 0x21}) {
        auto b = std::make_shared<testkit::BatteryModule>();
        b->setImage(testkit::pmbus::moduleFruImage(status, {"BMfg", "BBP-1", "BP", "1.1", "BSN-7", "", ""}));
        b->setWord(testkit::BatteryModule::voltage, 12600);
        sim().bus.attach(addr, b);
        return *b;
    }

    // The private-bus requests after the interface probe, as "06/52 07 addr count write..." texts.
    std::vector<std::string> busRequests() const {
        std::vector<std::string> out;
        for (const testkit::IpmiRequest& r : commandsOnly())
            if (r.is(0x06, 0x52)) out.push_back(r.toString());
        return out;
    }

    std::unique_ptr<cimhost::Host> host_;
};

}  // namespace powertest

#endif
