// Command dispatch, the interface probe and the OpenIPMI device channel, driven through
// runIpmiCmd against the simulated BMC behind the fake device.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ipmb_bridge.h"
#include "smipmi.h"
#include "test_support.h"
#include "transport_state.h"

using testkit::Bytes;
using testkit::FakeIpmiDevice;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

using Answer = testkit::IpmiAnswer;

Answer send(BYTE netFn, BYTE cmd, Bytes request = {}) { return testkit::sendIpmi(netFn, cmd, std::move(request)); }

class Dispatch : public testkit::SimTest {};

// ---- dispatch and the interface probe ----------------------------------------------------

TEST_F(Dispatch, ProbesBeforeEveryCommandWhileTheProbeSucceeds) {
    send(0x30, 0x0D);
    send(0x30, 0x0E);
    // The device is opened (and probed for PICMG) on the first request.
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"2C/00", "06/01", "30/0D", "06/01", "30/0E"}));
    EXPECT_EQ(err, 0);
    EXPECT_EQ(initIPMIInterface(), 0);
}

TEST_F(Dispatch, AfterAFailedProbeEachCallIsOneExchange) {
    sim().device.ipmiVersion = 0x01;  // neither 2.0 nor 1.5: no attempt accepts it
    Answer a = send(0x30, 0x0D);
    EXPECT_EQ(a.cc, 0x00);  // the command is sent anyway
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"2C/00", "06/01", "06/01", "06/01", "30/0D"}));
    bmc().clearLog();
    send(0x30, 0x0E);
    send(0x30, 0x0C);
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"30/0E", "30/0C"}));
    EXPECT_EQ(initIPMIInterface(), 6);
}

TEST_F(Dispatch, ProbeAcceptsIpmi15OnlyOnTheThirdAttempt) {
    sim().device.ipmiVersion = 0x51;
    send(0x30, 0x0D);
    EXPECT_EQ(bmc().count(0x06, 0x01), 3u);
    EXPECT_EQ(err, 0);
    bmc().clearLog();
    send(0x30, 0x0D);
    EXPECT_EQ(bmc().count(0x06, 0x01), 3u);  // probed again, three attempts again
}

TEST_F(Dispatch, FailingGetDeviceIdFailsTheProbe) {
    bmc().failAlways(0x06, 0x01, 0xC0);
    send(0x30, 0x0D);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(bmc().count(0x06, 0x01), 3u);
}

TEST_F(Dispatch, RequestWithoutDataCarriesNoDataBytes) {
    send(0x30, 0x0D);
    std::vector<IpmiRequest> cmds = commandsOnly();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].netFn, 0x30);
    EXPECT_EQ(cmds[0].cmd, 0x0D);
    EXPECT_TRUE(cmds[0].data.empty());
    EXPECT_FALSE(cmds[0].ipmb);
    EXPECT_EQ(cmds[0].channel, 0x0F);  // the BMC channel of the system interface
}

TEST_F(Dispatch, RequestDataArriveUnchanged) {
    Bytes data = {0x01, 0x02, 0xFE, 0xFF, 0x00};
    send(0x0A, 0x11, data);
    std::vector<IpmiRequest> cmds = commandsOnly();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].data, data);
}

TEST_F(Dispatch, CompletionCodeOnlyGivesNoData) {
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok(); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_TRUE(a.data.empty());
}

TEST_F(Dispatch, DataFollowTheCompletionCode) {
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok({0x11, 0x22, 0x33}); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x11, 0x22, 0x33}));
}

TEST_F(Dispatch, NonZeroCompletionCodeKeepsItsDataUnshifted) {
    // The driver delivers cc followed by data; only a successful answer is moved down, so
    // the first data byte repeats the completion code here.
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::rawBytes({0xCC, 0x01, 0x02}); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0xCC);
    EXPECT_EQ(a.data, (Bytes{0xCC, 0x01}));
}

TEST_F(Dispatch, AnswerWithoutCompletionCodeIsAFailureWithNoData) {
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::rawBytes({}); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0xFF);
    EXPECT_TRUE(a.data.empty());
}

TEST_F(Dispatch, OverlongAnswersAreCutTo125DataBytes) {
    for (size_t size : {125u, 126u, 500u, 1023u, 1024u, 1500u}) {
        Bytes big(size);
        for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
        bmc().on(0x30, 0x70, [big](const IpmiRequest&) { return IpmiResponse::ok(big); });
        BYTE resp[125 + 16];
        memset(resp, 0x5A, sizeof resp);
        DWORD len = 0;
        BYTE cc = runIpmiCmd(0x20, 0x30, 0x70, nullptr, 0, resp, &len);
        EXPECT_EQ(cc, 0x00) << size;
        EXPECT_EQ(len, 125u) << size;
        EXPECT_EQ(resp[0], 0x00);
        EXPECT_EQ(resp[124], 124);
        for (size_t i = 125; i < sizeof resp; ++i) ASSERT_EQ(resp[i], 0x5A) << "written past 125 bytes, size " << size;
    }
}

// Nothing on the way clears an image or a reply, so a short answer right after a long one
// finds that one's bytes in every buffer: past its own length they must still read as 00h,
// and the caller's buffer must get its bytes and nothing more. Over both channels.
TEST_F(Dispatch, BytesPastAShortAnswerReadAsZeroAfterALongOne) {
    for (bool overPorts : {false, true}) {
        SCOPED_TRACE(overPorts ? "KCS ports" : "device");
        useServer(std::make_unique<testkit::SimServer>(),
                  overPorts ? std::vector<std::string>{} : std::vector<std::string>{"/dev/ipmi0"});
        bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok(Bytes(120, 0xAB)); });
        bmc().on(0x30, 0x71, [](const IpmiRequest&) { return IpmiResponse::ok({0x11, 0x22}); });
        ASSERT_EQ(vkt::ipmiRequest(0x30, 0x70).length, 120u);
        const vkt::IpmiReply reply = vkt::ipmiRequest(0x30, 0x71);
        ASSERT_EQ(reply.cc, 0x00);
        ASSERT_EQ(reply.length, 2u);
        EXPECT_EQ(reply.view().size(), 2u);
        EXPECT_EQ(reply.at(1), 0x22);
        for (size_t i = 2; i < 130; ++i) ASSERT_EQ(reply.at(i), 0x00) << "byte " << i;

        ASSERT_EQ(vkt::ipmiRequest(0x30, 0x70).length, 120u);
        BYTE resp[vkt::ipmiMaxResponseData];
        memset(resp, 0x5A, sizeof resp);
        DWORD len = 0;
        EXPECT_EQ(runIpmiCmd(0x20, 0x30, 0x71, nullptr, 0, resp, &len), 0x00);
        EXPECT_EQ(len, 2u);
        EXPECT_EQ(resp[0], 0x11);
        for (size_t i = 2; i < sizeof resp; ++i) ASSERT_EQ(resp[i], 0x5A) << "byte " << i;
    }
}

TEST_F(Dispatch, RequestsOverTheImageAreRefusedUnsent) {
    Bytes tooLong(127, 0x11);
    Answer a = send(0x30, 0x70, tooLong);
    EXPECT_EQ(a.cc, 0xC7);
    EXPECT_TRUE(a.data.empty());
    EXPECT_EQ(bmc().count(0x30, 0x70), 0u);
    Bytes longest(126, 0x22);
    send(0x30, 0x70, longest);
    ASSERT_EQ(bmc().count(0x30, 0x70), 1u);
    EXPECT_EQ(bmc().requests(0x30, 0x70)[0].data, longest);
}

TEST(CompletionCodeText, ShowsTwoUpperCaseDigitsAndANewline) {
    char* d5 = completionCodeStr(0xD5);
    char* ok = completionCodeStr(0x00);
    EXPECT_STREQ(d5, "Completion Code=D5h\n");
    EXPECT_STREQ(ok, "Completion Code=00h\n");
    free(d5);
    free(ok);
}

// ---- device nodes ------------------------------------------------------------------------

class DeviceNodes : public testkit::SimTest {};

TEST_F(DeviceNodes, EachNodeAloneIsOpenedAndUsed) {
    for (const char* node : {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"}) {
        useServer(std::make_unique<testkit::SimServer>(), {node});
        Answer a = send(0x30, 0x0C);
        EXPECT_EQ(a.cc, 0x00) << node;
        EXPECT_EQ(bmc().count(0x30, 0x0C), 1u) << node;
        EXPECT_EQ(FakeIpmiDevice::get().openDescriptors(), 1) << node;
        EXPECT_EQ(open_ipmi_drv, 1) << node;
    }
}

TEST_F(DeviceNodes, DeviceStaysOpenAcrossRequests) {
    send(0x30, 0x0C);
    send(0x30, 0x0C);
    send(0x30, 0x0C);
    EXPECT_EQ(FakeIpmiDevice::get().totalOpenAttempts(), 1);
    EXPECT_EQ(FakeIpmiDevice::get().lastGetsEvents(), 0);
    EXPECT_EQ(FakeIpmiDevice::get().lastMyAddress(), 0x20u);
}

TEST_F(DeviceNodes, WithoutANodeEveryRequestTriesTheThreePathsAgain) {
    useServer(std::make_unique<testkit::SimServer>(), {});
    Answer a = send(0x30, 0x0C);
    // Two exchanges (the probe's first attempt and the command), each trying every node
    // before it goes to the KCS ports.
    EXPECT_EQ(FakeIpmiDevice::get().openAttempts("/dev/ipmi0"), 2);
    EXPECT_EQ(FakeIpmiDevice::get().openAttempts("/dev/ipmi/0"), 2);
    EXPECT_EQ(FakeIpmiDevice::get().openAttempts("/dev/ipmidev/0"), 2);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"06/01", "30/0C"}));
    EXPECT_EQ(kcs().exchangeCount(), 2);
    EXPECT_EQ(open_ipmi_drv, 0);
    send(0x30, 0x0C);
    EXPECT_EQ(FakeIpmiDevice::get().openAttempts("/dev/ipmi0"), 4);
    EXPECT_EQ(FakeIpmiDevice::get().openDescriptors(), 0);
}

TEST_F(DeviceNodes, FailedConfigurationClosesTheDescriptor) {
    FakeIpmiDevice::get().faults().refuseGetsEvents = true;
    send(0x30, 0x0C);
    EXPECT_EQ(FakeIpmiDevice::get().openDescriptors(), 0);
    EXPECT_GT(FakeIpmiDevice::get().totalOpenAttempts(), 1);

    useServer(std::make_unique<testkit::SimServer>());
    FakeIpmiDevice::get().faults().refuseMyAddress = true;
    send(0x30, 0x0C);
    EXPECT_EQ(FakeIpmiDevice::get().openDescriptors(), 0);
}

TEST_F(DeviceNodes, PicmgControllerSuppliesTheOwnAddress) {
    sim().device.picmg = true;
    sim().device.picmgExtension = 0x22;
    sim().device.picmgOwnAddress = 0x82;
    send(0x30, 0x0C);
    EXPECT_EQ(bmc().count(0x2C, 0x01), 1u);
    EXPECT_EQ(ipmi_open_intf.my_addr, 0x82u);
    // Requests still go to the BMC through the system interface.
    for (const IpmiRequest& r : bmc().log()) EXPECT_FALSE(r.ipmb);
}

TEST_F(DeviceNodes, UnknownPicmgExtensionIsNotAskedForItsAddress) {
    sim().device.picmg = true;
    sim().device.picmgExtension = 0x99;
    send(0x30, 0x0C);
    EXPECT_EQ(bmc().count(0x2C, 0x00), 1u);
    EXPECT_EQ(bmc().count(0x2C, 0x01), 0u);
    EXPECT_EQ(ipmi_open_intf.my_addr, 0x20u);
}

// ---- IPMB addressing -------------------------------------------------------------------------

TEST_F(Dispatch, IpmbTargetBridgesTheRequest) {
    bmc().onIpmb(0x2C, [](const IpmiRequest&) { return IpmiResponse::ok({0x42}); });
    send(0x30, 0x0C);  // open the device first
    bmc().clearLog();
    ipmb_target_addr = 0x2C;
    Answer a = send(0x2E, 0xEA, {0x57, 0x01, 0x00});
    ipmb_target_addr = 0;
    std::vector<IpmiRequest> log = bmc().log();
    ASSERT_FALSE(log.empty());
    const IpmiRequest& bridged = log.back();
    EXPECT_TRUE(bridged.ipmb);
    EXPECT_EQ(bridged.channel, 0);
    EXPECT_EQ(bridged.slaveAddr, 0x2C);
    EXPECT_EQ(bridged.netFn, 0x2E);
    EXPECT_EQ(a.data, (Bytes{0x42}));
}

TEST_F(Dispatch, TargetZeroOrOwnAddressUsesTheSystemInterface) {
    for (BYTE target : {0x00, 0x20}) {
        bmc().clearLog();
        ipmb_target_addr = target;
        send(0x30, 0x0C);
        ipmb_target_addr = 0;
        for (const IpmiRequest& r : bmc().log()) EXPECT_FALSE(r.ipmb) << int(target);
    }
}

// ---- failures of the device channel ---------------------------------------------------------

TEST_F(Dispatch, SilentBmcEndsInBoundedTimeWithTimeoutCode) {
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 50; });
    send(0x30, 0x0C);  // device open, probe done
    bmc().dropNext(testkit::command(0x30, 0x70), -1);
    auto start = std::chrono::steady_clock::now();
    Answer a = send(0x30, 0x70);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(a.cc, 0xC3);
    EXPECT_TRUE(a.data.empty());
    EXPECT_LT(seconds, 0.5);
    // The interface stays with the kernel driver: the next request goes there again.
    bmc().clearLog();
    EXPECT_EQ(send(0x30, 0x0C).cc, 0x00);
    EXPECT_EQ(bmc().count(0x30, 0x0C), 1u);
}

TEST_F(Dispatch, NeverReadableDeviceTimesOut) {
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 30; });
    send(0x30, 0x0C);
    FakeIpmiDevice::get().faults().neverReadable = true;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send(0x30, 0x0C).cc, 0xC3);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
}

TEST_F(Dispatch, InterruptedWaitsAndIoctlsAreRetried) {
    send(0x30, 0x0C);
    FakeIpmiDevice::get().faults().eintrOnWait = 3;
    FakeIpmiDevice::get().faults().eintrOnIoctl = 2;
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok({0x07}); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x07}));
}

TEST_F(Dispatch, AnswerWithAnotherMessageIdIsDiscarded) {
    send(0x30, 0x0C);
    FakeIpmiDevice::get().faults().staleAnswers = 1;
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok({0x01, 0x02}); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x01, 0x02}));
}

TEST_F(Dispatch, RefusedSendOnAnOpenDeviceIsReportedNotSentElsewhere) {
    send(0x30, 0x0C);
    FakeIpmiDevice::get().faults().refuseSend = true;
    Answer a = send(0x30, 0x0C);
    EXPECT_EQ(a.cc, 0xFF);
    EXPECT_TRUE(a.data.empty());
}

// ---- the transport's state ------------------------------------------------------------------

// A session leaves state all over the transport: the device open with its PICMG answer, a
// failed probe, the port pair the probe found, the bridge's sequence numbers. Reset, the
// transport must behave as freshly loaded: the same sessions run again in the same order
// send exactly the same requests.
TEST_F(Dispatch, AResetTransportBehavesAsFreshlyLoaded) {
    const vkt::IpmbTarget me{0x06, 0x2C};
    auto requests = [this] {
        std::vector<std::string> texts;
        for (const IpmiRequest& r : bmc().log()) texts.push_back(r.toString());
        return texts;
    };
    auto overDevice = [&] {
        useServer(std::make_unique<testkit::SimServer>());
        sim().device.ipmiVersion = 0x01;  // no probe attempt accepts it
        send(0x30, 0x0D);
        send(0x30, 0x0E);
        EXPECT_TRUE(vkt::bridgedRequest(me, 0x06, 0x01, nullptr, 0).ok());
        return requests();
    };
    auto overPorts = [&] {
        useServer(std::make_unique<testkit::SimServer>(), {});
        kcs().placeAt(testkit::kcsSecondaryData, testkit::kcsSecondaryStatus);
        send(0x30, 0x0D);
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(vkt::bridgedRequest(me, 0x06, 0x01, nullptr, 0).ok());
        EXPECT_EQ(kcs().writesElsewhere(), 0u);
        return requests();
    };
    const std::vector<std::string> device = overDevice();
    const std::vector<std::string> ports = overPorts();
    ASSERT_EQ(device.front(), "2C/00 00");  // the device was opened
    // The first frame over the ports carries sequence number 0 (the byte after our address).
    ASSERT_NE(std::find(ports.begin(), ports.end(), "06/34 06 2C 18 BC 20 00 01 DF"), ports.end());
    EXPECT_EQ(overDevice(), device);
    EXPECT_EQ(overPorts(), ports);
    EXPECT_EQ(overDevice(), device);
}

// ---- root check ---------------------------------------------------------------------------

TEST(RootCheck, WithoutRootTheProcessEndsWith42BeforeAnyDeviceIsOpened) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to drop privileges in a child";
    testkit::SimServer server;
    FakeIpmiDevice::get().reset();
    testkit::attachServer(server);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    testkit::ChildResult r = testkit::runInChild(
        [&] {
            ::close(pipeFds[0]);
            FakeIpmiDevice::get().setOpenHook([&](const char*) { (void)!write(pipeFds[1], "o", 1); });
            BYTE resp[125];
            DWORD len = 0;
            runIpmiCmd(0x20, 0x30, 0x0D, nullptr, 0, resp, &len);
        },
        /*dropRoot=*/true);
    ::close(pipeFds[1]);
    char c;
    ssize_t opened = read(pipeFds[0], &c, 1);
    ::close(pipeFds[0]);
    FakeIpmiDevice::get().reset();
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 42);
    EXPECT_EQ(r.err, "Please use root permission to launch Orvic.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(opened, 0) << "a device node was opened";
    EXPECT_TRUE(server.bmc.log().empty());
}

}  // namespace
