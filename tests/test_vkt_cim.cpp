// The demo tool: runs the real library against the simulated server in a child process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_test_support.h"
#include "test_support.h"

namespace {

using rectest::vktCim;
using testkit::ipmisim::ProcessResult;

TEST(VktCim, SimulatedFanModeActionReachesTheServer) {
    testkit::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string logPath = dir.file("requests.log");
    ProcessResult r = vktCim({"--simulate", "enumerate", "VKT_SetFanModeToFull"}, {"VKT_SIM_LOG=" + logPath});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "varkolt/cimv2:VKT_SetFanModeToFull\n    VKT_Result = \"True\"\n\n");
    std::string log = testkit::readText(logPath);
    EXPECT_NE(log.find("30/45 01 01\n"), std::string::npos) << log;
}

TEST(VktCim, NodeManagerIdentityComesOverThePortsToo) {
    testkit::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string logPath = dir.file("requests.log");
    ProcessResult r = vktCim({"--simulate", "--kcs", "enumerate", "VKT_NM"}, {"VKT_SIM_LOG=" + logPath});
    std::string log = testkit::readText(logPath);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("    VKT_NM_FirmwareVersion = \"4.0.1.51\"\n    VKT_NM_Platform = \"Grantley\"\n"), std::string::npos)
        << r.out;
    // Every command is preceded by the interface probe (Get Device ID).
    EXPECT_NE(log.find("06/34 06 2C 18 BC 20 00 01 DF\n06/01\n06/31\n06/01\n06/33\n06/01\n06/30 01\n"), std::string::npos)
        << log;
}

TEST(VktCim, FailingServerGivesFalse) {
    ProcessResult r = vktCim({"--simulate=failing", "enumerate", "VKT_OPEN_LED"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "varkolt/cimv2:VKT_OPEN_LED\n    VKT_Result = \"False\"\n\n");
}

// A host with the kernel's ipmi_si but no ipmi_devintf: the loaded library leaves the
// ports to the kernel, every class still enumerates, the process does not end, and the
// operator is told once what to load.
TEST(VktCim, PortsHeldByTheKernelDriverAreLeftAloneAndTheToolCarriesOn) {
    testkit::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string logPath = dir.file("requests.log");
    ProcessResult r = vktCim({"--simulate", "--kcs", "enumerate", "--all"},
                             {"VKT_SIM_KERNEL_KCS=1", "VKT_SIM_LOG=" + logPath});
    const std::string& out = r.out;
    const std::string& err = r.err;
    const std::string log = testkit::readText(logPath);
    ASSERT_NE(r.status, -1) << "did not exit";
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(out.find("varkolt/cimv2:VKT_OPEN_LED\n    VKT_Result = \"False\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("varkolt/cimv2:VKT_SetFanModeToStandard\n    VKT_Result = \"False\"\n"), std::string::npos);
    EXPECT_EQ(out.find("kcs_error"), std::string::npos);
    const std::string notice =
        "The kernel's IPMI driver owns the KCS interface but there is no IPMI device node: load the "
        "ipmi_devintf module (modprobe ipmi_devintf) so that /dev/ipmi0 appears.\n";
    ASSERT_NE(err.find(notice), std::string::npos) << err;
    EXPECT_EQ(err.find(notice, err.find(notice) + 1), std::string::npos) << "told more than once";
    EXPECT_EQ(log, "") << "a request reached the BMC";
}

TEST(VktCim, ClassesListsAllTwentyFour) {
    ProcessResult r = vktCim({"classes"});
    EXPECT_EQ(r.status, 0);
    size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 24u);
    EXPECT_NE(r.out.find("VKT_ClOSE_LED"), std::string::npos);
}

TEST(VktCim, JsonOutputNamesClassAndProperties) {
    ProcessResult r = vktCim({"--simulate", "--json", "enumerate", "VKT_ClOSE_LED"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("{\"class\": \"VKT_ClOSE_LED\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[\"VKT_Result\", \"True\"]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.front(), '[');
}

TEST(VktCim, RejectsUnknownClassesAndBadUsage) {
    EXPECT_EQ(vktCim({"--simulate", "enumerate", "VKT_NoSuchClass"}).status, 2);
    // A mistyped scenario ends the run before the action class acts on anything.
    ProcessResult typo = vktCim({"--simulate=dmeo", "enumerate", "VKT_OPEN_LED"});
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(typo.out, "");
    // A usage error says why first, then shows the usage.
    const std::pair<std::vector<std::string>, std::string> mistakes[] = {
        {{}, "vkt-cim: no command given: enumerate CLASS|--all, or classes\n"},
        {{"enumerate"}, "vkt-cim: enumerate needs a class name (see vkt-cim classes) or --all\n"},
        {{"enumerate", "VKT_FRU", "VKT_NM"}, "vkt-cim: enumerate takes one class name or --all, not 2 words\n"},
        {{"frobnicate", "x"}, "vkt-cim: unknown command frobnicate (commands: enumerate, classes)\n"},
        {{"classes", "VKT_FRU"}, "vkt-cim: classes takes no arguments\n"},
        {{"--verbose", "enumerate", "--all"}, "vkt-cim: unknown option --verbose\n"},
    };
    for (const auto& [args, reason] : mistakes) {
        ProcessResult r = vktCim(args);
        EXPECT_EQ(r.status, 2) << r.command;
        EXPECT_EQ(r.out, "") << r.command;
        EXPECT_EQ(r.err.rfind(reason, 0), 0u) << r.command << "\n" << r.err;
        EXPECT_NE(r.err.find("\nusage: vkt-cim "), std::string::npos) << r.command;
    }
}

TEST(VktCim, VersionAndTheStatusesOfTheLibraryInTheHelp) {
    EXPECT_EQ(vktCim({"--version"}).out, "vkt-cim 1.0.0\n");
    const std::string help = vktCim({"--help"}).out;
    for (const char* text : {"2 a usage error", "with 42 when it does not run as root", "with 21 when the BMC's KCS",
                             "modprobe ipmi_si ipmi_devintf"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
}

TEST(VktCim, MultiNodeScenarioShowsTheChassisAndItsNodes) {
    ProcessResult r = vktCim({"--simulate=multinode", "enumerate", "VKT_PXList"});
    EXPECT_EQ(r.status, 0);
    for (const char* key : {"device_id=\"1\"", "device_id=\"4\"", "VKT_Power = \"Inact\""})
        EXPECT_NE(r.out.find(key), std::string::npos) << key << "\n" << r.out;
    r = vktCim({"--simulate", "enumerate", "VKT_PXInfo"});
    EXPECT_EQ(r.out, "# VKT_PXInfo: no instances\n\n");
}

// Without a loadable simulated server --simulate must stop: going on would send the
// action classes to the real BMC.
TEST(VktCim, SimulateRefusesWithoutTheSimulatedServer) {
    ProcessResult missing =
        vktCim({"--simulate", "enumerate", "VKT_BMCResetToDefault"}, {"VKT_FAKEBMC_LIB=/nonexistent/libvktfakebmc.so"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    // Present but not a library: the dynamic linker skips the preload and the tool notices.
    ProcessResult broken = vktCim({"--simulate", "enumerate", "VKT_BMCResetToDefault"},
                                  {std::string("VKT_FAKEBMC_LIB=") + VKT_SOURCE_DIR + "/README.md"});
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.out, "");
}

TEST(VktCim, AllClassesEnumerateAgainstTheDemoServer) {
    ProcessResult r = vktCim({"--simulate", "enumerate", "--all"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("varkolt/cimv2:VKT_SetFanModeToStandard"), std::string::npos);
}

}  // namespace
