// VKT_IPMDevice: multi-node flag, identify LED, pending chassis intrusion and fan modes,
// against the simulated BMC.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bounded.h"
#include "cimhost.h"
#include "ipm_device.h"
#include "sdr_model.h"
#include "sdr_sensors.h"
#include "sdr_util.h"
#include "test_support.h"

using cimhost::EnumResult;
using cimhost::Host;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

class IpmDevice : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        memset(cim_sdr, 0, sizeof cim_sdr);
        sdrRecordCount = 0;
        host_ = Host::inProcess();
    }
    cimhost::Instance enumerate() {
        testkit::CaptureOutput err(2);  // the sensor collector's messages
        EnumResult r = host_->enumerate("IPMDeviceProvider");
        EXPECT_EQ(r.rc, CMPI_RC_OK);
        EXPECT_EQ(r.doneCount, 1);
        return r.instances.size() == 1 ? r.instances[0] : cimhost::Instance{};
    }
    // A chassis intrusion sensor (sensor-specific physical security) with the given states.
    testkit::SensorState& intrusion(const char* name, uint8_t number) {
        testkit::SensorFields f;
        f.name = name;
        f.number = number;
        f.sensorType = 0x05;
        f.readingType = 0x6F;
        return sim().sdr.addCompact(f);
    }
    std::unique_ptr<Host> host_;
};

TEST_F(IpmDevice, DemoAndMultiNodeServersPublishTheirOneInstance) {
    useServer(testkit::makeScenario("demo"));
    cimhost::Instance i = enumerate();
    EXPECT_EQ(i.path(), "varkolt/cimv2:VKT_IPMDevice.deviceID=\"IPMDevice\"");
    std::vector<std::pair<std::string, std::optional<std::string>>> expected = {
        {"deviceID", "IPMDevice"},
        {"VKT_IsMultiNode", "False"},
        {"VKT_IsLedEnabled", "False"},
        {"VKT_IsNeedToClearChassisIntrusion", "False"},
        {"VKT_CurrentFanMode", "Full"},
        {"VKT_SupportedFanModes", "0:Standard,1:Full,2:Optimal,3:PUE2 Optimal,4:Heavy IO,5:PUE3 Optimal"},
    };
    EXPECT_EQ(i.properties, expected);

    useServer(testkit::makeScenario("multinode"));
    sim().oem.ledOn = true;
    EXPECT_EQ(enumerate().get("VKT_IsMultiNode"), "True");
    EXPECT_EQ(enumerate().get("VKT_IsLedEnabled"), "True");
}

TEST_F(IpmDevice, SupportedModesFollowTheCapabilityMask) {
    auto capability = [](const IpmiRequest& r) { return r.is(0x30, 0x45) && !r.data.empty() && r.data[0] == 0x02; };
    struct Case {
        IpmiResponse answer;
        const char* list;
    };
    const char* all = "0:Standard,1:Full,2:Optimal,3:PUE2 Optimal,4:Heavy IO,5:PUE3 Optimal";
    const Case cases[] = {
        {IpmiResponse::ok({0x07}), "0:Standard,1:Full,2:Optimal"},
        {IpmiResponse::ok({0x22}), "1:Full,5:PUE3 Optimal"},
        {IpmiResponse::ok({0x00}), ""},
        {IpmiResponse::ok({0xC8}), "3:PUE2 Optimal"},  // bits 6 and 7 name no mode
        {IpmiResponse::ok({0x07, 0x00}), all},
        {IpmiResponse::ok({}), all},
        {IpmiResponse::error(0xC1), all},
    };
    for (const Case& c : cases) {
        bmc().inject(capability, c.answer, 1);
        EXPECT_EQ(enumerate().get("VKT_SupportedFanModes"), c.list) << c.list;
    }
    EXPECT_EQ(bmc().requests(0x30, 0x45).back().data, Bytes{0x02});
}

TEST_F(IpmDevice, FailedQueriesLeaveTheirTextsEmpty) {
    const char* names[] = {"Standard", "Full", "Optimal", "PUE2 Optimal", "Heavy IO", "PUE3 Optimal"};
    for (uint8_t mode = 0; mode < 6; ++mode) {
        sim().oem.fanMode = mode;
        EXPECT_EQ(enumerate().get("VKT_CurrentFanMode"), names[mode]);
    }
    auto current = [](const IpmiRequest& r) { return r.is(0x30, 0x45) && !r.data.empty() && r.data[0] == 0x00; };
    for (const IpmiResponse& answer : {IpmiResponse::ok({0x06}), IpmiResponse::ok({}), IpmiResponse::error(0xC0)}) {
        bmc().inject(current, answer, 1);
        EXPECT_EQ(enumerate().get("VKT_CurrentFanMode"), "");
    }
    for (const IpmiResponse& answer : {IpmiResponse::error(0xC1), IpmiResponse::ok({})}) {
        bmc().inject(testkit::command(0x30, 0x0C), answer, 1);
        EXPECT_EQ(enumerate().get("VKT_IsLedEnabled"), "");
    }
    bmc().inject(testkit::command(0x30, 0x0C), IpmiResponse::ok({0x02}), 1);
    EXPECT_EQ(enumerate().get("VKT_IsLedEnabled"), "True");
    EXPECT_EQ(bmc().requests(0x30, 0x0C).back().data, Bytes{});
}

TEST_F(IpmDevice, OnlyTheFirstIntrusionSensorCounts) {
    EXPECT_EQ(enumerate().get("VKT_IsNeedToClearChassisIntrusion"), "False");  // no such sensor

    testkit::SensorFields temp;
    temp.name = "CPU Temp";
    temp.number = 0x01;
    temp.unit = 1;
    sim().sdr.addFull(temp).reading = 40;
    testkit::SensorState& first = intrusion("Chassis Intru", 0xAA);
    intrusion("Lid Intru", 0xAB).states = 0x0001;  // never looked at
    EXPECT_EQ(enumerate().get("VKT_IsNeedToClearChassisIntrusion"), "False");
    first.states = 0x0001;  // general chassis intrusion: "Fail"
    EXPECT_EQ(enumerate().get("VKT_IsNeedToClearChassisIntrusion"), "True");
    first.states = 0x0000;
    first.readingCc = 0xCB;  // no reading: empty status
    EXPECT_EQ(enumerate().get("VKT_IsNeedToClearChassisIntrusion"), "True");
}

TEST_F(IpmDevice, IntrusionWalkStaysInsideTheFilledEntries) {
    sdrRecordCount = 1000;
    cim_sdr[200].sensorType = 0x05;
    cim_sdr[200].readingType = 0x6F;
    EXPECT_FALSE(chassisIntrusionPending());
    cim_sdr[127] = cim_sdr[200];
    EXPECT_TRUE(chassisIntrusionPending());
    vkt::copyText(cim_sdr[127].status, "OK");
    EXPECT_FALSE(chassisIntrusionPending());
}

}  // namespace
