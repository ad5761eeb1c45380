// The fake OpenIPMI device forwarding to ipmi_sim: the transport, IPMB bridging, the
// action classes and the demo tool, against a BMC nobody here wrote.
#include <unistd.h>

#include <cstring>

#include "ipmisim_test.h"
#include "smipmi.h"
#include "transport_state.h"

using ipmisim_test::IpmiSimTest;
using testkit::peers::parseColonList;

namespace {

class VmLink : public IpmiSimTest {};

TEST_F(VmLink, GetDeviceIdAnswersWhatIpmitoolReads) {
    BYTE resp[128] = {};
    DWORD len = 0;
    BYTE cc = runIpmiCmd(0x20, 0x06, 0x01, nullptr, 0, resp, &len);
    ASSERT_EQ(cc, 0x00);
    ASSERT_GE(len, 11u);

    auto info = parseColonList(ipmitool({"mc", "info"}).out);
    EXPECT_EQ(std::to_string(resp[0]), info["Device ID"]);
    EXPECT_EQ(std::to_string(resp[1] & 0x0F), info["Device Revision"]);
    char fw[16];
    snprintf(fw, sizeof fw, "%u.%02x", resp[2] & 0x7F, resp[3]);
    EXPECT_EQ(fw, info["Firmware Revision"]);
    EXPECT_EQ(resp[4], 0x02);  // IPMI 2.0, which the interface probe looks for
    EXPECT_EQ(info["IPMI Version"], "2.0");
    unsigned mfg = resp[6] | resp[7] << 8 | (resp[8] & 0x0F) << 16;
    EXPECT_EQ(std::to_string(mfg), info["Manufacturer ID"]);
    unsigned product = resp[9] | resp[10] << 8;
    EXPECT_EQ(info["Product ID"].rfind(std::to_string(product) + " ", 0), 0u) << info["Product ID"];
}

TEST_F(VmLink, EveryRequestIsOneExchangeOnTheLink) {
    vkt::ipmiRequest(0x06, 0x01);  // probe and device open happen here
    int before = link().exchanges();
    vkt::IpmiReply r = vkt::ipmiRequest(0x0A, 0x40);  // Get SEL Info
    EXPECT_EQ(r.cc, 0x00);
    EXPECT_EQ(r.length, 14u);
    // The probe (Get Device ID) runs before every command while none failed.
    EXPECT_EQ(link().exchanges() - before, 2);
    EXPECT_EQ(link().timeouts(), 0);
    EXPECT_EQ(link().peerVersion(), 1);
}

TEST_F(VmLink, CommandsTheSimulatorLacksAnswerInvalidCommand) {
    const BYTE fanMode[] = {0x00};
    EXPECT_EQ(vkt::ipmiRequest(0x30, 0x45, fanMode).cc, 0xC1);  // OEM fan mode
    EXPECT_EQ(vkt::ipmiRequest(0x06, 0x52).cc, 0xC1);                          // Master Write-Read
    EXPECT_EQ(vkt::ipmiRequest(0x06, 0x37).cc, 0xC1);  // System GUID: only over LAN here
}

TEST_F(VmLink, BridgedRequestsReachTheSecondController) {
    ipmb_target_addr = 0x2C;
    vkt::IpmiReply id = vkt::ipmiRequest(0x06, 0x01);
    ipmb_target_addr = 0;
    ASSERT_EQ(id.cc, 0x00);
    EXPECT_EQ(id.at(0), 0x50);  // the device ID of the controller at 2Ch, not the BMC's 23h
    EXPECT_EQ(id.at(2), 0x04);
    EXPECT_EQ(id.at(6), 0x57);
    EXPECT_EQ(id.at(7), 0x01);

    // The same command to the BMC still answers the BMC.
    EXPECT_EQ(vkt::ipmiRequest(0x06, 0x01).at(0), 0x23);
}

TEST_F(VmLink, BridgingToAnAbsentControllerReportsTheSendFailure) {
    ipmb_target_addr = 0x72;
    vkt::IpmiReply r = vkt::ipmiRequest(0x06, 0x01);
    ipmb_target_addr = 0;
    EXPECT_NE(r.cc, 0x00);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(vkt::ipmiRequest(0x06, 0x01).cc, 0x00) << "the link survives a failed bridge";
}

TEST_F(VmLink, ActionClassesReportFalseOnABmcWithoutTheOemCommands) {
    // ipmi_sim has no OEM LED, intrusion or fan-mode commands and no cold reset.
    for (const char* prefix : {"OpenLED", "CloseLED", "ClearChassisIntrusion", "SetFanModeToStandard", "SetFanModeToFull",
                               "SetFanModeToOptimal", "SetFanModeToPUE2", "SetFanModeToHeavyIO", "SetFanModeToPUE3",
                               "BMCResetToDefault"}) {
        cimhost::EnumResult r = so().enumerate(prefix);
        EXPECT_EQ(r.rc, CMPI_RC_OK) << prefix;
        ASSERT_EQ(r.instances.size(), 1u) << prefix;
        EXPECT_EQ(r.instances[0].get("VKT_Result"), "False") << prefix;
        EXPECT_EQ(r.doneCount, 1) << prefix;
    }
    EXPECT_EQ(link().timeouts(), 0);
    EXPECT_TRUE(sim().running());
}

TEST_F(VmLink, DemoToolEnumeratesThroughItsOwnLink) {
    // The simulator serves one VM client at a time: hand the link over to the tool.
    link().disconnect();
    auto r = testkit::ipmisim::runProgram(
        {VKT_CIM_TOOL, "--bmc-sim-vm", sim().vmAddress(), "--json", "enumerate", "VKT_SetFanModeToFull"}, 60000);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"class\": \"VKT_SetFanModeToFull\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[\"VKT_Result\", \"False\"]"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("fake IPMI device"), std::string::npos) << r.err;
    // Our link comes back on the next request.
    EXPECT_EQ(vkt::ipmiRequest(0x06, 0x01).cc, 0x00);
}

TEST_F(VmLink, DemoToolReachesTheSimulatorOverTheKcsPortsToo) {
    link().disconnect();
    auto r = testkit::ipmisim::runProgram(
        {VKT_CIM_TOOL, "--bmc-sim-vm", sim().vmAddress(), "--kcs", "enumerate", "VKT_SetFanModeToPUE2"}, 60000);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("VKT_Result = \"False\""), std::string::npos) << r.out;
    EXPECT_EQ(vkt::ipmiRequest(0x06, 0x01).cc, 0x00);
}

TEST_F(VmLink, DemoToolRejectsAMalformedAddress) {
    auto r = testkit::ipmisim::runProgram({VKT_CIM_TOOL, "--bmc-sim-vm", "127.0.0.1", "enumerate", "VKT_Sensors"}, 20000);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is not HOST:PORT"), std::string::npos) << r.err;
}

TEST_F(VmLink, MissingProgramsSkipTheTestsOrFailThemInCi) {
    // This very program, with ipmi_sim, sdrcomp and ipmitool out of reach.
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::vector<std::string> argv = {self, "--gtest_filter=VmLink.GetDeviceIdAnswersWhatIpmitoolReads"};
    auto local = testkit::ipmisim::runProgram(argv, 60000, {"PATH=/nonexistent", "CI="});
    EXPECT_EQ(local.status, testkit::ipmisim::skipExitStatus) << local.out << local.err;
    EXPECT_NE(local.out.find("[  SKIPPED ] ipmisim tests: not installed: ipmi_sim, sdrcomp, ipmitool (Debian packages "
                             "openipmi, ipmitool, freeipmi-tools)"),
              std::string::npos)
        << local.out;
    auto ci = testkit::ipmisim::runProgram(argv, 60000, {"PATH=/nonexistent", "CI=true"});
    EXPECT_EQ(ci.status, 1) << ci.out << ci.err;
    EXPECT_NE(ci.out.find("CI=true makes a missing program a failure"), std::string::npos) << ci.out;
}

}  // namespace
