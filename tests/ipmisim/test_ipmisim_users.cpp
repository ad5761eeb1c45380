// VKT_UserList through the real library against ipmi_sim, compared with ipmitool's user
// list; and accounts added with the library's bmc_AddUser and with vktool, read back by
// ipmitool and used to log in.
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ipmisim_test.h"

using cimhost::Instance;
using ipmisim_test::IpmiSimTest;
namespace peers = testkit::peers;

namespace {

// ipmitool's privilege names in our spelling.
std::string ourPrivilege(const std::string& peer) {
    if (peer == "ADMINISTRATOR") return "Administrator";
    if (peer == "OPERATOR") return "Operator";
    if (peer == "USER") return "User";
    if (peer == "CALLBACK") return "Callback";
    if (peer == "OEM") return "OEM Proprietary";
    if (peer == "NO ACCESS") return "No Access";
    return "";
}

class Users : public IpmiSimTest {
protected:
    cimhost::EnumResult enumerate() {
        testkit::CaptureOutput out(1);  // the provider prints a table header
        cimhost::EnumResult r = so().enumerate("UserListProvider");
        header_ = out.text();
        return r;
    }
    std::vector<peers::UserRow> peerList() { return peers::parseIpmitoolUsers(ipmitool({"user", "list", "1"}).out); }
    // Get User Access byte 1 as ipmitool's raw command reads it.
    int accessStatus(int uid) {
        auto r = ipmitool({"raw", "0x06", "0x44", "0x01", std::to_string(uid)});
        std::vector<std::string> bytes;
        for (std::stringstream ss(r.out); ss;) {
            std::string b;
            if (ss >> b) bytes.push_back(b);
        }
        return bytes.size() >= 2 ? static_cast<int>(strtol(bytes[1].c_str(), nullptr, 16)) : -1;
    }
    const Instance* find(const cimhost::EnumResult& r, int uid) {
        for (const Instance& i : r.instances)
            if (i.get("VKT_UserID") == std::to_string(uid)) return &i;
        return nullptr;
    }
    template <typename Fn>
    Fn exported(const char* name) {
        so();
        void* lib = dlopen(VKT_PROVIDER_LIB, RTLD_NOW | RTLD_NOLOAD);
        void* sym = lib != nullptr ? dlsym(lib, name) : nullptr;
        if (lib != nullptr) dlclose(lib);
        return reinterpret_cast<Fn>(sym);
    }
    std::string header_;
};

TEST_F(Users, NamedUsersMatchIpmitoolsList) {
    cimhost::EnumResult ours = enumerate();
    ASSERT_EQ(ours.rc, CMPI_RC_OK);
    EXPECT_EQ(ours.doneCount, 1);
    EXPECT_EQ(header_.rfind("User ID | User Name        | Privilege Level | Enable\n", 0), 0u) << header_;

    // The simulator reports 63 user IDs; only the low five bits count (31), and the
    // highest of those is not read: IDs 2 to 30. User 1 (anonymous) is never listed.
    auto rows = peerList();
    ASSERT_EQ(rows.size(), 63u);
    std::vector<std::string> expectedIds, ourIds;
    for (const peers::UserRow& p : rows) {
        if (p.id < 2 || p.id >= (63 & 0x1F) || p.name.empty()) continue;
        expectedIds.push_back(std::to_string(p.id));
        SCOPED_TRACE(p.name);
        const Instance* i = find(ours, p.id);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->get("VKT_UserName"), p.name);
        EXPECT_EQ(i->get("VKT_PrivilegeLevel"), ourPrivilege(p.privilege)) << p.privilege;
        EXPECT_TRUE(i->keys.empty());
    }
    for (const Instance& i : ours.instances) ourIds.push_back(i.get("VKT_UserID"));
    EXPECT_EQ(ourIds, expectedIds);
    EXPECT_EQ(ourIds, (std::vector<std::string>{"2", "3", "4", "5", "6"}));
    // So the account at ID 40 that ipmitool lists is not ours to publish.
    EXPECT_EQ(rows.at(39).name, "far40");
    EXPECT_EQ(find(ours, 40), nullptr);
}

TEST_F(Users, EnableStateIsTheReportedUserIdStatus) {
    // "Yes" only for enable status 01b in Get User Access; ipmi_sim reports 00b
    // (unspecified) for every user, enabled or not, so every user reads "No". Its
    // disabled user shows only in the messaging bit ipmitool prints.
    cimhost::EnumResult ours = enumerate();
    for (int uid : {2, 3, 4, 5, 6}) {
        const Instance* i = find(ours, uid);
        ASSERT_NE(i, nullptr) << uid;
        int status = accessStatus(uid);
        ASSERT_GE(status, 0) << uid;
        EXPECT_EQ(i->get("VKT_Enable"), (status >> 6) == 1 ? "Yes" : "No") << uid;
    }
    auto rows = peerList();
    EXPECT_FALSE(rows.at(4).ipmiMsg) << "user 5 is the disabled one";
    EXPECT_TRUE(rows.at(1).ipmiMsg);
}

TEST_F(Users, AddedUserIsListedByIpmitoolAndCanLogIn) {
    using AddUser = int (*)(unsigned char, char*, char*, int);
    auto addUser = exported<AddUser>("bmc_AddUser");
    ASSERT_NE(addUser, nullptr);
    char name[] = "vktnew";
    char password[] = "vkt-new-secret";
    testkit::CaptureOutput out(1);
    int rc = addUser(7, name, password, 3);
    std::string done = out.text();
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(done.find("Done."), 0u) << done;

    auto rows = peerList();
    ASSERT_GE(rows.size(), 7u);
    EXPECT_EQ(rows[6].id, 7);
    EXPECT_EQ(rows[6].name, "vktnew");
    EXPECT_EQ(rows[6].privilege, "OPERATOR");
    EXPECT_TRUE(rows[6].ipmiMsg);
    EXPECT_TRUE(rows[6].linkAuth);

    // The password and the enabled account work: ipmitool logs in as the new operator.
    auto login = testkit::ipmisim::runProgram({"ipmitool", "-I", "lanplus", "-H", "127.0.0.1", "-p",
                                               std::to_string(sim().lanPort()), "-U", "vktnew", "-P", "vkt-new-secret",
                                               "-C", "3", "-L", "OPERATOR", "mc", "info"},
                                              30000);
    EXPECT_EQ(login.status, 0) << login.err;

    cimhost::EnumResult after = enumerate();
    const Instance* i = find(after, 7);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->get("VKT_UserName"), "vktnew");
    EXPECT_EQ(i->get("VKT_PrivilegeLevel"), "Operator");
}

}  // namespace

namespace {

TEST_F(Users, UserAddedWithVktoolIsListedByVktoolAndIpmitool) {
    // The simulator serves one VM client at a time: hand the link over to the tool.
    link().disconnect();
    const std::string input = sim().scratchDir() + "/vktool-password";
    std::ofstream(input) << "vkt-tool-secret\n";
    const std::vector<std::string> tool = {VKT_TOOL, "--bmc-sim-vm", sim().vmAddress()};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), tool.begin(), tool.end());
        return args;
    };
    auto add = testkit::ipmisim::runProgram(with({"--yes", "user", "add", "8", "vkttool", "--level", "operator"}), 60000, {},
                                            input);
    ASSERT_EQ(add.status, 0) << add.err;
    EXPECT_EQ(add.out, "Done.\n");

    // ipmi_sim reports every user's enable status as unspecified, so "No".
    auto list = testkit::ipmisim::runProgram(with({"user", "list"}), 60000);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\n      8 | vkttool          | Operator        | No    \n"), std::string::npos) << list.out;

    auto rows = peerList();
    ASSERT_GE(rows.size(), 8u);
    EXPECT_EQ(rows[7].id, 8);
    EXPECT_EQ(rows[7].name, "vkttool");
    EXPECT_EQ(rows[7].privilege, "OPERATOR");
    auto login = testkit::ipmisim::runProgram({"ipmitool", "-I", "lanplus", "-H", "127.0.0.1", "-p",
                                               std::to_string(sim().lanPort()), "-U", "vkttool", "-P",
                                               "vkt-tool-secret", "-C", "3", "-L", "OPERATOR", "mc", "info"},
                                              30000);
    EXPECT_EQ(login.status, 0) << login.err;
}

}  // namespace
