// The demo tool: runs the real library against the simulated server in a child process.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun runTool(const std::string& args, const std::string& env = "") {
    std::string cmd = env + " " + VKT_CIM_TOOL + " " + args + " 2>/dev/null";
    ToolRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(VktCim, SimulatedFanModeActionReachesTheServer) {
    char logPath[] = "/tmp/vkt-sim-log-XXXXXX";
    int fd = mkstemp(logPath);
    ASSERT_GE(fd, 0);
    close(fd);
    ToolRun r = runTool("--simulate enumerate VKT_SetFanModeToFull", std::string("VKT_SIM_LOG=") + logPath);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "varkolt/cimv2:VKT_SetFanModeToFull\n    VKT_Result = \"True\"\n\n");
    std::string log = slurp(logPath);
    unlink(logPath);
    EXPECT_NE(log.find("30/45 01 01\n"), std::string::npos) << log;
}

TEST(VktCim, NodeManagerIdentityComesOverThePortsToo) {
    char logPath[] = "/tmp/vkt-sim-log-XXXXXX";
    int fd = mkstemp(logPath);
    ASSERT_GE(fd, 0);
    close(fd);
    ToolRun r = runTool("--simulate --kcs enumerate VKT_NM", std::string("VKT_SIM_LOG=") + logPath);
    std::string log = slurp(logPath);
    unlink(logPath);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("    VKT_NM_FirmwareVersion = \"4.0.1.51\"\n    VKT_NM_Platform = \"Grantley\"\n"), std::string::npos)
        << r.out;
    // Every command is preceded by the interface probe (Get Device ID).
    EXPECT_NE(log.find("06/34 06 2C 18 BC 20 00 01 DF\n06/01\n06/31\n06/01\n06/33\n06/01\n06/30 01\n"), std::string::npos)
        << log;
}

TEST(VktCim, FailingServerGivesFalse) {
    ToolRun r = runTool("--simulate=failing enumerate VKT_OPEN_LED");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "varkolt/cimv2:VKT_OPEN_LED\n    VKT_Result = \"False\"\n\n");
}

// A host with the kernel's ipmi_si but no ipmi_devintf: the loaded library leaves the
// ports to the kernel, every class still enumerates, the process does not end, and the
// operator is told once what to load.
TEST(VktCim, PortsHeldByTheKernelDriverAreLeftAloneAndTheToolCarriesOn) {
    char logPath[] = "/tmp/vkt-sim-log-XXXXXX";
    char errPath[] = "/tmp/vkt-sim-err-XXXXXX";
    int logFd = mkstemp(logPath);
    int errFd = mkstemp(errPath);
    ASSERT_GE(logFd, 0);
    ASSERT_GE(errFd, 0);
    close(logFd);
    close(errFd);
    std::string cmd = std::string("VKT_SIM_KERNEL_KCS=1 VKT_SIM_LOG=") + logPath + " " + VKT_CIM_TOOL +
                      " --simulate --kcs enumerate --all 2>" + errPath;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = pclose(p);
    const std::string err = slurp(errPath);
    const std::string log = slurp(logPath);
    unlink(logPath);
    unlink(errPath);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0);
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
    ToolRun r = runTool("classes");
    EXPECT_EQ(r.status, 0);
    size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 24u);
    EXPECT_NE(r.out.find("VKT_ClOSE_LED"), std::string::npos);
}

TEST(VktCim, JsonOutputNamesClassAndProperties) {
    ToolRun r = runTool("--simulate --json enumerate VKT_ClOSE_LED");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("{\"class\": \"VKT_ClOSE_LED\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[\"VKT_Result\", \"True\"]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.front(), '[');
}

TEST(VktCim, RejectsUnknownClassesAndBadUsage) {
    EXPECT_EQ(runTool("--simulate enumerate VKT_NoSuchClass").status, 2);
    // A mistyped scenario ends the run before the action class acts on anything.
    ToolRun typo = runTool("--simulate=dmeo enumerate VKT_OPEN_LED");
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(typo.out, "");
    EXPECT_EQ(runTool("enumerate").status, 2);
    EXPECT_EQ(runTool("frobnicate x").status, 2);
}

TEST(VktCim, MultiNodeScenarioShowsTheChassisAndItsNodes) {
    ToolRun r = runTool("--simulate=multinode enumerate VKT_PXList");
    EXPECT_EQ(r.status, 0);
    for (const char* key : {"device_id=\"1\"", "device_id=\"4\"", "VKT_Power = \"Inact\""})
        EXPECT_NE(r.out.find(key), std::string::npos) << key << "\n" << r.out;
    r = runTool("--simulate enumerate VKT_PXInfo");
    EXPECT_EQ(r.out, "# VKT_PXInfo: no instances\n\n");
}

// Without a loadable simulated server --simulate must stop: going on would send the
// action classes to the real BMC.
TEST(VktCim, SimulateRefusesWithoutTheSimulatedServer) {
    ToolRun missing = runTool("--simulate enumerate VKT_BMCResetToDefault", "VKT_FAKEBMC_LIB=/nonexistent/libvktfakebmc.so");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    // Present but not a library: the dynamic linker skips the preload and the tool notices.
    ToolRun broken = runTool("--simulate enumerate VKT_BMCResetToDefault", std::string("VKT_FAKEBMC_LIB=") + VKT_SOURCE_DIR + "/README.md");
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.out, "");
}

TEST(VktCim, AllClassesEnumerateAgainstTheDemoServer) {
    ToolRun r = runTool("--simulate enumerate --all");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("varkolt/cimv2:VKT_SetFanModeToStandard"), std::string::npos);
}

}  // namespace
