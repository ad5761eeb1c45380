// Recording a BMC conversation and playing it back: the file format and its parser, the
// device and KCS recorders in front of the simulated server, the replay backend, and
// vkt-cim's --record and --simulate=replay:FILE end to end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "backends/replay_backend.h"
#include "generic_util.h"
#include "recording/device_recorder.h"
#include "recording/kcs_recorder.h"
#include "recording/recording_file.h"
#include "recording_test_support.h"
#include "smipmi.h"
#include "test_support.h"
#include "transport_state.h"
#include "varkolt/bmc.h"

namespace rec = testkit::recording;
using testkit::Bytes;
using testkit::IpmiRequest;

namespace {

const char* const passwordLine = "# Set User Password (06h/47h): its data bytes are replaced by zeros in this file.\n";

std::vector<rec::Exchange> parse(const std::string& text) {
    std::vector<rec::Exchange> out;
    std::string error;
    EXPECT_TRUE(rec::parseRecording(text, &out, &error)) << error;
    return out;
}

std::string parseError(const std::string& body) {
    std::vector<rec::Exchange> out;
    std::string error;
    EXPECT_FALSE(rec::parseRecording(body, &out, &error)) << body;
    return error;
}

// The exchange lines of a recording without their times.
std::vector<std::string> lines(const std::vector<rec::Exchange>& exchanges) {
    std::vector<std::string> out;
    for (rec::Exchange e : exchanges) {
        e.ms = -1;
        out.push_back(rec::exchangeLine(e));
    }
    return out;
}

// ---- the file format ------------------------------------------------------------------

TEST(RecordingFormat, ReadsEveryFormOfALine) {
    auto e = parse(
        "vkt-ipmi-recording 1\r\n"
        "# a comment line\n"
        "\n"
        "bmc 06/01 -> 00 20 01 12.5ms   # trailing comment\r\n"
        "bmc:2 0a/43 00 ff -> c5\n"
        "ipmb:6:2c:1 2E/C8 57 01 00 -> none 30000ms\n"
        "ipmb:0:2C 06/01 ->\n");
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].line, 4);
    EXPECT_EQ(rec::exchangeLine(e[0]), "bmc 06/01 -> 00 20 01 12.5ms");
    EXPECT_EQ(rec::exchangeLine(e[1]), "bmc:2 0A/43 00 FF -> C5");
    EXPECT_EQ(e[1].request.lun, 2);
    EXPECT_EQ(rec::exchangeLine(e[2]), "ipmb:6:2C:1 2E/C8 57 01 00 -> none 30000.0ms");
    EXPECT_TRUE(e[2].request.ipmb);
    EXPECT_EQ(e[2].request.channel, 6);
    EXPECT_EQ(e[2].request.slaveAddr, 0x2C);
    EXPECT_FALSE(e[2].answer.has_value());
    ASSERT_TRUE(e[3].answer.has_value());  // an empty message, not a missing one
    EXPECT_TRUE(e[3].answer->empty());
}

TEST(RecordingFormat, RefusesMalformedLinesNamingTheLine) {
    const std::string head = "vkt-ipmi-recording 1\n";
    EXPECT_EQ(parseError(""), "line 1: not an IPMI recording (the first line must be \"vkt-ipmi-recording 1\")");
    EXPECT_EQ(parseError("bmc 06/01 -> 00\n"),
              "line 1: not an IPMI recording (the first line must be \"vkt-ipmi-recording 1\")");
    EXPECT_EQ(parseError("vkt-ipmi-recording 2\n"), "line 1: format version 2 is not supported (this program reads version 1)");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"host 06/01 -> 00", "unknown target \"host\" (expected bmc, bmc:LUN or ipmb:CHANNEL:SLAVE[:LUN])"},
        {"bmc:4 06/01 -> 00", "unknown target \"bmc:4\" (expected bmc, bmc:LUN or ipmb:CHANNEL:SLAVE[:LUN])"},
        {"ipmb:10:2C 06/01 -> 00", "unknown target \"ipmb:10:2C\" (expected bmc, bmc:LUN or ipmb:CHANNEL:SLAVE[:LUN])"},
        {"bmc", "the command (NETFN/CMD) is missing"},
        {"bmc 6/1 -> 00", "\"6/1\" is not NETFN/CMD (two hex digits each)"},
        {"bmc 40/01 -> 00", "netFn 40 is out of range (00-3F)"},
        {"bmc 06/01 0x20 -> 00", "\"0x20\" is not a byte (two hex digits)"},
        {"bmc 06/01 00 00", "no \"->\" between the request and the answer"},
        {"bmc 06/01 -> 00 2G", "\"2G\" is neither a byte nor a time such as 1.5ms"},
        {"bmc 06/01 -> none 00", "\"00\" is neither a byte nor a time such as 1.5ms"},
        {"bmc 06/01 -> 00 1.5", "\"1.5\" is neither a byte nor a time such as 1.5ms"},
        {"bmc 06/01 -> 00 60001ms", "time 60001ms is longer than 60000ms"},
        {"bmc 06/01 -> 00 1ms 2ms", "unexpected \"2ms\" after the time"},
    };
    for (const auto& [line, reason] : cases)
        EXPECT_EQ(parseError(head + "bmc 06/01 -> 00\n" + line + "\n"), "line 3: " + reason) << line;

    std::string longRequest = head + "bmc 06/01";
    for (size_t i = 0; i <= rec::maxFieldBytes; ++i) longRequest += " 00";
    EXPECT_EQ(parseError(longRequest + " -> 00\n"), "line 2: more than 1024 request bytes");
    EXPECT_EQ(parseError(head + std::string(rec::maxLineLength + 1, ' ')), "line 2: longer than 8192 characters");
}

TEST(RecordingFormat, LoadingNamesTheFileAndRefusesWhatIsNoFile) {
    rectest::ScratchDir dir;
    std::vector<rec::Exchange> out;
    std::string error;
    EXPECT_FALSE(rec::loadRecording(dir.path(), &out, &error));
    EXPECT_EQ(error, dir.path() + ": not a regular file");
    EXPECT_FALSE(rec::loadRecording(dir.file("absent.rec"), &out, &error));
    EXPECT_EQ(error, dir.file("absent.rec") + ": No such file or directory");
    EXPECT_FALSE(rec::loadRecording("/dev/zero", &out, &error));
    EXPECT_EQ(error, "/dev/zero: not a regular file");
}

TEST(RecordingFormat, PasswordsAreZeroedAlsoInsideABridgedRequest) {
    IpmiRequest set;
    set.netFn = 0x06;
    set.cmd = 0x47;
    set.data = {0x83, 0x02, 'S', 'e', 'c', 'r', 'e', 't'};
    rec::scrubSecrets(set);
    EXPECT_EQ(set.data, Bytes(8, 0x00));

    // Send Message to channel 0: rsSA 2C, netFn 06 (<<2), checksum, rqSA, seq, cmd 47, data, checksum.
    IpmiRequest bridged;
    bridged.netFn = 0x06;
    bridged.cmd = 0x34;
    bridged.data = {0x00, 0x2C, 0x18, 0xBC, 0x20, 0x08, 0x47, 0x83, 0x02, 'S', 'e', 'c', 0x5A};
    rec::scrubSecrets(bridged);
    EXPECT_EQ(bridged.data, (Bytes{0x00, 0x2C, 0x18, 0xBC, 0x20, 0x08, 0x47, 0, 0, 0, 0, 0, 0}));

    IpmiRequest name = set;  // Set User Name (45h) carries no secret
    name.cmd = 0x45;
    name.data = {0x03, 'o', 'p'};
    rec::scrubSecrets(name);
    EXPECT_EQ(name.data, (Bytes{0x03, 'o', 'p'}));
}

// ---- recorders and replay against the simulated server -------------------------------

class Recording : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        useServer(testkit::makeScenario("demo"));
        path_ = dir_.file("session.rec");
    }
    void TearDown() override {
        testkit::installDeviceRecorder(nullptr);
        SimTest::TearDown();
    }

    // Runs `body` with every exchange recorded, over the device node or the KCS ports.
    std::vector<rec::Exchange> record(const std::function<void()>& body, bool overPorts = false) {
        rec::Writer writer;
        std::string error;
        EXPECT_TRUE(writer.open(path_, rec::Origin{"test", "", "simulated server"}, &error)) << error;
        testkit::DeviceRecorder device(testkit::fakeDeviceCalls(), writer);
        testkit::KcsRecorder ports(kcs(), writer);
        testkit::installDeviceRecorder(&device);
        if (overPorts) {
            testkit::FakeIpmiDevice::get().setPaths({});
            testkit::attachPortSpace(&ports);
        }
        body();
        device.finish();
        testkit::installDeviceRecorder(nullptr);
        testkit::attachPortSpace(kcs_.get());
        EXPECT_EQ(writer.error(), "");
        std::vector<rec::Exchange> out;
        EXPECT_TRUE(rec::loadRecording(path_, &out, &error)) << error;
        return out;
    }

    // Plays `exchanges` back through the device node; the library starts afresh.
    std::unique_ptr<testkit::ReplayBackend> replay(std::vector<rec::Exchange> exchanges) {
        testkit::resetLibraryTransport();
        auto backend = std::make_unique<testkit::ReplayBackend>(std::move(exchanges));
        testkit::FakeIpmiDevice::get().setPaths({"/dev/ipmi0"});
        testkit::FakeIpmiDevice::get().setBackend(backend.get());
        return backend;
    }

    rectest::ScratchDir dir_;
    std::string path_;
};

TEST_F(Recording, DeviceRecordingHoldsEveryRequestAndReplaysToTheSameResult) {
    testkit::Outcome live;
    auto exchanges = record([&] {
        live = testkit::captureOutcome([] { return bmc_GetSELList() * 100 + bmc_SetUserPassword(3, "Secret-Pw1"); });
    });
    EXPECT_EQ(live.rc, 0) << live.err;

    // Request for request what the server saw, the password zeroed.
    std::vector<IpmiRequest> seen = bmc().log();
    ASSERT_EQ(exchanges.size(), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        rec::scrubSecrets(seen[i]);
        EXPECT_EQ(rec::requestText(exchanges[i].request), rec::requestText(seen[i])) << i;
        EXPECT_TRUE(exchanges[i].answer.has_value()) << i;
    }
    const std::string text = testkit::readText(path_);
    EXPECT_NE(text.find(passwordLine), std::string::npos);
    std::string zeros;
    for (int i = 0; i < 22; ++i) zeros += " 00";  // user ID, operation, 20-byte password
    EXPECT_NE(text.find("\nbmc 06/47" + zeros + " -> 00 "), std::string::npos) << text;
    EXPECT_EQ(text.find("53 65 63 72 65 74"), std::string::npos) << "the password's bytes";
    EXPECT_EQ(text.find("Secret"), std::string::npos);

    auto backend = replay(exchanges);
    testkit::Outcome again =
        testkit::captureOutcome([] { return bmc_GetSELList() * 100 + bmc_SetUserPassword(3, "Other-Pw2"); });
    EXPECT_EQ(again.rc, live.rc);
    EXPECT_EQ(again.out, live.out);
    EXPECT_EQ(again.err, live.err);
    EXPECT_TRUE(backend->missing().empty());
}

TEST_F(Recording, KcsRecordingRebuildsTheSameMessagesAsTheDevice) {
    // The first walk also reads the sensor records the event texts name; later ones reuse them.
    testkit::captureOutcome(bmc_GetSELList);
    useServer(testkit::makeScenario("demo"));
    auto device = record([] { EXPECT_EQ(bmc_GetSELList(), 0); });
    useServer(testkit::makeScenario("demo"));
    auto ports = record([] { EXPECT_EQ(bmc_GetSELList(), 0); }, true);
    EXPECT_GT(kcs().exchangeCount(), 50);

    auto expected = lines(device);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected[0], "bmc 2C/00 00 -> C1") << "asked only when the device opens";
    expected.erase(expected.begin());
    EXPECT_EQ(lines(ports), expected);
    EXPECT_NE(testkit::readText(path_).find("\n# KCS interface at CA2h/CA3h\n"), std::string::npos);
}

TEST_F(Recording, AnUnansweredRequestIsRecordedAndReplayedAsSilence) {
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 20; });
    bmc().dropNext(testkit::command(0x0A, 0x40));
    testkit::Outcome live;
    auto exchanges = record([&] { live = testkit::captureOutcome([] { return bmc_GetSELInfo(); }); });
    EXPECT_EQ(live.rc, VKT_BMC_COMMAND_FAILED);
    auto silent = std::find_if(exchanges.begin(), exchanges.end(), [](const rec::Exchange& e) { return !e.answer; });
    ASSERT_NE(silent, exchanges.end());
    EXPECT_EQ(rec::requestText(silent->request), "bmc 0A/40");
    EXPECT_GE(silent->ms, 0);

    auto backend = replay(exchanges);
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 20; });
    testkit::Outcome again = testkit::captureOutcome([] { return bmc_GetSELInfo(); });
    EXPECT_EQ(again.rc, live.rc);
    EXPECT_EQ(again.err, live.err);
}

TEST_F(Recording, AKcsExchangeCutShortByTheProcessEndIsRecordedUnanswered) {
    // The BMC never offers the first answer byte: the library gives up and ends the process.
    kcs().faults().obfNeverSet = true;
    testkit::ChildResult r = testkit::runInChild([&] {
        static rec::Writer writer;
        static testkit::KcsRecorder* ports = new testkit::KcsRecorder(kcs(), writer);
        std::string error;
        if (!writer.open(path_, rec::Origin{"test", "", "simulated server"}, &error)) _exit(3);
        testkit::FakeIpmiDevice::get().setPaths({});
        testkit::attachPortSpace(ports);
        atexit([] { ports->finish(); });
        bmc_GetSELInfo();
    });
    EXPECT_EQ(r.status, 21);
    std::vector<rec::Exchange> exchanges;
    std::string error;
    ASSERT_TRUE(rec::loadRecording(path_, &exchanges, &error)) << error;
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(rec::exchangeLine(exchanges[0]).rfind("bmc 06/01 -> none ", 0), 0u) << rec::exchangeLine(exchanges[0]);
}

TEST_F(Recording, ARealBmcIsRecordedWithTheHostsOwnPortList) {
    auto portList = [] {
        std::string text;
        int fd = open("/proc/ioports", O_RDONLY);
        char buf[512];
        for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
        if (fd >= 0) close(fd);
        return text;
    };
    testkit::FakeIpmiDevice::get().setIoports("  0ca2-0ca3 : ipmi_si\n");
    EXPECT_EQ(portList(), "  0ca2-0ca3 : ipmi_si\n");
    rec::Writer writer;
    testkit::DeviceRecorder host(testkit::hostDeviceCalls(), writer);
    testkit::installDeviceRecorder(&host);
    EXPECT_EQ(portList(), testkit::readText("/proc/ioports")) << "what the library decides the KCS ports by";
}

TEST_F(Recording, ReplayAnswersInRecordedOrderAndNamesWhatIsMissingOnce) {
    auto backend = replay(parse(
        "vkt-ipmi-recording 1\n"
        "bmc 2C/00 00 -> C1\n"
        "bmc 06/01 -> 00 20 01 01 23 02 BF EF BE 00 21 0A 00 00 00 00\n"
        "bmc 0A/42 -> 00 01 00\n"
        "bmc 0A/42 -> 00 02 00\n"
        "bmc 0A/42 -> C5\n"
        "ipmb:0:2C 06/01 -> 00 50 01 04 02 02 00 57 01 00\n"
        "bmc 06/47 83 02 53 65 63 72 65 74 -> 00   # a password typed in by hand\n"));
    EXPECT_EQ(testkit::sendIpmi(0x0A, 0x42).data, (Bytes{0x01, 0x00}));
    EXPECT_EQ(testkit::sendIpmi(0x0A, 0x42).data, (Bytes{0x02, 0x00}));
    EXPECT_EQ(testkit::sendIpmi(0x0A, 0x42).cc, 0xC5);
    EXPECT_EQ(testkit::sendIpmi(0x0A, 0x42).cc, 0xC5) << "the last answer stays";

    ipmb_target_addr = 0x2C;
    EXPECT_EQ(testkit::sendIpmi(0x06, 0x01).data.at(0), 0x50);
    ipmb_target_addr = 0;

    testkit::CaptureOutput err(2);
    EXPECT_EQ(testkit::sendIpmi(0x0A, 0x40).cc, 0xC1);
    EXPECT_EQ(testkit::sendIpmi(0x0A, 0x40).cc, 0xC1);
    EXPECT_EQ(testkit::sendIpmi(0x06, 0x47, {0x83, 0x02, 'a', 'n', 'y', '-', 'p', 'w'}).cc, 0x00);
    EXPECT_EQ(testkit::sendIpmi(0x06, 0x47, {0x83, 0x02, 'a', 'n', 'y', '-', 'p', 'w', '2'}).cc, 0xC1)
        << "the length still counts";
    EXPECT_EQ(err.text(),
              "fake IPMI device: replay: \"bmc 0A/40\" is not in the recording; answered C1h\n"
              "fake IPMI device: replay: \"bmc 06/47 00 00 00 00 00 00 00 00 00\" is not in the recording; answered C1h\n");
}

// ---- vkt-cim --record and --simulate=replay:FILE ----------------------------------------

TEST(RecordingTool, RecordThenReplayPrintsTheSameInstancesForEveryClass) {
    rectest::ScratchDir dir;
    for (const std::vector<std::string>& transport : {std::vector<std::string>{}, std::vector<std::string>{"--kcs"}}) {
        const std::string rec = dir.file(transport.empty() ? "device.rec" : "kcs.rec");
        std::vector<std::string> recordArgs = {"--simulate", "--record", rec, "enumerate", "--all"};
        std::vector<std::string> replayArgs = {"--simulate=replay:" + rec, "enumerate", "--all"};
        recordArgs.insert(recordArgs.begin(), transport.begin(), transport.end());
        replayArgs.insert(replayArgs.begin(), transport.begin(), transport.end());
        auto live = rectest::vktCim(recordArgs);
        auto replayed = rectest::vktCim(replayArgs);
        ASSERT_EQ(live.status, 0) << live.err;
        EXPECT_EQ(replayed.status, 0) << replayed.err;
        EXPECT_EQ(replayed.err, live.err);

        const auto a = rectest::byClass(live.out);
        const auto b = rectest::byClass(replayed.out);
        EXPECT_EQ(a.size(), 24u);
        for (const auto& [cls, text] : a) EXPECT_EQ(b.count(cls) ? b.at(cls) : "", text) << cls;
        EXPECT_NE(a.at("VKT_Sensors").find("VKT_SensorName"), std::string::npos);

        const std::string file = testkit::readText(rec);
        EXPECT_EQ(file.rfind("vkt-ipmi-recording 1\n# tool: vkt-cim 1.0.0\n# command: vkt-cim ", 0), 0u) << file;
        EXPECT_NE(file.find(std::string("# source: simulated server \"demo\" over the ") +
                            (transport.empty() ? "OpenIPMI device\n" : "KCS ports\n")),
                  std::string::npos);
        EXPECT_NE(file.find("\n# kernel IPMI modules (loaded or built in): "), std::string::npos);
        EXPECT_NE(file.find("\n# IPMI device nodes: "), std::string::npos);
        EXPECT_NE(file.find(passwordLine), std::string::npos);
    }
    // A recording made over the ports plays back over the device node: the one request
    // only the device asks is named.
    auto crossed = rectest::vktCim({"--simulate=replay:" + dir.file("kcs.rec"), "enumerate", "VKT_FRU"});
    EXPECT_EQ(crossed.status, 0);
    EXPECT_EQ(crossed.err, "fake IPMI device: replay: \"bmc 2C/00 00\" is not in the recording; answered C1h\n");
    EXPECT_NE(crossed.out.find("VKT_ProductName = \"VK1029-TR4\""), std::string::npos) << crossed.out;
}

TEST(RecordingTool, ARequestMissingFromTheRecordingIsNamedAndFails) {
    rectest::ScratchDir dir;
    const std::string full = dir.file("full.rec");
    ASSERT_EQ(rectest::vktCim({"--simulate", "--record", full, "enumerate", "VKT_SELInfo"}).status, 0);
    // Hand-edit it: drop Get SEL Info.
    std::string text = testkit::readText(full);
    size_t at = text.find("\nbmc 0A/40 -> ");
    ASSERT_NE(at, std::string::npos) << text;
    text.erase(at + 1, text.find('\n', at + 1) - at);
    testkit::writeFile(dir.file("edited.rec"), text);

    auto r = rectest::vktCim({"--simulate=replay:" + dir.file("edited.rec"), "enumerate", "VKT_SELInfo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "fake IPMI device: replay: \"bmc 0A/40\" is not in the recording; answered C1h\n"
              "Failed to get SEL info, Completion Code=C1h\n");
    EXPECT_NE(r.out.find("VKT_TotalEntries = \"\""), std::string::npos) << r.out;
}

TEST(RecordingTool, FilesThatCannotBeUsedStopTheToolBeforeAnyExchange) {
    rectest::ScratchDir dir;
    testkit::writeFile(dir.file("bad.rec"), "vkt-ipmi-recording 1\nbmc 06/01 -> 00\nbmc 06/0x -> 00\n");
    auto bad = rectest::vktCim({"--simulate=replay:" + dir.file("bad.rec"), "enumerate", "VKT_Sensors"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "fake IPMI device: " + dir.file("bad.rec") +
                           ": line 3: \"06/0x\" is not NETFN/CMD (two hex digits each)\n"
                           "vkt-cim: the simulated server could not be started; nothing was enumerated\n");

    auto unwritable = rectest::vktCim({"--simulate", "--record", dir.file("no/such/dir.rec"), "enumerate", "VKT_FRU"});
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_EQ(unwritable.out, "");
    EXPECT_NE(unwritable.err.find("vkt-cim: cannot write the recording " + dir.file("no/such/dir.rec") +
                                  ": No such file or directory; nothing was enumerated\n"),
              std::string::npos)
        << unwritable.err;

    auto overwrite = rectest::vktCim(
        {"--simulate=replay:" + dir.file("bad.rec"), "--record", dir.path() + "/./bad.rec", "enumerate", "VKT_FRU"});
    EXPECT_EQ(overwrite.status, 2);
    EXPECT_EQ(overwrite.err, "vkt-cim: --record " + dir.path() + "/./bad.rec would overwrite the recording being played back\n");
    EXPECT_EQ(testkit::readText(dir.file("bad.rec")).size(), 53u) << "left as it was";

    EXPECT_EQ(rectest::vktCim({"--record"}).status, 2);
    EXPECT_EQ(rectest::vktCim({"--simulate", "--record=", "enumerate", "VKT_FRU"}).err, "vkt-cim: --record needs a file name\n");
}

TEST(RecordingTool, VktoolRecordsAPasswordChangeWithoutThePassword) {
    rectest::ScratchDir dir;
    testkit::writeFile(dir.file("pw"), "alice-Secret-9\n");
    testkit::writeFile(dir.file("other"), "other-Word-1\n");
    const std::string rec = dir.file("user.rec");
    auto vktool = [](const std::vector<std::string>& args) { return testkit::ipmisim::runProgram(args, 60000); };
    auto live = vktool({VKT_TOOL, "--simulate", "--record", rec, "--yes", "user", "add", "6", "alice", "--level", "3",
                        "--password-file", dir.file("pw")});
    EXPECT_EQ(live.status, 0) << live.err;
    const std::string text = testkit::readText(rec);
    EXPECT_EQ(text.rfind("vkt-ipmi-recording 1\n# tool: vktool 1.0.0\n# command: vktool --simulate --record ", 0), 0u);
    EXPECT_NE(text.find(passwordLine), std::string::npos);
    EXPECT_EQ(text.find("Secret"), std::string::npos);
    EXPECT_EQ(text.find("61 6C 69 63 65 2D 53"), std::string::npos) << "the password's bytes";
    EXPECT_NE(text.find("\nbmc 06/45 06 61 6C 69 63 65 00"), std::string::npos) << "the user name stays: " << text;

    // The replay takes any password in its place.
    auto replayed = vktool({VKT_TOOL, "--simulate=replay:" + rec, "--yes", "user", "add", "6", "alice", "--level", "3",
                            "--password-file", dir.file("other")});
    EXPECT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(replayed.out, live.out);
    EXPECT_EQ(replayed.err, live.err);

    auto overwrite = vktool({VKT_TOOL, "--simulate=replay:" + rec, "--record", rec, "user", "list"});
    EXPECT_EQ(overwrite.status, 12);
    EXPECT_EQ(overwrite.err, "vktool: --record " + rec + " would overwrite the recording being played back\n");
}

TEST(RecordingTool, RecordingTheHostsBmcNeedsRootLikeTheLibraryItself) {
    // No simulation: the host's own device nodes and ports, and the library's root check.
    // The unprivileged user runs copies of the tools, as it would run installed ones.
    testkit::CopiesForAnyUser tools({VKT_CIM_TOOL, VKT_TOOL}, {{VKT_PROVIDER_LIB, "libvarkoltprovider.so.1"},
                                                              {VKT_FAKEBMC_LIB, "libvktfakebmc.so"}});
    ASSERT_TRUE(tools.ok());
    const std::string cim = tools.program("vkt-cim"), vktool = tools.program("vktool");
    const auto useCopies = [&] {
        setenv("LD_LIBRARY_PATH", tools.libDir().c_str(), 1);
        unsetenv("VKT_PROVIDER_LIB");
        unsetenv("VKT_FAKEBMC_LIB");
    };
    rectest::ScratchDir dir;
    chmod(dir.path().c_str(), 0777);
    const std::string file = dir.file("host.rec");
    testkit::ChildResult r = testkit::runInChild(
        [&] {
            useCopies();
            execl(cim.c_str(), cim.c_str(), "--record", file.c_str(), "enumerate", "VKT_Sensors", nullptr);
            _exit(127);
        },
        true);
    EXPECT_EQ(r.status, 42);
    EXPECT_EQ(r.err, "Please use root permission to launch Orvic.\n");
    std::vector<rec::Exchange> exchanges;
    std::string error;
    ASSERT_TRUE(rec::loadRecording(file, &exchanges, &error)) << error;
    EXPECT_TRUE(exchanges.empty());
    EXPECT_NE(testkit::readText(file).find("\n# source: host BMC\n"), std::string::npos);

    // vktool the same, through the code both tools share.
    const std::string vktoolFile = dir.file("vktool.rec");
    r = testkit::runInChild(
        [&] {
            useCopies();
            execl(vktool.c_str(), vktool.c_str(), "--record", vktoolFile.c_str(), "sel", "info", nullptr);
            _exit(127);
        },
        true);
    EXPECT_EQ(r.status, 42);
    EXPECT_EQ(r.err, "Please use root permission to launch Orvic.\n");
    EXPECT_NE(testkit::readText(vktoolFile).find("\n# tool: vktool 1.0.0\n"), std::string::npos);
}

TEST(RecordingTool, TheIpmiSimFixtureReplays) {
    // The manufacturing date is shown in local time.
    auto r = rectest::vktCim({"--simulate=replay:" VKT_SOURCE_DIR "/tests/ipmisim/replay-fru.rec", "enumerate", "VKT_FRU"},
                             {"TZ=UTC"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "varkolt/cimv2:VKT_FRU.deviceID=\"FRU\"\n"
              "    deviceID = \"FRU\"\n"
              "    VKT_BoardMfgDataTime = \"2023/11/01 12:00:00 (90 62 DF)\"\n"
              "    VKT_BoardManufacturerName = \"Varkolt Systems\"\n"
              "    VKT_BoardProductName = \"VK-R1 Mainboard\"\n"
              "    VKT_BoardSerialNumber = \"BS4410027\"\n"
              "    VKT_BoardPartNumber = \"900-2291-01\"\n"
              "    VKT_BoardCustomer = \"NA\"\n"
              "    VKT_ProductManufacturerName = \"Varkolt Systems\"\n"
              "    VKT_ProductName = \"VK-R1 1U Server\"\n"
              "    VKT_ProductPartModelNumber = \"VKR1-1U-A\"\n"
              "    VKT_ProductVersion = \"1.02\"\n"
              "    VKT_ProductSerialNumber = \"PS7730011\"\n"
              "    VKT_ProductAssetTag = \"NA\"\n\n");
}

}  // namespace
