// User accounts: the collection, the VKT_UserList provider, the printed table and the
// exported routines that add, delete and change accounts.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <string>
#include <vector>

#include "cimhost.h"
#include "lan_user_helpers.h"
#include "varkolt/bmc.h"

using cimhost::EnumResult;
using cimhost::Host;
using lantest::capture;
using lantest::Outcome;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

const char* const header =
    "User ID | User Name        | Privilege Level | Enable\n"
    "------- | -----------      | --------------- | ------\n";

std::string zeros(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += " 00";
    return s;
}

// "xx xx ..." of a text padded with zero bytes to `width`.
std::string field(const std::string& text, size_t width) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < width; ++i) {
        snprintf(buf, sizeof buf, " %02X", i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        s += buf;
    }
    return s;
}

// Answers Get User Access for one user ID with the given status and privilege bytes.
void answerAccess(testkit::SimBmc& bmc, uint8_t uid, uint8_t maxUsers, uint8_t status, uint8_t privilege) {
    bmc.inject([uid](const IpmiRequest& r) { return r.is(0x06, 0x44) && r.data.size() == 2 && r.data[1] == uid; },
               IpmiResponse::ok({maxUsers, status, 0x01, privilege}), -1);
}

class Users : public lantest::LanUserTest {
protected:
    void SetUp() override {
        LanUserTest::SetUp();
        host_ = Host::inProcess();
        sim().users.maxUsers = 10;
    }

    // Enumerates VKT_UserList and returns the instances; the header lines are checked.
    std::vector<cimhost::Instance> list() {
        testkit::CaptureOutput out(1);
        EnumResult r = host_->enumerate("UserListProvider");
        EXPECT_EQ(out.text(), header);
        EXPECT_EQ(r.rc, CMPI_RC_OK);
        EXPECT_EQ(r.doneCount, 1);
        return r.instances;
    }
    std::vector<std::string> ids() {
        std::vector<std::string> out;
        for (const cimhost::Instance& i : list()) out.push_back(i.get("VKT_UserID"));
        return out;
    }

    std::unique_ptr<Host> host_;
};

// ---- collection and provider ---------------------------------------------------------------

TEST_F(Users, ListsUserIdsFromTwoBelowTheMaximum) {
    for (uint8_t u = 1; u <= 10; ++u) sim().users.addUser(u, "user" + std::to_string(u), "pw", 2);
    EXPECT_EQ(ids(), (std::vector<std::string>{"2", "3", "4", "5", "6", "7", "8", "9"}));
    std::vector<std::string> names;
    for (const IpmiRequest& r : bmc().requests(0x06, 0x46)) names.push_back(r.toString());
    EXPECT_EQ(names.front(), "06/46 02");
    EXPECT_EQ(names.back(), "06/46 09");
    EXPECT_EQ(names.size(), 8u);
    EXPECT_EQ(maximumNumberOfUsers, 10);
    EXPECT_EQ(countOfUsers, 10);
}

TEST_F(Users, MaximumIsTakenFromTheLowFiveBits) {
    sim().users.maxUsers = 40;
    for (uint8_t u = 2; u <= 40; ++u) sim().users.addUser(u, "u" + std::to_string(u), "pw", 2);
    EXPECT_EQ(ids(), (std::vector<std::string>{"2", "3", "4", "5", "6", "7"}));
    EXPECT_EQ(maximumNumberOfUsers, 8);
}

TEST_F(Users, InstancesCarryIdNamePrivilegeAndEnableWithoutKey) {
    sim().users.addUser(2, "ADMIN", "pw", 4);
    sim().users.addUser(4, "backup", "pw", 2, false);
    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].path(), "varkolt/cimv2:VKT_UserList");
    EXPECT_TRUE(users[0].keys.empty());
    EXPECT_EQ(users[0].propertyNames(),
              (std::vector<std::string>{"VKT_UserID", "VKT_UserName", "VKT_PrivilegeLevel", "VKT_Enable"}));
    EXPECT_EQ(users[0].get("VKT_UserName"), "ADMIN");
    EXPECT_EQ(users[0].get("VKT_PrivilegeLevel"), "Administrator");
    EXPECT_EQ(users[0].get("VKT_Enable"), "Yes");
    EXPECT_EQ(users[1].get("VKT_UserID"), "4");
    EXPECT_EQ(users[1].get("VKT_PrivilegeLevel"), "User");
    EXPECT_EQ(users[1].get("VKT_Enable"), "No");
    // An unnamed user is not asked for its access.
    EXPECT_EQ(bmc().count(0x06, 0x44), 3u);
}

TEST_F(Users, PrivilegeTexts) {
    const struct {
        uint8_t value;
        const char* text;
    } cases[] = {{0, ""},         {1, "Callback"},        {2, "User"},  {3, "Operator"}, {4, "Administrator"},
                 {5, "OEM Proprietary"}, {6, ""}, {14, ""}, {15, "No Access"}, {0x44, "Administrator"},
                 {0x3F, "No Access"}};
    for (const auto& c : cases) EXPECT_STREQ(getPrivilege(c.value), c.text) << int(c.value);
}

TEST_F(Users, EnableBitsAndChannelBitsAreReadFromTheAnswer) {
    for (uint8_t u = 2; u <= 6; ++u) sim().users.addUser(u, "u" + std::to_string(u), "pw", 2);
    answerAccess(bmc(), 2, 10, 0xC0, 0x44);  // messaging on, privilege 4
    answerAccess(bmc(), 3, 10, 0x80, 0x06);
    answerAccess(bmc(), 4, 10, 0x00, 0x00);
    answerAccess(bmc(), 5, 10, 0x43, 0x73);  // enabled, 3 enabled users
    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 5u);
    EXPECT_EQ(users[0].get("VKT_Enable"), "No");
    EXPECT_EQ(users[0].get("VKT_PrivilegeLevel"), "Administrator");
    EXPECT_EQ(users[1].get("VKT_Enable"), "No");
    EXPECT_EQ(users[1].get("VKT_PrivilegeLevel"), "");
    EXPECT_EQ(users[2].get("VKT_Enable"), "No");
    EXPECT_EQ(users[2].get("VKT_PrivilegeLevel"), "");
    EXPECT_EQ(users[3].get("VKT_Enable"), "Yes");
    EXPECT_EQ(users[3].get("VKT_PrivilegeLevel"), "Operator");
}

TEST_F(Users, SixteenCharacterNamesArePublishedWhole) {
    sim().users.addUser(2, "ABCDEFGHIJKLMNOP", "pw", 3);
    sim().users.addUser(3, "next-user", "pw", 3);
    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].get("VKT_UserName"), "ABCDEFGHIJKLMNOP");
    Outcome table = capture([] {
        printUserList();
        return 0;
    });
    EXPECT_EQ(table.out, std::string(header) +
                             "      2 | ABCDEFGHIJKLMNOP | Operator        | Yes   \n"
                             "      3 | next-user        | Operator        | Yes   \n");
}

TEST_F(Users, NamesOfFFhBytesAreListedAndEmptyNamesAreNot) {
    sim().users.addUser(2, "ADMIN", "pw", 4);
    sim().users.addUser(3, "gone", "pw", 2);
    EXPECT_EQ(clearUserNameByFill0xFF(3), 0);
    EXPECT_EQ(bmc().requests(0x06, 0x45).at(0).toString(), "06/45 03 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF");
    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[1].get("VKT_UserName"), std::string(16, '\xFF'));
}

TEST_F(Users, UnreadableNameKeepsTheEntryOfAnEarlierCollection) {
    sim().users.addUser(2, "ADMIN", "pw", 4);
    sim().users.addUser(3, "operator", "pw", 3);
    list();
    sim().users.addUser(3, "renamed", "pw", 2);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x46) && r.data == Bytes{0x03}; },
                 IpmiResponse::error(0xC0), -1);
    testkit::CaptureOutput err(2);
    std::vector<cimhost::Instance> users = list();
    EXPECT_EQ(err.text(), "");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[1].get("VKT_UserName"), "operator");
    EXPECT_EQ(users[1].get("VKT_PrivilegeLevel"), "Operator");
}

TEST_F(Users, UnreadablePrivilegeEndsTheCollectionButTheTableIsListed) {
    for (uint8_t u = 2; u <= 5; ++u) sim().users.addUser(u, "u" + std::to_string(u), "pw", 2);
    list();
    sim().users.addUser(5, "renamed", "pw", 2);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x44) && r.data == Bytes{0x01, 0x03}; },
                 IpmiResponse::error(0xD4), 1);
    bmc().clearLog();
    Outcome o = capture([] { return bmc_GetUserList(); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get user privilege, Completion Code=D4h\n");
    EXPECT_EQ(bmc().requests(0x06, 0x46).back().toString(), "06/46 03");  // user 4 and 5 not refreshed
    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 4u);
}

TEST_F(Users, UnreadableUserCountListsWithThePreviousMaximum) {
    sim().users.addUser(2, "ADMIN", "pw", 4);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x44) && r.data == Bytes{0x01, 0x01}; },
                 IpmiResponse::error(0xC3), 1);
    testkit::CaptureOutput err(2);
    EXPECT_TRUE(list().empty());  // nothing read yet
    EXPECT_EQ(err.text(), "Failed to get number of user, Completion Code=C3h\n");
    list();
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x44) && r.data == Bytes{0x01, 0x01}; },
                 IpmiResponse::error(0xC3), 1);
    sim().users.maxUsers = 2;
    testkit::CaptureOutput again(2);
    std::vector<cimhost::Instance> users = list();
    EXPECT_EQ(again.text(), "Failed to get number of user, Completion Code=C3h\n");
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(maximumNumberOfUsers, 10);
}

TEST_F(Users, ShortAnswersReadAsZero) {
    sim().users.addUser(2, "ADMIN", "pw", 4);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x46) && r.data == Bytes{0x02}; },
                 IpmiResponse::ok({'a', 'b'}), -1);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x44) && r.data == Bytes{0x01, 0x02}; },
                 IpmiResponse::ok({0x0A, 0x40}), -1);
    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].get("VKT_UserName"), "ab");
    EXPECT_EQ(users[0].get("VKT_PrivilegeLevel"), "");
    EXPECT_EQ(users[0].get("VKT_Enable"), "Yes");
}

TEST_F(Users, IdsWithoutATableEntryAreSentButNotStored) {
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x44) || r.is(0x06, 0x46); },
                 IpmiResponse::ok(Bytes(16, 0x41)), -1);
    for (BYTE uid : {0x00, 0x01, 0x42, 0x7F, 0xFF}) {
        EXPECT_EQ(getUserName(uid), 0);
        EXPECT_EQ(getUserAccess(uid), 0);
    }
    for (const ipmi_user& u : userList) EXPECT_EQ(u.userName[0], '\0');
    EXPECT_EQ(getUserName(0x41), 0);  // the last entry
    EXPECT_EQ(userList[userListEntries - 1].userName[0], 'A');
}

// ---- account changes -------------------------------------------------------------------------

TEST_F(Users, AddUserSendsTheFourStepsAndIsListedNext) {
    EXPECT_TRUE(list().empty());
    bmc().clearLog();
    Outcome o = capture([] { return bmc_AddUser(3, "operator1", "s3cret", 4); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/45 03" + field("operator1", 16),
                                                        "06/47 83 02" + field("s3cret", 20),
                                                        "06/47 83 01" + zeros(20), "06/43 B1 03 04 00"}));
    EXPECT_EQ(sim().users.name(3), "operator1");
    EXPECT_EQ(sim().users.password(3), "s3cret");

    std::vector<cimhost::Instance> users = list();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].get("VKT_UserID"), "3");
    EXPECT_EQ(users[0].get("VKT_UserName"), "operator1");
    EXPECT_EQ(users[0].get("VKT_PrivilegeLevel"), "Administrator");
    EXPECT_EQ(users[0].get("VKT_Enable"), "Yes");
}

TEST_F(Users, LongNamesAndPasswordsAreCutToTheirFields) {
    const char name[] = "abcdefghijklmnopqrst";          // 20 characters
    const char password[] = "0123456789ABCDEFGHIJ-tail";  // 25 characters
    Outcome o = capture([&] { return bmc_AddUser(4, name, password, 2); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(bmc().requests(0x06, 0x45).at(0).data.size(), 17u);
    EXPECT_EQ(bmc().requests(0x06, 0x47).at(0).data.size(), 22u);
    EXPECT_EQ(sim().users.name(4).substr(0, 16), "abcdefghijklmnop");
    EXPECT_EQ(sim().users.password(4).substr(0, 20), "0123456789ABCDEFGHIJ");
    EXPECT_STREQ(name, "abcdefghijklmnopqrst");

    // A password that fits exactly, and none at all.
    EXPECT_EQ(capture([] { return bmc_SetUserPassword(4, "0123456789abcdefghij"); }).rc, 0);
    EXPECT_EQ(bmc().requests(0x06, 0x47).back().toString(), "06/47 84 02" + field("0123456789abcdefghij", 20));
    EXPECT_EQ(capture([] { return bmc_SetUserPassword(4, nullptr); }).rc, 0);
    EXPECT_EQ(bmc().requests(0x06, 0x47).back().toString(), "06/47 84 02" + zeros(20));
}

TEST_F(Users, AddUserStopsAtTheFirstFailedStep) {
    const struct {
        testkit::SimBmc::Predicate step;
        const char* message;
        size_t commands;
    } cases[] = {
        {testkit::command(0x06, 0x45), "Failed to set user name, Completion Code=CCh\n", 1},
        {[](const IpmiRequest& r) { return r.is(0x06, 0x47) && r.data[1] == 0x02; },
         "Failed to set user password, Completion Code=CCh\n", 2},
        {[](const IpmiRequest& r) { return r.is(0x06, 0x47) && r.data[1] == 0x01; },
         "Failed to enable user account, Completion Code=CCh\n", 3},
        {testkit::command(0x06, 0x43), "Failed to set user privilege, Completion Code=CCh\n", 4},
    };
    for (const auto& c : cases) {
        bmc().clearLog();
        bmc().clearFaults();
        bmc().inject(c.step, IpmiResponse::error(0xCC), -1);
        Outcome o = capture([] { return bmc_AddUser(5, "x", "y", 3); });
        EXPECT_EQ(o.rc, 11);
        EXPECT_EQ(o.err, c.message);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(commandTexts().size(), c.commands) << c.message;
    }
    // A level the BMC does not know fails the last step, after the name was set.
    bmc().clearFaults();
    Outcome level = capture([] { return bmc_AddUser(6, "half", "pw", 6); });
    EXPECT_EQ(level.rc, 11);
    EXPECT_EQ(level.err, "Failed to set user privilege, Completion Code=CCh\n");
    EXPECT_EQ(sim().users.name(6), "half");
}

TEST_F(Users, DeleteUserClearsTheAccountInSixSteps) {
    sim().users.addUser(4, "monitor", "pw", 2);
    bmc().clearLog();
    Outcome o = capture([] { return bmc_DelUser(4); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\n");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/44 01 04", "06/47 84 02" + zeros(20), "06/43 B1 04 0F 00",
                                                        "06/47 84 00" + zeros(20), "06/43 81 04 0F 00",
                                                        "06/45 04" + zeros(16)}));
    EXPECT_EQ(sim().users.name(4), "");
    EXPECT_EQ(sim().users.password(4), "");
    EXPECT_TRUE(list().empty());
}

TEST_F(Users, DeletingARejectedIdSendsNothingElse) {
    Outcome o = capture([] { return bmc_DelUser(12); });  // beyond the 10 IDs
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get user privilege, Completion Code=CCh\n");
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"06/44 01 0C"});
}

TEST_F(Users, DeleteStepFailures) {
    sim().users.addUser(4, "monitor", "pw", 2);
    const struct {
        testkit::SimBmc::Predicate step;
        const char* message;
    } cases[] = {
        {[](const IpmiRequest& r) { return r.is(0x06, 0x47) && r.data[1] == 0x02; }, "Failed to set user password, "},
        {[](const IpmiRequest& r) { return r.is(0x06, 0x43) && r.data[0] == 0xB1; }, "Failed to disable user privilege, "},
        {[](const IpmiRequest& r) { return r.is(0x06, 0x47) && r.data[1] == 0x00; }, "Failed to disable user account, "},
        {[](const IpmiRequest& r) { return r.is(0x06, 0x43) && r.data[0] == 0x81; }, "Failed to disable user(+) account, "},
        {testkit::command(0x06, 0x45), "Failed to set user name, "},
    };
    for (const auto& c : cases) {
        bmc().clearFaults();
        bmc().inject(c.step, IpmiResponse::error(0xD5), -1);
        Outcome o = capture([] { return bmc_DelUser(4); });
        EXPECT_EQ(o.rc, 11);
        EXPECT_EQ(o.err, std::string(c.message) + "Completion Code=D5h\n");
        EXPECT_EQ(o.out, "");
    }
}

TEST_F(Users, PasswordAndLevelChanges) {
    sim().users.addUser(3, "operator", "old", 3);
    Outcome pw = capture([] { return bmc_SetUserPassword(3, "new-pass"); });
    EXPECT_EQ(pw.rc, 0);
    EXPECT_EQ(pw.out, "Done.\n");
    EXPECT_EQ(sim().users.password(3), "new-pass");

    bmc().clearLog();
    Outcome level = capture([] { return bmc_SetUserLevel(3, 2); });
    EXPECT_EQ(level.rc, 0);
    EXPECT_EQ(level.out, "Done.\n");
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"06/43 B1 03 02 00"});
    EXPECT_EQ(sim().users.account(3).access[1].privilege, 2);

    bmc().failNext(0x06, 0x47, 0xC1);
    Outcome pwFailed = capture([] { return bmc_SetUserPassword(3, "x"); });
    EXPECT_EQ(pwFailed.rc, 11);
    EXPECT_EQ(pwFailed.err, "Failed to set user password, Completion Code=C1h\n");
    Outcome levelFailed = capture([] { return bmc_SetUserLevel(3, 9); });
    EXPECT_EQ(levelFailed.rc, 11);
    EXPECT_EQ(levelFailed.err, "Failed to set user privilege, Completion Code=CCh\n");
    EXPECT_EQ(levelFailed.out, "");
}

TEST_F(Users, IdsOutsideOneToSixtyThreeAreRefusedBeforeAnythingIsSent) {
    // The BMC keeps the low six bits: 67 would be user 3, 70 user 6.
    sim().users.maxUsers = 63;
    sim().users.addUser(3, "operator", "old-pw", 3);
    sim().users.addUser(6, "monitor", "old-pw", 2);
    const std::vector<std::function<int(unsigned char)>> routines = {
        [](unsigned char uid) { return bmc_AddUser(uid, "intruder", "pw", 4); },
        [](unsigned char uid) { return bmc_DelUser(uid); },
        [](unsigned char uid) { return bmc_SetUserPassword(uid, "new-pw"); },
        [](unsigned char uid) { return bmc_SetUserLevel(uid, 4); },
    };
    for (const auto& routine : routines) {
        for (unsigned char uid : {0, 64, 67, 70, 127, 128, 131, 255}) {
            bmc().clearLog();
            Outcome o = capture([&] { return routine(uid); });
            EXPECT_EQ(o.rc, 11) << int(uid);
            EXPECT_EQ(o.err, "User ID " + std::to_string(uid) + " is out of range (1 to 63); nothing was changed.\n");
            EXPECT_EQ(o.out, "");
            EXPECT_TRUE(commandTexts().empty()) << int(uid);
        }
    }
    EXPECT_EQ(sim().users.name(3), "operator");
    EXPECT_EQ(sim().users.password(3), "old-pw");
    EXPECT_EQ(sim().users.name(6), "monitor");
    EXPECT_EQ(sim().users.account(6).access[1].privilege, 2);
    // Both ends of the range reach the BMC.
    EXPECT_EQ(capture([] { return bmc_SetUserLevel(63, 2); }).rc, 0);
    EXPECT_EQ(capture([] { return bmc_SetUserPassword(1, "anon"); }).rc, 0);
    EXPECT_EQ(sim().users.password(1), "anon");
}

TEST_F(Users, PrintedHelpAndCounts) {
    Outcome help = capture(bmc_GetUserLevel);
    EXPECT_EQ(help.rc, 0);
    EXPECT_EQ(help.out,
              "For privilege level:\n"
              "Administrator level : 4\n"
              "Operator level      : 3\n"
              "User level          : 2\n"
              "Callback level      : 1\n");

    useServer(testkit::makeScenario("demo"));
    EXPECT_EQ(capture(bmc_GetUserList).rc, 0);
    Outcome counts = capture([] {
        printNumberOfUsers();
        return 0;
    });
    EXPECT_EQ(counts.out,
              "Maximum number of Users          : 10\n"
              "Count of currently enabled Users : 3\n");
    Outcome table = capture([] {
        printUserList();
        return 0;
    });
    EXPECT_EQ(table.out, std::string(header) +
                             "      2 | ADMIN            | Administrator   | Yes   \n"
                             "      3 | operator         | Operator        | Yes   \n"
                             "      4 | monitor          | User            | Yes   \n"
                             "      5 | former-admin     | Administrator   | No    \n");
}

TEST(UserLibrary, AddedUserAppearsThroughTheLoadedLibrary) {
    auto server = testkit::makeScenario("demo");
    testkit::FakeIpmiDevice::get().reset();
    testkit::attachServer(*server);
    std::string error;
    auto host = Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    void* lib = dlopen(VKT_PROVIDER_LIB, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    for (const char* name : {"bmc_GetUserList", "bmc_AddUser", "bmc_DelUser", "bmc_SetUserPassword",
                             "bmc_SetUserLevel", "bmc_GetUserLevel"})
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    auto addUser = reinterpret_cast<int (*)(unsigned char, const char*, const char*, int)>(dlsym(lib, "bmc_AddUser"));
    ASSERT_NE(addUser, nullptr);

    testkit::CaptureOutput out(1);
    EXPECT_EQ(host->enumerate("UserListProvider").instances.size(), 4u);
    EXPECT_EQ(addUser(6, "auditor", "Aud1t-Demo", 2), 0);
    EnumResult r = host->enumerate("UserListProvider");
    out.text();
    ASSERT_EQ(r.instances.size(), 5u);
    EXPECT_EQ(r.instances[4].get("VKT_UserID"), "6");
    EXPECT_EQ(r.instances[4].get("VKT_UserName"), "auditor");
    EXPECT_EQ(r.instances[4].get("VKT_PrivilegeLevel"), "User");
    EXPECT_EQ(r.instances[4].get("VKT_Enable"), "Yes");
    dlclose(lib);
    testkit::FakeIpmiDevice::get().reset();
}

}  // namespace
