// The provider framework: factories, function tables, unsupported operations, the action
// providers, the exported symbols of the built library and the blank normaliser.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "Common.h"
#include "cimhost.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "test_support.h"

using cimhost::EnumResult;
using cimhost::Host;
using cimhost::Operation;
using testkit::Bytes;

namespace {

class Providers : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        host_ = Host::inProcess();
    }
    std::unique_ptr<Host> host_;
};

// ---- function tables and factories -----------------------------------------------------

TEST_F(Providers, FactoriesHandOutTheSpecifiedFunctionTables) {
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        CMPIStatus st;
        CMPIInstanceMI* mi = host_->factory(p.prefix, &st);
        ASSERT_NE(mi, nullptr) << p.prefix;
        EXPECT_EQ(st.rc, CMPI_RC_OK) << p.prefix;
        EXPECT_EQ(st.msg, nullptr) << p.prefix;
        EXPECT_EQ(mi->hdl, nullptr) << p.prefix;
        ASSERT_NE(mi->ft, nullptr) << p.prefix;
        EXPECT_EQ(mi->ft->ftVersion, 200) << p.prefix;
        EXPECT_EQ(mi->ft->miVersion, 200) << p.prefix;
        EXPECT_EQ(std::string(mi->ft->miName), std::string("instance") + p.prefix);
        EXPECT_NE(mi->ft->cleanup, nullptr);
        EXPECT_NE(mi->ft->enumerateInstanceNames, nullptr);
        EXPECT_NE(mi->ft->enumerateInstances, nullptr);
        EXPECT_NE(mi->ft->getInstance, nullptr);
        EXPECT_NE(mi->ft->createInstance, nullptr);
        EXPECT_NE(mi->ft->modifyInstance, nullptr);
        EXPECT_NE(mi->ft->deleteInstance, nullptr);
        EXPECT_NE(mi->ft->execQuery, nullptr);
    }
}

TEST_F(Providers, FactoryTwiceGivesTheSameMiAndTheLaterBrokerIsUsed) {
    auto second = Host::inProcess();
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        CMPIInstanceMI* first = host_->factory(p.prefix);
        CMPIInstanceMI* again = second->factory(p.prefix);
        EXPECT_EQ(first, again) << p.prefix;
    }
    // The action classes always build an instance: it must come from the second broker.
    size_t before1 = host_->brokerObjectCount();
    size_t before2 = second->brokerObjectCount();
    EnumResult r = second->enumerate("OpenLED");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(host_->brokerObjectCount(), before1);
    EXPECT_GT(second->brokerObjectCount(), before2 + 1);
}

TEST_F(Providers, UnsupportedOperationsTouchNoResult) {
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        for (Operation op : {Operation::EnumInstanceNames, Operation::GetInstance, Operation::CreateInstance,
                             Operation::ModifyInstance, Operation::DeleteInstance, Operation::ExecQuery}) {
            EnumResult r = host_->call(p.prefix, op);
            EXPECT_EQ(r.rc, CMPI_RC_ERR_NOT_SUPPORTED) << p.prefix << " op " << int(op);
            EXPECT_TRUE(r.instances.empty());
            EXPECT_TRUE(r.objectPaths.empty());
            EXPECT_EQ(r.doneCount, 0);
            EXPECT_EQ(r.dataCount, 0);
        }
    }
    EXPECT_TRUE(bmc().log().empty()) << "an unsupported operation talked to the BMC";
}

TEST_F(Providers, CleanupSucceedsForDataProvidersOnly) {
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        CMPIStatus st = host_->cleanup(p.prefix);
        EXPECT_EQ(st.rc, p.action ? CMPI_RC_ERR_NOT_SUPPORTED : CMPI_RC_OK) << p.prefix;
        EXPECT_EQ(st.msg, nullptr);
        EXPECT_EQ(host_->cleanup(p.prefix, true).rc, st.rc);
    }
}

// ---- action providers ---------------------------------------------------------------------

struct ActionCase {
    const char* prefix;
    const char* className;
    uint8_t netFn;
    uint8_t cmd;
    Bytes data;
};

const ActionCase actionCases[] = {
    {"OpenLED", "VKT_OPEN_LED", 0x30, 0x0D, {}},
    {"CloseLED", "VKT_ClOSE_LED", 0x30, 0x0E, {}},
    {"BMCResetToDefault", "VKT_BMCResetToDefault", 0x06, 0x02, {}},
    {"ClearChassisIntrusion", "VKT_ClearChassisIntrusion", 0x30, 0x03, {}},
    {"SetFanModeToStandard", "VKT_SetFanModeToStandard", 0x30, 0x45, {0x01, 0x00}},
    {"SetFanModeToFull", "VKT_SetFanModeToFull", 0x30, 0x45, {0x01, 0x01}},
    {"SetFanModeToOptimal", "VKT_SetFanModeToOptimal", 0x30, 0x45, {0x01, 0x02}},
    {"SetFanModeToPUE2", "VKT_SetFanModeToPUE2", 0x30, 0x45, {0x01, 0x03}},
    {"SetFanModeToHeavyIO", "VKT_SetFanModeToHeavyIO", 0x30, 0x45, {0x01, 0x04}},
    {"SetFanModeToPUE3", "VKT_SetFanModeToPUE3", 0x30, 0x45, {0x01, 0x05}},
};

TEST_F(Providers, EachActionSendsItsExactRequestAndReportsTrue) {
    for (const ActionCase& c : actionCases) {
        bmc().clearLog();
        EnumResult r = host_->enumerate(c.prefix);
        EXPECT_EQ(r.rc, CMPI_RC_OK);
        ASSERT_EQ(r.instances.size(), 1u) << c.prefix;
        const cimhost::Instance& inst = r.instances[0];
        EXPECT_EQ(inst.className, c.className);
        EXPECT_EQ(inst.nameSpace, "varkolt/cimv2");
        EXPECT_TRUE(inst.keys.empty());
        EXPECT_EQ(inst.propertyNames(), std::vector<std::string>{"VKT_Result"});
        EXPECT_EQ(inst.get("VKT_Result"), "True") << c.prefix;
        EXPECT_EQ(r.doneCount, 1);
        auto cmds = commandsOnly();
        ASSERT_EQ(cmds.size(), 1u) << c.prefix;
        EXPECT_EQ(cmds[0].netFn, c.netFn) << c.prefix;
        EXPECT_EQ(cmds[0].cmd, c.cmd) << c.prefix;
        EXPECT_EQ(cmds[0].data, c.data) << c.prefix;
    }
    EXPECT_EQ(sim().device.coldResets, 1);
    EXPECT_EQ(sim().oem.fanMode, 5);
}

TEST_F(Providers, RejectedActionsReportFalse) {
    bmc().inject([](const testkit::IpmiRequest& r) { return r.netFn == 0x30 || r.is(0x06, 0x02); },
                 testkit::IpmiResponse::error(0xC1), -1);
    for (const ActionCase& c : actionCases) {
        EnumResult r = host_->enumerate(c.prefix);
        EXPECT_EQ(r.rc, CMPI_RC_OK);
        ASSERT_EQ(r.instances.size(), 1u) << c.prefix;
        EXPECT_EQ(r.instances[0].get("VKT_Result"), "False") << c.prefix;
    }
    bmc().clearFaults();
    bmc().failNext(0x30, 0x45, 0xD5);
    EXPECT_EQ(host_->enumerate("SetFanModeToFull").instances[0].get("VKT_Result"), "False");
    EXPECT_EQ(host_->enumerate("SetFanModeToFull").instances[0].get("VKT_Result"), "True");
}

TEST_F(Providers, EveryEnumerationPerformsTheActionAgain) {
    EXPECT_EQ(host_->enumerate("OpenLED").instances[0].get("VKT_Result"), "True");
    EXPECT_EQ(host_->enumerate("OpenLED").instances[0].get("VKT_Result"), "True");
    EXPECT_EQ(bmc().count(0x30, 0x0D), 2u);
    EXPECT_TRUE(sim().oem.ledOn);
    host_->enumerate("CloseLED");
    EXPECT_FALSE(sim().oem.ledOn);
}

TEST_F(Providers, StubbedDataClassesStillEndTheirResults) {
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        if (p.action) continue;
        EnumResult r = host_->enumerate(p.prefix);
        EXPECT_EQ(r.rc, CMPI_RC_OK) << p.prefix;
        EXPECT_LE(r.doneCount, 1) << p.prefix;
    }
}

// A property list is applied by every provider, so that a CIMOM that leaves it to the
// provider answers like one that applies it itself: exactly the named properties, the key on
// the path. Also where the named property is the key, or is not a property of the class.
TEST_F(Providers, EveryProviderHonoursAPropertyList) {
    useServer(testkit::makeScenario("demo"));
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        const EnumResult all = host_->enumerate(p.prefix);
        if (all.instances.empty()) continue;
        const cimhost::Instance& first = all.instances[0];
        const std::string last = first.properties.back().first;
        std::vector<std::vector<std::string>> lists = {{last}, {"NoSuchProperty"}};
        if (!first.keys.empty()) lists.push_back({first.keys[0].first});
        for (const std::vector<std::string>& wanted : lists) {
            std::vector<const char*> names;
            for (const std::string& w : wanted) names.push_back(w.c_str());
            names.push_back(nullptr);
            const EnumResult r = host_->enumerate(p.prefix, names.data());
            ASSERT_EQ(r.instances.size(), all.instances.size()) << p.prefix;
            for (size_t i = 0; i < r.instances.size(); ++i) {
                SCOPED_TRACE(std::string(p.prefix) + " with " + wanted[0]);
                EXPECT_EQ(r.instances[i].keys, all.instances[i].keys);
                for (const std::string& name : r.instances[i].propertyNames()) EXPECT_EQ(name, wanted[0]);
                if (all.instances[i].has(wanted[0])) {
                    EXPECT_EQ(r.instances[i].get(wanted[0]), all.instances[i].get(wanted[0]));
                }
            }
        }
    }
}

// ---- blank normaliser ----------------------------------------------------------------------

TEST(Trim, NormalisesBlanksInPlace) {
    char mixed[] = "  a \t b  ";
    EXPECT_EQ(trim(mixed), mixed);
    EXPECT_STREQ(mixed, "a b");
    char blank[] = " \t\n\v\f\r ";
    EXPECT_STREQ(trim(blank), "");
    char empty[] = "";
    EXPECT_STREQ(trim(empty), "");
    char inner[] = "Node\r\n\tA  B";
    EXPECT_STREQ(trim(inner), "Node A B");
    char clean[] = "x y";
    EXPECT_STREQ(trim(clean), "x y");
    EXPECT_EQ(trim(nullptr), nullptr);
}

// ---- exchanges per class ---------------------------------------------------------------------

// How many requests reach the demo server when every class is enumerated once, in the
// order of the provider list, starting from a closed device and caches that are empty.
// The first class also pays for opening the device (Get PICMG Properties).
TEST_F(Providers, EveryClassSendsItsKnownNumberOfRequestsToTheDemoServer) {
    useServer(testkit::makeScenario("demo"));
    forgetCachedReads();
    const std::vector<std::pair<std::string, size_t>> expected = {
        {"FRUProvider", 67},          {"PXInfoProvider", 2},      {"PXListProvider", 2},
        {"SELInfoProvider", 2},       {"SELListProvider", 610},   {"PMBusProvider", 544},
        {"PMBusFRUProvider", 40},     {"PMBusBBPProvider", 24},   {"LANProvider", 14},
        {"BMCIPProvider", 14},        {"NMProvider", 83},         {"SensorsProvider", 686},
        {"UserListProvider", 26},     {"IPMDeviceProvider", 694}, {"OpenLED", 2},
        {"CloseLED", 2},              {"BMCResetToDefault", 2},   {"ClearChassisIntrusion", 2},
        {"SetFanModeToFull", 2},      {"SetFanModeToHeavyIO", 2}, {"SetFanModeToPUE2", 2},
        {"SetFanModeToPUE3", 2},      {"SetFanModeToOptimal", 2}, {"SetFanModeToStandard", 2},
    };
    std::vector<std::pair<std::string, size_t>> got;
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        got.emplace_back(p.prefix, requestsDuring([&] { host_->enumerate(p.prefix); }));
    }
    EXPECT_EQ(got, expected);
}

// ---- the built library ------------------------------------------------------------------------

TEST(BuiltLibrary, DlopenFindsEveryFactory) {
    std::string error;
    auto host = Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        EXPECT_TRUE(host->hasSymbol(std::string(p.prefix) + "_Create_InstanceMI")) << p.prefix;
        CMPIStatus st;
        EXPECT_NE(host->factory(p.prefix, &st), nullptr) << p.prefix;
        EXPECT_EQ(st.rc, CMPI_RC_OK);
    }
    // CIMOMs prefer the generic factory when it exists; the library must not offer one.
    EXPECT_FALSE(host->hasSymbol("_Generic_Create_InstanceMI"));
}

TEST(BuiltLibrary, ExportsOnlyFactoriesAndBmcRoutines) {
    std::string cmd = std::string("nm -D --defined-only ") + VKT_PROVIDER_LIB;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512];
    std::set<std::string> factories;
    std::vector<std::string> others;
    while (fgets(line, sizeof line, p) != nullptr) {
        char addr[64], type[8], name[400];
        if (sscanf(line, "%63s %7s %399s", addr, type, name) != 3) continue;
        std::string n = name;
        size_t at = n.find('@');
        if (at != std::string::npos) n = n.substr(0, at);
        const std::string suffix = "_Create_InstanceMI";
        if (n.size() > suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
            factories.insert(n);
        else if (n.rfind("bmc_", 0) != 0 && n != "bmcGetPXNodeID" && n != "waitBMCWakeup" &&
                 n != "waitBMCWakeupFlag" && type[0] != 'A')
            others.push_back(n);
    }
    ASSERT_EQ(pclose(p), 0);
    std::set<std::string> expected;
    for (const cimhost::ProviderInfo& pi : cimhost::providers()) expected.insert(std::string(pi.prefix) + "_Create_InstanceMI");
    EXPECT_EQ(factories, expected);
    EXPECT_TRUE(others.empty()) << "unexpected export: " << others.front();
}

std::string sourceFile(const char* relative) { return testkit::readText(std::string(VKT_SOURCE_DIR) + "/" + relative); }

// The linker map is kept by hand beside the provider list; it must export exactly the
// listed factories, the bmc_ routines and the wait for a restarting BMC with its flag.
TEST(ProviderList, TheLinkerMapExportsExactlyTheListedFactories) {
    std::stringstream map(sourceFile("src/varkoltprovider.map"));
    std::set<std::string> global;
    bool inGlobal = false;
    for (std::string line; std::getline(map, line);) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        line = line.substr(start);
        if (line.rfind("global:", 0) == 0) inGlobal = true;
        else if (line.rfind("local:", 0) == 0) inGlobal = false;
        else if (inGlobal && line.back() == ';') global.insert(line.substr(0, line.size() - 1));
    }
    std::set<std::string> expected = {"bmc_*", "bmcGetPXNodeID", "waitBMCWakeup", "waitBMCWakeupFlag"};
    for (const cimhost::ProviderInfo& p : cimhost::providers()) expected.insert(std::string(p.prefix) + "_Create_InstanceMI");
    EXPECT_EQ(global, expected);
    EXPECT_EQ(cimhost::providers().size(), 24u);
}

TEST(ProviderList, TheReadmeNamesEveryClass) {
    const std::string readme = sourceFile("README.md");
    ASSERT_FALSE(readme.empty());
    for (const cimhost::ProviderInfo& p : cimhost::providers())
        EXPECT_NE(readme.find(p.className), std::string::npos) << p.className;
}

TEST(BuiltLibrary, ActionEnumeratesThroughTheLoadedLibrary) {
    testkit::SimServer server;
    testkit::FakeIpmiDevice::get().reset();
    testkit::attachServer(server);
    std::string error;
    auto host = Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    EnumResult r = host->enumerate("SetFanModeToPUE3");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_Result"), "True");
    auto fan = server.bmc.requests(0x30, 0x45);
    ASSERT_EQ(fan.size(), 1u);
    EXPECT_EQ(fan[0].data, (Bytes{0x01, 0x05}));
    testkit::FakeIpmiDevice::get().reset();
}

}  // namespace
