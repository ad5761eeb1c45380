// vktool as an operator runs it: the real library against the simulated server, one
// process per invocation; the server's request log and its saved state (users, LAN
// parameters, FRU) show what really changed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "clock.h"
#include "ipmisim_harness.h"
#include "test_support.h"

namespace {

using testkit::ipmisim::ProcessResult;

using testkit::readText;
using testkit::writeFile;

// "61 6C 69 63 65 00 ..." : the text's bytes, zero-padded to `width`.
std::string field(const std::string& text, size_t width) {
    testkit::Bytes bytes(text.begin(), text.end());
    bytes.resize(width, 0x00);
    return testkit::hexBytes(bytes);
}

class Vktool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }

    std::string path(const char* name) const { return dir_.file(name); }
    std::vector<std::string> env() const {
        // The FRU date is entered and shown in local time; keep one zone for the expectations.
        std::vector<std::string> e = {"VKT_SIM_LOG=" + path("requests.log"), "VKT_SIM_STATE=" + path("server.state"),
                                      "TZ=UTC"};
        e.insert(e.end(), extraEnv_.begin(), extraEnv_.end());
        return e;
    }

    // vktool ARGS with `input` on standard input (a file, so no terminal).
    ProcessResult run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), VKT_TOOL);
        writeFile(path("input"), input);
        ProcessResult r = testkit::ipmisim::runProgram(args, 60000, env(), path("input"));
        EXPECT_FALSE(r.timedOut) << r.command;
        return r;
    }

    // The requests the server received since the last call, without the interface
    // probes (Get Device ID, PICMG properties) the library sends ahead of commands.
    std::vector<std::string> commands() {
        std::vector<std::string> lines;
        std::istringstream in(readText(path("requests.log")));
        for (std::string line; std::getline(in, line);)
            if (line != "06/01" && line.rfind("2C/00", 0) != 0) lines.push_back(line);
        unlink(path("requests.log").c_str());
        return lines;
    }

    // vktool on a pseudo-terminal: each answer is typed once its prompt has appeared.
    struct TerminalRun {
        int status = -1;
        std::string screen;
    };
    TerminalRun onTerminal(std::vector<std::string> args,
                           const std::vector<std::pair<std::string, std::string>>& dialogue);

    testkit::ScratchDir dir_{"vktool-test"};
    std::vector<std::string> extraEnv_;
};

Vktool::TerminalRun Vktool::onTerminal(std::vector<std::string> args,
                                       const std::vector<std::pair<std::string, std::string>>& dialogue) {
    TerminalRun r;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
    const std::string slave = ptsname(master);
    args.insert(args.begin(), VKT_TOOL);
    std::vector<std::string> environment = env();
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int fd = open(slave.c_str(), O_RDWR);
        if (fd < 0) _exit(127);
        dup2(fd, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        for (const std::string& e : environment) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    size_t next = 0, searchFrom = 0;
    const long long deadline = testkit::nowMs() + 30000;
    while (testkit::nowMs() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[512];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the program has closed the terminal
        r.screen.append(buf, static_cast<size_t>(n));
        if (next < dialogue.size()) {
            const size_t at = r.screen.find(dialogue[next].first, searchFrom);
            if (at != std::string::npos) {
                searchFrom = at + dialogue[next].first.size();
                const std::string& answer = dialogue[next++].second;
                EXPECT_EQ(write(master, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
            }
        }
    }
    close(master);
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST_F(Vktool, AddedUserIsSentAsAnAddAndListedAfterwards) {
    ProcessResult r = run({"--simulate", "--yes", "user", "add", "6", "alice", "--level", "3"}, "alice-secret\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Done.\n");
    EXPECT_EQ(commands(), (std::vector<std::string>{
                              "06/45 06 " + field("alice", 16),
                              "06/47 86 02 " + field("alice-secret", 20),
                              "06/47 86 01 " + field("", 20),
                              "06/43 B1 06 03 00",
                          }));

    r = run({"--simulate", "user", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("User ID | User Name        | Privilege Level | Enable\n"
                         "------- | -----------      | --------------- | ------\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n      6 | alice            | Operator        | Yes   \n"), std::string::npos) << r.out;
    commands();

    // Password and level of an existing account, then its deletion.
    writeFile(path("password"), "new-pass\r\nignored second line\n");
    r = run({"--simulate", "--yes", "user", "password", "3", "--password-file", path("password")});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"--simulate", "--yes", "user", "level", "3", "admin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(commands(), (std::vector<std::string>{"06/47 83 02 " + field("new-pass", 20), "06/43 B1 03 04 00"}));
    r = run({"--simulate", "--yes", "user", "delete", "6"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"--simulate", "--json", "user", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("alice"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"id\": 3,\n    \"name\": \"operator\",\n    \"privilege\": \"Administrator\",\n"
                         "    \"enabled\": true\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.front(), '[');
}

TEST_F(Vktool, PasswordsAreNeverTakenFromTheCommandLine) {
    const std::vector<std::vector<std::string>> attempts = {
        {"--simulate", "user", "add", "6", "alice", "--password", "s3cr3t-word"},
        {"--simulate", "user", "add", "6", "alice", "--password=s3cr3t-word"},
        {"--simulate", "user", "password", "3", "-p", "s3cr3t-word"},
        {"--simulate", "user", "add", "6", "alice", "s3cr3t-word"},
        {"--simulate", "--password=s3cr3t-word", "user", "add", "6", "alice"},
    };
    for (const auto& args : attempts) {
        ProcessResult r = run(args, "piped-word\n");
        EXPECT_EQ(r.status, 12) << r.command;
        EXPECT_NE(r.err.find("never taken from the command line"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("s3cr3t-word"), std::string::npos) << r.err;
        EXPECT_TRUE(commands().empty()) << r.command;
    }
    // What a pipe or a file cannot give: nothing, a NUL byte, more than the BMC stores.
    for (const std::string& input : {std::string(), std::string("\n"), std::string("ab\0cd\n", 6),
                                     std::string("twenty-one-characters\n")}) {
        ProcessResult r = run({"--simulate", "--yes", "user", "add", "6", "alice"}, input);
        EXPECT_EQ(r.status, 12) << r.err;
        EXPECT_TRUE(commands().empty());
    }
    ProcessResult r = run({"--simulate", "--yes", "user", "add", "6", "alice"}, "twenty-characters-ok\n");
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(Vktool, RefusedArgumentsGiveTwelveAndSendNothing) {
    writeFile(path("fru.bin"), std::string(64, '\xFF'));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);  // without a writer: opening it would block
    const std::vector<std::vector<std::string>> refused = {
        {"user", "delete", "0"},
        {"user", "delete", "64"},
        {"user", "level", "3", "6"},
        {"user", "add", "6", "seventeen-letters"},
        {"user", "add", "6", "alice", "--level", "0"},
        {"user", "frobnicate"},
        {"lan", "set", "vlan", "on", "4096"},
        {"lan", "set", "vlan", "off", "10"},
        {"lan", "set", "dhcp", "maybe"},
        {"lan", "set", "netmask", "255.0.0.0"},
        {"lan", "set", "mac", "00-00-5E-00-53-10", "--yes"},  // refused by the library
        {"lan", "show", "routes"},
        {"fru", "get", "zz"},
        {"fru", "get", "cs"},
        {"fru", "set", "zz", "value", "--yes"},  // refused by the library
        {"fru", "edit", "bv=custom"},
        {"fru", "set", "bdt", "2023010112"},    // too short: the tool says so itself, the library would refuse it too
        {"fru", "set", "bdt", "202302301200"},  // 30 February
        {"fru", "set", "bdt", "203001011200"},  // past the three bytes of minutes
        {"fru", "edit", "pn=" + std::string(64, 'x')},
        {"fru", "edit", "pm=A", "PM=B"},
        {"fru", "restore", "/nonexistent/fru.bin", "--yes"},
        {"fru", "restore", "/tmp", "--yes"},
        {"sensor", "list", "extra"},
        {"sensor", "list", "--verbose"},
        {"power", "status"},
        {"power", "discharge", "5"},
        {"power", "auto-discharge", "3", "64"},
        {"chassis", "get", "bpnid"},
        {"chassis", "set", "systemname"},
        {"chassis", "mcu-update", "/nonexistent/mcu.s19", "--yes"},
        {"bmc", "factory-default", "bios", "--yes"},
        {"bmc", "host-reset", "floppy", "--yes"},
        {"bmc", "host-shutdown", "10", "--yes"},
        {"raw", "send", "40", "01"},
        {"raw", "send", "06", "1G"},
        {"raw", "send", "06", "100"},
        {"chassis", "location", "07", "zz"},
        {"fan", "mode", "turbo"},
        {"chassis", "identify", "blink"},
        {"chassis", "intrusion", "reset"},
        {"raw", "send", "06"},
        {"sdr", "delete", "65536", "--yes"},
        {"sdr", "set-version", "100", "00"},
        {"fru", "set-version", "1"},
        {"config", "save", path("config.bin"), "--type", "256"},
        {"config", "load", path("config.bin")},
        {"config", "load", "/nonexistent/config.bin", "--yes"},
        {"config", "load", path("fifo"), "--yes"},
        {"fru", "restore", path("fifo"), "--yes"},
        {"nvme", "info", "2", "0"},
        {"nvme", "request", "1", "2", "256", "--yes"},
    };
    for (std::vector<std::string> args : refused) {
        args.insert(args.begin(), "--simulate");
        ProcessResult r = run(args);
        EXPECT_EQ(r.status, 12) << r.command << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << r.command;
        EXPECT_TRUE(commands().empty()) << r.command;
    }
    // A mistyped scenario or a damaged state file must not fall through to a real BMC.
    ProcessResult r = run({"--simulate=dmeo", "user", "delete", "2"});
    EXPECT_EQ(r.status, 12);
    EXPECT_NE(r.err.find("could not be started; nothing was sent"), std::string::npos) << r.err;
    writeFile(path("server.state"), "user.2.name zz\n");
    r = run({"--simulate", "user", "delete", "2"});
    EXPECT_EQ(r.status, 12) << r.err;
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(readText(path("server.state")), "user.2.name zz\n");
    EXPECT_EQ(run({"--kcs", "user", "list"}).status, 12);
}

TEST_F(Vktool, LanChangesReachTheBmcAndAreReadBack) {
    ProcessResult r = run({"--simulate", "--yes", "lan", "set", "ip", "10.1.2.3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "IP=10.1.2.3\n");
    std::vector<std::string> sent = commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "0C/01 01 03 0A 01 02 03"), sent.end());

    r = run({"--simulate", "--yes", "lan", "set", "vlan", "on", "200"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "VLAN is now enabled.\nTag: 200\n");
    sent = commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "0C/01 01 14 C8 80"), sent.end());

    r = run({"--simulate", "--json", "lan", "show"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\n  \"ip\": \"10.1.2.3\",\n  \"mac\": \"00:00:5E:00:53:0A\",\n  \"subnetMask\": \"255.255.255.0\",\n"
              "  \"gateway\": \"192.0.2.1\",\n  \"dhcp\": false,\n  \"vlan\": true,\n"
              "  \"vlanId\": 200\n}\n");

    // Under DHCP the BMC's address is not ours to change: the library refuses with 11.
    r = run({"--simulate", "--yes", "lan", "set", "dhcp", "on"});
    EXPECT_EQ(r.out, "Successfully enable DHCP.\n");
    r = run({"--simulate", "--yes", "lan", "set", "gateway", "10.1.2.254"});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.err, "Gateway can not be changed because DHCP option is enabled.\n");
    r = run({"--simulate=failing", "lan", "show", "mask"});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.err, "Failed to get subnet mask, Completion Code=FFh\n");
}

TEST_F(Vktool, FruIsBackedUpEditedAndRestored) {
    ProcessResult r = run({"--simulate", "fru", "backup", path("fru.bin")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Backup FRU successfully.\n");  // the tool ends the routine's open line
    const std::string image = readText(path("fru.bin"));
    ASSERT_EQ(image.size(), 512u);

    r = run({"--simulate", "--yes", "fru", "edit", "pm=Newco", "ps=SN-0001", "bdt=202301011200"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"--simulate", "--json", "fru", "show"});
    EXPECT_NE(r.out.find("\"bdt\": \"2023/01/01 12:00:00 ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"pm\": \"Newco\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"ps\": \"SN-0001\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"boardCustomer\": null"), std::string::npos) << r.out;
    commands();

    r = run({"--simulate", "fru", "restore", path("fru.bin"), "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Restore FRU successfully.\n");
    std::vector<std::string> sent = commands();
    ASSERT_EQ(sent.size(), 35u);
    EXPECT_EQ(sent.front(), "0A/10 00");  // the file is compared with the FRU area first
    EXPECT_EQ(sent[1], "30/06 00");
    EXPECT_EQ(sent[2].substr(0, 14), "0A/12 00 00 00");
    EXPECT_EQ(sent[33].substr(0, 14), "0A/12 00 F0 01");
    EXPECT_EQ(sent.back(), "30/06 01");
    r = run({"--simulate", "fru", "get", "PM"});
    EXPECT_EQ(r.out, "Orvane Computing\n");

    // The text listing the same way round.
    r = run({"--simulate", "fru", "backup", "--text", path("fru.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readText(path("fru.txt")).rfind("__Common\n\t01\n", 0), 0u);
    r = run({"--simulate", "--yes", "fru", "set", "bm", "Other Board Co"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"--simulate", "--yes", "fru", "restore", "--text", path("fru.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(run({"--simulate", "fru", "get", "bm"}).out, "Orvane Computing\n");
    EXPECT_EQ(run({"--simulate", "fru", "check"}).status, 0);

    // A BMC that answers nothing is stopped at the area size, before the FRU is unlocked.
    r = run({"--simulate=failing", "--yes", "fru", "restore", path("fru.bin")});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.err, "Failed to get FRU inventory area, Completion Code=FFh\n");
}

TEST_F(Vktool, SelAndSensorTablesAsTextAndJson) {
    ProcessResult r = run({"--simulate", "sel", "info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Entries       : 39\nFree Space    : 47376 bytes\nLast Add Time : Thu Mar  7 18:00:00 2024\n"
              "Last Del Time : Pre-Init\n");
    r = run({"--simulate", "sel", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n  1 | 1970/01/01 00:00:18 | Event Logging Disabled  | Assertion   | Log area reset/cleared\n"),
              std::string::npos)
        << r.out;
    r = run({"--simulate", "--kcs", "sensor", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nCPU1 Temp       | Temperature  | 45C/113F             | 5C/41F    | 90C/194F   | OK\n"),
              std::string::npos)
        << r.out;
    r = run({"--simulate", "sensor", "list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\n    \"name\": \"PS2 Status\",\n    \"type\": \"Power Supply\",\n"
                         "    \"reading\": {\"value\": null, \"unit\": null, \"text\": \"Power Supply AC lost\"},\n"
                         "    \"lowLimit\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"highLimit\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"status\": \"Fail\"\n  }"),
              std::string::npos)
        << r.out;

    // A collector's failure is the exit status, with its message and no table.
    r = run({"--simulate=failing", "--json", "sel", "list"});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Failed to get SEL info, Completion Code=FFh\n");
    r = run({"--simulate=failing", "sensor", "list"});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.err, "Failed to get SDR repository info, Completion Code=FFh\n");
}

TEST_F(Vktool, PowerModulesAndBatteryDischarge) {
    ProcessResult r = run({"--simulate", "power", "modules"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Output Power   : 258 W\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Module Number  : ZUR-1K2D-R1\n\nModule         :  [SlaveAddress = B2h]"), std::string::npos)
        << r.out;
    r = run({"--simulate", "--json", "power", "batteries"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"dischargeSetting\": \"Auto (30 days)\""), std::string::npos) << r.out;
    commands();

    r = run({"--simulate", "--yes", "power", "auto-discharge", "3", "10"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Done.\n");
    const std::vector<std::string> sent = commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "06/52 07 74 00 EA 8A");  // every 10 days, automatic

    // No battery answers as module 1; the empty server has no power module at all.
    r = run({"--simulate", "--yes", "power", "discharge", "1"});
    EXPECT_EQ(r.status, 13);
    EXPECT_EQ(r.err, "[Module 1] is not a battery module.\n");
    r = run({"--simulate=empty", "power", "modules"});
    EXPECT_EQ(r.status, 13);
    EXPECT_EQ(r.out, "");
}

TEST_F(Vktool, NodeManagerIdentityStatesAndConfirmedReset) {
    ProcessResult r = run({"--simulate", "nm", "show"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("NM Firmware Version     : 4.0.1.51\nNM Platform             : Grantley\n"),
              std::string::npos)
        << r.out;
    r = run({"--simulate", "nm", "pstate"});
    EXPECT_EQ(r.out, "Current max allowed P-State   = 0\nNumber of P-State = 14\n");
    commands();

    // Resetting the ME is asked for first; a script says --yes.
    r = run({"--simulate", "nm", "reset"});
    EXPECT_EQ(r.status, 15);
    EXPECT_TRUE(commands().empty());
    r = run({"--simulate", "nm", "reset", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Done.\n");
    const std::vector<std::string> sent = commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "06/02 @ipmb(6,2C)");
}

TEST_F(Vktool, ChassisOfAMultiNodeServer) {
    ProcessResult r = run({"--simulate=multinode", "chassis", "show"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("System Name         : rack-07 2U4N\n"), std::string::npos) << r.out;
    r = run({"--simulate=multinode", "chassis", "nodes"});
    EXPECT_NE(r.out.find("\n   2 | Act   | 192.0.2.32 | 198W  | 1.7A    | 51C  | N/A  | 30C    | NODE-X11B | SNX11B0042\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(run({"--simulate=multinode", "chassis", "get", "NodeSN"}).out, "SNX11A0042\n");
    commands();

    r = run({"--simulate=multinode", "--yes", "chassis", "set", "systemname", "rack-08"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> sent = commands();
    EXPECT_NE(std::find_if(sent.begin(), sent.end(),
                           [](const std::string& l) { return l.find(" 72 61 63 6B 2D 30 38") != std::string::npos; }),
              sent.end());

    // A controller firmware load is asked for first; a single server has no chassis.
    writeFile(path("fru.bin"), "S00600004844521B\nS9030000FC\n");
    r = run({"--simulate=multinode", "chassis", "mcu-update", path("fru.bin")});
    EXPECT_EQ(r.status, 15);
    EXPECT_TRUE(commands().empty());
    r = run({"--simulate", "chassis", "show"});
    EXPECT_EQ(r.status, 13);
    EXPECT_EQ(r.err, "Not Pairex\n");
}

TEST_F(Vktool, MaintenanceRawRequestsConfigurationAndNvme) {
    ProcessResult r = run({"--simulate", "bmc", "self-test"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Selftest: Passed.\n");
    EXPECT_EQ(run({"--simulate", "--yes", "raw", "send", "06", "04"}).out, "55 00 \n");
    commands();
    r = run({"--simulate", "--yes", "bmc", "host-reset", "cdrom"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(commands(), (std::vector<std::string>{"00/08 05 80 14 00 00 00", "00/02 03"}));

    // A configuration loaded in one run is what the next run saves; so is a version tag.
    r = run({"--simulate", "config", "save", path("config.bin")});
    EXPECT_EQ(r.out, "Download file successfully\n");
    EXPECT_EQ(readText(path("config.bin")).rfind("[network]\n", 0), 0u);
    writeFile(path("config.bin"), "[network]\nipsrc=dhcp\n");
    r = run({"--simulate", "--yes", "config", "load", path("config.bin")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Upload file successfully\nPlease wait for 1 minute to reboot BMC.\n");
    EXPECT_EQ(run({"--simulate", "config", "save", path("config2.bin"), "--type", "0"}).status, 0);
    EXPECT_EQ(readText(path("config2.bin")), "[network]\nipsrc=dhcp\n");
    // A file whose size is unknown (0 reported, text read) would restart the BMC with an
    // empty configuration: refused with nothing sent, not even the interface probe.
    unlink(path("requests.log").c_str());
    for (const char* unknownSize : {"/proc/self/status", "/proc/cpuinfo"}) {
        r = run({"--simulate", "--yes", "config", "load", unknownSize});
        EXPECT_EQ(r.status, 11) << unknownSize;
        EXPECT_EQ(r.out, "") << unknownSize;
        EXPECT_EQ(r.err, "Couldn't read the IPMI configuration file whole at the size its file system reports; "
                         "nothing was sent.\n") << unknownSize;
        EXPECT_EQ(readText(path("requests.log")), "") << unknownSize;
    }
    EXPECT_EQ(run({"--simulate", "config", "save", path("config3.bin"), "--type", "0"}).status, 0);
    EXPECT_EQ(readText(path("config3.bin")), "[network]\nipsrc=dhcp\n");
    EXPECT_EQ(run({"--simulate", "--yes", "fru", "set-version", "1", "0a"}).out, "Done.\nFRU version is 01.0A\n");
    EXPECT_EQ(run({"--simulate", "fru", "version"}).out, "FRU version is 01.0A\n");

    EXPECT_EQ(run({"--simulate", "nvme", "list"}).out,
              "Following list shows the presenting NVME SSD HD(s):\naoc 0 slot 0 is presenting\n"
              "aoc 0 slot 2 is presenting\n");
    r = run({"--simulate", "nvme", "info", "0", "2"});
    EXPECT_NE(r.out.find("Serial Number             : PHLF7302004T1P0FGN  \n"), std::string::npos) << r.out;
}

// --wait sets the library's waitBMCWakeupFlag from the tool, through the dynamic linker.
// The simulated BMC stays away after the reset; the library's pauses move the server's
// clock instead of taking real time, so the minute and more of waiting is quick.
TEST_F(Vktool, WaitForTheRestartingBmcReallyWaits) {
    extraEnv_ = {"VKT_SIM_FAST_PAUSES=1", "VKT_SIM_RESTART_MS=75000"};
    const std::string wait = "Please wait a few minutes for the BMC to restart.\n";
    const std::string dots40(40, '.');
    ProcessResult r = run({"--simulate", "--yes", "bmc", "cold-reset", "--wait"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "BMC cold reset successfully completed!\n" + wait + dots40 + "\n" + std::string(35, '.') +
                         "\nDone.\n");
    // vktool's own progress (standard error, plain lines without a terminal) follows the
    // library's wait, which it can only hear once the flag reached the library.
    std::string progress = "Waiting for the BMC to restart: 1 of 99 s\n";
    for (int s = 10; s <= 70; s += 10)
        progress += "Waiting for the BMC to restart: " + std::to_string(s) + " of 99 s\n";
    EXPECT_EQ(r.err, progress + "The BMC answered after 75 s\n");
    // After the reset, a probe a second from the 60th, each asking for the firmware family
    // (Get System GUID first); the BMC answers the 75th.
    const std::string log = readText(path("requests.log"));
    const size_t reset = log.find("06/02\n");
    ASSERT_NE(reset, std::string::npos) << log;
    std::istringstream after(log.substr(reset + 6));
    size_t probes = 0;
    for (std::string line; std::getline(after, line);) probes += line == "06/37" ? 1 : 0;
    EXPECT_EQ(probes, 16u) << log;
    unlink(path("requests.log").c_str());

    extraEnv_ = {"VKT_SIM_FAST_PAUSES=1", "VKT_SIM_RESTART_MS=61000"};
    r = run({"--simulate", "--yes", "bmc", "factory-default", "lan", "--wait"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Reset to the factory default completed.\n" + wait + dots40 + "\n" + std::string(21, '.') +
                         "\nDone.\n");
    std::vector<std::string> sent = commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "30/42"), sent.end());

    // Without --wait the tool returns as soon as the BMC took the reset.
    r = run({"--simulate", "--yes", "bmc", "cold-reset"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "BMC cold reset successfully completed!\n");
}

TEST_F(Vktool, TerminalPasswordIsTypedTwiceWithoutEchoAndRestoreAsksFirst) {
    TerminalRun t = onTerminal({"--simulate", "user", "add", "7", "bob"},
                               {{"Add user 7 (bob) with privilege level 2? [y/N] ", "y\n"},
                                {"Password: ", "tty-secret\n"},
                                {"Password again: ", "tty-secret\n"}});
    EXPECT_EQ(t.status, 0) << t.screen;
    EXPECT_EQ(t.screen.find("tty-secret"), std::string::npos) << t.screen;
    EXPECT_NE(t.screen.find("Done."), std::string::npos) << t.screen;
    std::vector<std::string> sent = commands();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[1], "06/47 87 02 " + field("tty-secret", 20));

    t = onTerminal({"--simulate", "user", "password", "7"},
                   {{"[y/N] ", "y\n"}, {"Password: ", "one-word\n"}, {"Password again: ", "another\n"}});
    EXPECT_EQ(t.status, 12) << t.screen;
    EXPECT_NE(t.screen.find("the two passwords differ; nothing was sent"), std::string::npos) << t.screen;

    writeFile(path("fru.bin"), readText(path("fru.bin")));  // any readable file
    t = onTerminal({"--simulate", "fru", "restore", path("fru.bin")}, {{"[y/N] ", "n\n"}});
    EXPECT_EQ(t.status, 15) << t.screen;
    EXPECT_NE(t.screen.find("not confirmed; nothing was sent"), std::string::npos) << t.screen;
    EXPECT_TRUE(commands().empty());
}

// The names of the dynamic symbols `nm` lists with `options` for `file`.
std::vector<std::string> dynamicSymbols(const std::string& options, const std::string& file) {
    std::vector<std::string> names;
    FILE* p = popen(("nm -D " + options + " " + file + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) return names;
    char line[512];
    while (fgets(line, sizeof line, p) != nullptr) {
        std::istringstream words(line);
        std::string last;
        for (std::string w; words >> w;) last = w;
        names.push_back(last.substr(0, last.find('@')));
    }
    pclose(p);
    return names;
}

TEST_F(Vktool, EveryExportedRoutineHasAnAction) {
    const std::vector<std::string> exported = dynamicSymbols("--defined-only", VKT_PROVIDER_LIB);
    if (exported.empty()) GTEST_SKIP() << "nm is not installed";
    const std::vector<std::string> called = dynamicSymbols("--undefined-only", VKT_TOOL);
    size_t routines = 0;
    for (const std::string& name : exported) {
        if (name.rfind("bmc", 0) != 0) continue;  // the bmc_ routines and bmcGetPXNodeID
        ++routines;
        EXPECT_NE(std::find(called.begin(), called.end(), name), called.end()) << name << " has no vktool action";
    }
    EXPECT_GE(routines, 57u);
}

TEST_F(Vktool, HelpAtEveryLevelAndVersion) {
    ProcessResult r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* subject : {"\n  lan ", "\n  user ", "\n  fru ", "\n  sel ", "\n  sensor ", "\n  power ", "\n  nm ",
                                "\n  chassis ", "\n  fan ", "\n  bmc ", "\n  raw ", "\n  sdr ", "\n  config ", "\n  nvme "})
        EXPECT_NE(r.out.find(subject), std::string::npos) << subject;
    // Every exit status is explained, the library's own included.
    for (const char* status : {"0 success", "11 a command failed", "12 a malformed", "13 the feature is absent",
                               "14 a bridging step failed", "15 a change was not confirmed", "21 the BMC's KCS interface",
                               "modprobe ipmi_si ipmi_devintf", "42 not run as root"})
        EXPECT_NE(r.out.find(status), std::string::npos) << status;
    r = run({"fru", "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* code : {"ct", "cp", "cs", "bdt", "bm", "bpn", "bs", "bp", "bv", "pm", "pn", "ppm", "pv", "ps", "pat"})
        EXPECT_NE(r.out.find(std::string("\n  ") + code + " "), std::string::npos) << code;
    r = run({"lan", "set", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: vktool [GLOBAL OPTIONS] lan set ITEM VALUE\n", 0), 0u) << r.out;
    EXPECT_EQ(run({"help", "user", "add"}).out, run({"user", "add", "-h"}).out);
    r = run({});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.err.rfind("usage: vktool", 0), 0u);
    EXPECT_EQ(run({"--version"}).out, "vktool 1.0.0\n");
}

// ---- confirmations --------------------------------------------------------------------

// Every action that changes the BMC, with arguments it takes.
const std::vector<std::vector<std::string>> changes = {
    {"lan", "set", "ip", "10.0.0.1"},          {"lan", "set", "mask", "255.0.0.0"},
    {"lan", "set", "gateway", "10.0.0.254"},   {"lan", "set", "mac", "00:00:5E:00:53:10"},
    {"lan", "set", "dhcp", "on"},              {"lan", "set", "vlan", "on", "5"},
    {"lan", "set", "arp", "off"},              {"user", "add", "6", "alice"},
    {"user", "delete", "3"},                   {"user", "password", "3"},
    {"user", "level", "3", "4"},               {"fru", "set", "pat", "IT-1"},
    {"fru", "edit", "pm=Newco"},               {"fru", "restore", "@file"},
    {"fru", "set-version", "1", "0"},          {"sel", "clear"},
    {"power", "discharge", "3"},               {"power", "auto-discharge", "3", "10"},
    {"nm", "reset"},                           {"nm", "reset-defaults"},
    {"nm", "update-mode"},                     {"chassis", "set", "systemname", "x"},
    {"chassis", "backplane-location", "1"},    {"chassis", "location", "01"},
    {"chassis", "mcu-update", "@file"},        {"chassis", "identify", "on"},
    {"chassis", "intrusion", "clear"},         {"fan", "mode", "full"},
    {"bmc", "cold-reset"},                     {"bmc", "factory-default", "lan"},
    {"bmc", "host-reset"},                     {"bmc", "host-shutdown", "pxe"},
    {"raw", "send", "06", "01"},               {"sdr", "delete", "5"},
    {"sdr", "set-version", "1", "0"},          {"config", "load", "@file"},
    {"nvme", "request", "1", "2", "3"},
};

TEST_F(Vktool, EveryChangeAsksFirstAndAChangeNotConfirmedIsStatusFifteen) {
    writeFile(path("any.file"), "S00600004844521B\nS9030000FC\n");
    for (std::vector<std::string> args : changes) {
        std::replace(args.begin(), args.end(), std::string("@file"), path("any.file"));
        ProcessResult help = run({args[0], args[1], "--help"});
        EXPECT_NE(help.out.find("confirmation on a terminal unless --yes"), std::string::npos) << help.command;
        args.insert(args.begin(), "--simulate=multinode");
        ProcessResult r = run(args, "a-password\n");
        EXPECT_EQ(r.status, 15) << r.command << "\n" << r.err;
        EXPECT_NE(r.err.find("? Give --yes to confirm without a terminal; nothing was sent.\n"), std::string::npos)
            << r.command << "\n" << r.err;
        EXPECT_TRUE(commands().empty()) << r.command;
    }
    // Asked on a terminal: anything but yes declines, with the same status.
    for (const char* answer : {"n\n", "\n", "yess\n"}) {
        TerminalRun t = onTerminal({"--simulate", "user", "delete", "3"}, {{"Delete user 3? [y/N] ", answer}});
        EXPECT_EQ(t.status, 15) << t.screen;
        EXPECT_NE(t.screen.find("vktool: user delete: not confirmed; nothing was sent."), std::string::npos) << t.screen;
        EXPECT_TRUE(commands().empty());
    }
    TerminalRun t = onTerminal({"--simulate", "user", "delete", "3"}, {{"Delete user 3? [y/N] ", "y\n"}});
    EXPECT_EQ(t.status, 0) << t.screen;
    EXPECT_FALSE(commands().empty());
    // A malformed argument is refused before the question: 12, not 15.
    EXPECT_EQ(run({"--simulate", "user", "delete", "64"}).status, 12);
    // Lists and shows do not ask.
    EXPECT_EQ(run({"--simulate", "user", "list"}).status, 0);
}

// ---- progress ---------------------------------------------------------------------------

TEST_F(Vktool, LongOperationsShowProgressAndSayWhatWasDone) {
    ProcessResult r = run({"--simulate", "fru", "backup", path("fru.bin")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Without a terminal: a line at the first step, at each tenth and at the end.
    std::string lines;
    for (int done : {16, 64, 112, 160, 208, 256, 320, 368, 416, 464, 512})
        lines += "Writing the FRU: " + std::to_string(done) + " of 512 bytes\n";
    r = run({"--simulate", "--yes", "fru", "restore", path("fru.bin")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Restore FRU successfully.\n");
    EXPECT_EQ(r.err, lines + "FRU written: 512 bytes\n");
    r = run({"--simulate", "--yes", "--quiet", "fru", "restore", path("fru.bin")});
    EXPECT_EQ(r.out, "Restore FRU successfully.\n");
    EXPECT_EQ(r.err, "");
    // A failure gets no summary.
    r = run({"--simulate=failing", "--yes", "fru", "restore", path("fru.bin")});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.err, "Failed to get FRU inventory area, Completion Code=FFh\n");

    // On a terminal the line is rewritten in place and taken away before the summary.
    TerminalRun t = onTerminal({"--simulate", "--yes", "fru", "restore", path("fru.bin")}, {});
    EXPECT_EQ(t.status, 0) << t.screen;
    EXPECT_NE(t.screen.find("\rWriting the FRU: 16 of 512 bytes\x1b[K\rWriting the FRU: 32 of 512 bytes\x1b[K"),
              std::string::npos)
        << t.screen;
    EXPECT_EQ(t.screen.find("Writing the FRU: 16 of 512 bytes\r\n"), std::string::npos) << t.screen;
    EXPECT_NE(t.screen.find("\rRestore FRU successfully.\x1b[K\r\n"), std::string::npos) << t.screen;
    EXPECT_NE(t.screen.find("\x1b[KFRU written: 512 bytes\r\n"), std::string::npos) << t.screen;

    // The chassis controller's firmware: each record, the loader's ten seconds, the total.
    writeFile(path("mcu.s19"), "S00600004844521B\nS9030000FC\n");
    r = run({"--simulate=multinode", "--yes", "chassis", "mcu-update", path("mcu.s19")});
    EXPECT_EQ(r.status, 0);
    std::string expected = "Loading the controller firmware: record 1 of 2\n";
    for (int s = 1; s <= 10; ++s)
        expected += "Waiting for the controller's loader to finish: " + std::to_string(s) + " of 10 s\n";
    EXPECT_EQ(r.err, expected + "Loading the controller firmware: record 2 of 2\nFirmware loaded: 2 records\n");
    // A file the library refuses is no longer a silent 11.
    writeFile(path("mcu.s19"), "S00600004844521C\nS9030000FC\n");
    r = run({"--simulate=multinode", "--yes", "chassis", "mcu-update", path("mcu.s19")});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.err, "vktool: chassis mcu-update: the firmware was not loaded: the file holds a malformed record or "
                     "checksum, the chassis has no controller that takes firmware, or its loader did not answer\n");
}

// ---- the device node hint -------------------------------------------------------------

TEST_F(Vktool, WithoutADeviceNodeTheHintComesFirstAndExplainsStatusTwentyOne) {
    const std::string hint =
        "vktool: there is no OpenIPMI device node (/dev/ipmi0, /dev/ipmi/0, /dev/ipmidev/0): the\n"
        "vktool: library talks to the BMC over its KCS I/O ports instead (as root), and the run ends\n"
        "vktool: with status 21 when they do not answer. To get the device node, load the kernel's\n"
        "vktool: IPMI driver: modprobe ipmi_si ipmi_devintf\n";
    ProcessResult r = run({"--simulate", "--kcs", "sel", "info"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, hint);
    EXPECT_EQ(run({"--simulate", "sel", "info"}).err, "");
    EXPECT_EQ(run({"--simulate", "--kcs", "user", "levels"}).err, "");  // sends nothing

    // Nothing answers on the ports: the library ends the run with 21, explained beforehand,
    // or with --quiet afterwards.
    const std::vector<std::string> silent = {"VKT_SIM_KCS_SILENT=1"};
    auto runSilent = [&](std::vector<std::string> args) {
        args.insert(args.begin(), VKT_TOOL);
        std::vector<std::string> environment = env();
        environment.push_back("VKT_SIM_KCS_SILENT=1");
        return testkit::ipmisim::runProgram(args, 60000, environment);
    };
    r = runSilent({"--simulate", "--kcs", "sel", "info"});
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.err, hint);
    EXPECT_EQ(r.out, "\n [kcs] kcs_error_exit:\n");
    r = runSilent({"--simulate", "--kcs", "--quiet", "sel", "info"});
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.err, hint);
    r = runSilent({"--simulate", "--kcs", "--quiet", "--json", "sel", "info"});
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, "");  // the document stream stays clean
}

// ---- identify LED, chassis intrusion, fan mode -------------------------------------------

TEST_F(Vktool, IdentifyIntrusionAndFanModeSendWhatTheActionClassesSend) {
    struct Case {
        std::vector<std::string> command;
        const char* className;
        const char* report;
    };
    const Case cases[] = {
        {{"chassis", "identify", "on"}, "VKT_OPEN_LED", "Identify LED is on.\n"},
        {{"chassis", "identify", "off"}, "VKT_ClOSE_LED", "Identify LED is off.\n"},
        {{"chassis", "intrusion", "clear"}, "VKT_ClearChassisIntrusion", "Chassis intrusion cleared.\n"},
        {{"fan", "mode", "standard"}, "VKT_SetFanModeToStandard", "Fan mode is now Standard.\n"},
        {{"fan", "mode", "full"}, "VKT_SetFanModeToFull", "Fan mode is now Full.\n"},
        {{"fan", "mode", "optimal"}, "VKT_SetFanModeToOptimal", "Fan mode is now Optimal.\n"},
        {{"fan", "mode", "pue2"}, "VKT_SetFanModeToPUE2", "Fan mode is now PUE2 Optimal.\n"},
        {{"fan", "mode", "heavyio"}, "VKT_SetFanModeToHeavyIO", "Fan mode is now Heavy IO.\n"},
        {{"fan", "mode", "PUE3"}, "VKT_SetFanModeToPUE3", "Fan mode is now PUE3 Optimal.\n"},
    };
    for (const Case& c : cases) {
        ProcessResult cim = testkit::ipmisim::runProgram({VKT_CIM_TOOL, "--simulate", "enumerate", c.className}, 60000,
                                                         env());
        ASSERT_EQ(cim.status, 0) << cim.err;
        const std::vector<std::string> sent = commands();
        ASSERT_EQ(sent.size(), 1u) << c.className;
        std::vector<std::string> args = c.command;
        args.insert(args.begin(), {"--simulate", "--yes"});
        ProcessResult r = run(args);
        EXPECT_EQ(r.status, 0) << r.command << r.err;
        EXPECT_EQ(r.out, c.report);
        EXPECT_EQ(commands(), sent) << r.command;

        // A BMC that refuses: the completion code and 11, where the class says "False".
        args[0] = "--simulate=failing";
        r = run(args);
        EXPECT_EQ(r.status, 11) << r.command;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(", Completion Code=FFh\n"), std::string::npos) << r.err;
        commands();
    }
    ProcessResult r = run({"--simulate", "--json", "fan", "mode"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\n  \"current\": \"full\",\n  \"currentText\": \"Full\",\n  \"supported\": [\n"
              "    {\"mode\": \"standard\", \"text\": \"Standard\"},\n    {\"mode\": \"full\", \"text\": \"Full\"},\n"
              "    {\"mode\": \"optimal\", \"text\": \"Optimal\"},\n    {\"mode\": \"pue2\", \"text\": \"PUE2 Optimal\"},\n"
              "    {\"mode\": \"heavyio\", \"text\": \"Heavy IO\"},\n    {\"mode\": \"pue3\", \"text\": \"PUE3 Optimal\"}\n"
              "  ]\n}\n");
    EXPECT_EQ(run({"--simulate", "chassis", "intrusion"}).out, "Chassis intrusion: none\n");
}

// ---- privilege levels ---------------------------------------------------------------------

TEST_F(Vktool, UserLevelsListsExactlyTheLevelsTheArgumentTakes) {
    ProcessResult r = run({"--simulate", "user", "levels"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "For privilege level:\nAdministrator level : 4\nOperator level      : 3\nUser level          : 2\n"
              "Callback level      : 1\nOEM level           : 5\nNo Access level     : 15\n"
              "Names for LEVEL: administrator (admin), operator, user, callback, oem, no-access\n");
    std::vector<int> listed;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (line.find(" level") != std::string::npos && line.find(" : ") != std::string::npos)
            listed.push_back(std::stoi(line.substr(line.find(" : ") + 3)));
    for (int level = 0; level <= 16; ++level) {
        const bool isListed = std::find(listed.begin(), listed.end(), level) != listed.end();
        r = run({"--simulate", "--yes", "user", "level", "3", std::to_string(level)});
        EXPECT_EQ(r.status, isListed ? 0 : 12) << level << "\n" << r.err;
        const std::vector<std::string> sent = commands();
        EXPECT_EQ(sent.size(), isListed ? 1u : 0u) << level;
    }
    for (const char* name : {"administrator", "admin", "Operator", "user", "callback", "oem", "no-access"})
        EXPECT_EQ(run({"--simulate", "--yes", "user", "level", "3", name}).status, 0) << name;
}

}  // namespace
