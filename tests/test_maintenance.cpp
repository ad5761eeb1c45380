// BMC maintenance: cold reset and factory defaults with the wait for the restarting BMC,
// SEL clear, self test, firmware revision, host reset with a one-time boot device, raw
// requests, SDR record deletion and the version tags.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "progress_recorder.h"
#include "test_support.h"
#include "transport_state.h"
#include "varkolt/bmc.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::Outcome;

namespace {

class Maintenance : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        waitBMCWakeupFlag = 0;
    }
    static Outcome run(const std::function<int()>& body) { return testkit::captureOutcome(body); }
};

std::string dots(int n) { return std::string(static_cast<size_t>(n), '.'); }

const char* const waitLine = "Please wait a few minutes for the BMC to restart.\n";

TEST_F(Maintenance, ColdResetWaitsUntilTheBmcAnswersAgain) {
    sim().device.restartMs = 75000;
    waitBMCWakeupFlag = 1;
    Outcome o = run(bmc_ColdReset);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, std::string("BMC cold reset successfully completed!\n") + waitLine + dots(40) + "\n" + dots(35) +
                         "\nDone.\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(waitBMCWakeupFlag, 0);
    EXPECT_EQ(sim().clock.nowMs(), 75000);  // 60 s before the first probe, then one probe a second
    EXPECT_EQ(sim().device.coldResets, 1);

    // Without the flag the reset returns at once.
    o = run(bmc_ColdReset);
    EXPECT_EQ(o.out, "BMC cold reset successfully completed!\n");
    EXPECT_EQ(sim().clock.nowMs(), 75000);
}

// Each second of the wait is a step for a progress handler, up to the one whose probe the
// BMC answered. A handler that throws changes nothing of what the wait does or prints.
TEST_F(Maintenance, WakeUpWaitReportsItsSecondsToAProgressHandler) {
    sim().device.restartMs = 63000;
    waitBMCWakeupFlag = 1;
    {
        ProgressRecorder progress;
        ASSERT_EQ(run(bmc_ColdReset).rc, 0);
        std::vector<std::string> expected;
        for (int s = 1; s <= 63; ++s) expected.push_back(std::to_string(s) + "/99");
        EXPECT_EQ(progress.of(VKT_PROGRESS_BMC_WAKEUP), expected);
        EXPECT_EQ(progress.all().size(), expected.size());
    }
    int calls = 0;
    bmc_SetProgressHandler([](void* n, int, long, long) { ++*static_cast<int*>(n); throw 1; }, &calls);
    sim().device.restartMs = 64000;
    waitBMCWakeupFlag = 1;
    Outcome o = run(bmc_ColdReset);
    bmc_SetProgressHandler(nullptr, &calls);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, std::string("BMC cold reset successfully completed!\n") + waitLine + dots(40) + "\n" + dots(24) +
                         "\nDone.\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(calls, 64);
    waitBMCWakeupFlag = 1;
    EXPECT_EQ(run(bmc_ColdReset).rc, 0);
    EXPECT_EQ(calls, 64);  // removed
}

TEST_F(Maintenance, WaitGivesUpWhenTheBmcStaysAway) {
    sim().device.restartMs = 120000;
    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    // A BMC that says nothing at all while away: each probe must reach it all the same,
    // although a call gives up on a BMC after two requests in a row went unanswered.
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 20; });
    std::set<long long> askedAt;  // seconds at which the BMC was asked anything
    bmc().setAbsence(
        [&] {
            askedAt.insert(sim().clock.nowMs() / 1000);
            return sim().device.away();
        },
        std::nullopt);
    waitBMCWakeupFlag = 1;
    Outcome o = run(bmc_ColdReset);
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.out, std::string("BMC cold reset successfully completed!\n") + waitLine + dots(40) + "\n" + dots(40) +
                         "\n" + dots(19));
    EXPECT_EQ(o.err, "Does not detect IPMI device.\n");
    EXPECT_EQ(waitBMCWakeupFlag, 0);
    EXPECT_EQ(sim().clock.nowMs(), 99000);
    std::set<long long> probeSeconds = {0};  // the reset, then one probe a second from the 60th to the 99th
    for (long long s = 60; s <= 99; ++s) probeSeconds.insert(s);
    EXPECT_EQ(askedAt, probeSeconds);

    sim().clock.advance(30000);  // back now
    bmc().failNext(0x06, 0x02, 0xC1);
    o = run(bmc_ColdReset);
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to perform BMC cold reset, Completion Code=C1h\n");
}

TEST_F(Maintenance, FactoryDefaultsSendTheirCommandAndWaitWhenAsked) {
    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    EXPECT_EQ(run(bmc_FactoryDefault).out, "Reset to the factory default completed.\n");
    EXPECT_EQ(run(bmc_FactoryDefaultAll).rc, 0);
    sim().device.restartMs = 61000;
    waitBMCWakeupFlag = 1;
    Outcome o = run(bmc_FactoryDefaultLan);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, std::string("Reset to the factory default completed.\n") + waitLine + dots(40) + "\n" + dots(21) +
                         "\nDone.\n");
    EXPECT_EQ(sim().oem.factoryDefaults, (Bytes{0x40, 0x41, 0x42}));

    bmc().failNext(0x30, 0x40, 0xD4);
    o = run(bmc_FactoryDefault);
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to reset the BMC to the factory default.\n");

    // The firmware family is asked first; a BMC that answers none of its questions gets no reset.
    sim().device.systemGuid.reset();
    bmc().failAlways(0x06, 0x38, 0xC1);
    bmc().failAlways(0x06, 0x01, 0xC1);
    o = run(bmc_FactoryDefault);
    EXPECT_EQ(o.err, "Failed to get IPMI firmware reverison, Completion Code=C1h\n");
    EXPECT_EQ(sim().oem.factoryDefaults.size(), 3u);
}

TEST_F(Maintenance, ClearSelReportsSuccessOnceTheEraseHasStarted) {
    for (int i = 0; i < 3; ++i) sim().sel.addEvent(testkit::selEvent(0x59682F00, 0x20, 0x01, 0x30, 0x01, 0x52));
    sim().sel.eraseStatusPolls = 5;
    Outcome o = run(bmc_ClearAllSEL);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Clear all SEL successfully.\n");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"0A/42", "0A/47 01 01 43 4C 52 AA"}));
    EXPECT_TRUE(sim().sel.erasing);  // still erasing: its progress is not polled
    EXPECT_EQ(sim().sel.entries.size(), 3u);

    bmc().clearLog();
    bmc().failNext(0x0A, 0x42, 0xC1);
    o = run(bmc_ClearAllSEL);
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get reserve SEL, Completion Code=C1h\n");
    EXPECT_EQ(bmc().count(0x0A, 0x47), 0u);

    bmc().failNext(0x0A, 0x47, 0xC5);
    EXPECT_EQ(run(bmc_ClearAllSEL).err, "Failed to clear SEL, Completion Code=C5h\n");
}

TEST_F(Maintenance, SelfTestResultTexts) {
    const struct {
        Bytes answer;
        const char* text;
    } cases[] = {
        {{0x55, 0x00}, "Selftest: Passed.\n"},
        {{0x56, 0x00}, "Selftest: Not implemented.\n"},
        {{0x57, 0x0C}, "Selftest: Device corrupted.\n -> SDR repository empty.\n -> Internal Use Area corrupted.\n"},
        {{0x57, 0x81},
         "Selftest: Device corrupted.\n -> SEL device not accessible.\n -> Controller operational firmware corrupted.\n"},
        {{0x58, 0x12}, "Selftest: Fatal error.\nFailure code: 12h.\n"},
        {{0xFF, 0x00}, "Selftest: N/A.\n"},
        {{0x80, 0x03}, "Selftest: Device specific.\nFailure code: 03h.\n"},
        {{0x57}, "Selftest: Device corrupted.\n"},  // a byte not sent reads as 00h
    };
    for (const auto& c : cases) {
        sim().device.selfTest = c.answer;
        Outcome o = run(bmc_GetSelfTest);
        EXPECT_EQ(o.rc, 0);
        EXPECT_EQ(o.out, c.text);
    }
    bmc().failNext(0x06, 0x04, 0xD5);
    Outcome o = run(bmc_GetSelfTest);
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get self test result, Completion Code=D5h\n");
}

TEST_F(Maintenance, FirmwareRevisionPrintsMajorInDecimalAndMinorAsWritten) {
    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    sim().device.firmwareMajor = 1;
    sim().device.firmwareMinor = 0x23;
    Outcome o = run(bmc_GetFirmwareRevision);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Firmware Version:  1.23\n");

    // A revision that cannot be read is a failure, not an empty success.
    bmc().failAlways(0x06, 0x01, 0xC0);
    o = run(bmc_GetFirmwareRevision);
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "Failed to get IPMI firmware reverison, Completion Code=C0h\n");
}

TEST_F(Maintenance, HostResetAndShutdownWithOneTimeBootDevice) {
    Outcome o = run([] { return bmc_SystemReset(0); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\n");
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"00/02 03"});

    const char* devices[] = {"80 04", "80 08", "80 14", "80 18", "80 24", "80 2C", "80 1C", "80 20", "A0 24"};
    for (int index = 1; index <= 9; ++index) {
        bmc().clearLog();
        EXPECT_EQ(run([index] { return bmc_SystemReset(index); }).rc, 0);
        EXPECT_EQ(commandTexts(),
                  (std::vector<std::string>{std::string("00/08 05 ") + devices[index - 1] + " 00 00 00", "00/02 03"}));
    }
    // The host booted once from the device, then the flags were used up.
    const testkit::HostModel::Event last = sim().host.events.back();
    EXPECT_EQ(last.control, 0x03);
    EXPECT_EQ(last.bootFlags, 0xA0);
    EXPECT_EQ(last.bootDevice, 0x24);
    EXPECT_EQ(sim().host.bootFlags[0] & 0x80, 0);

    bmc().clearLog();
    o = run([] { return bmc_SystemSoftShutDown(9); });
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"00/08 05 A0 24 00 00 00", "00/02 05"}));
    EXPECT_FALSE(sim().host.poweredOn);

    for (int bad : {10, -1}) {
        bmc().clearLog();
        o = run([bad] { return bmc_SystemReset(bad); });
        EXPECT_EQ(o.rc, 11);
        EXPECT_EQ(o.out, "Index out of bound! (0~9)\n");
        EXPECT_EQ(o.err, "");
        EXPECT_TRUE(commandTexts().empty());
    }

    // A rejected boot device stops before the host is touched; a host that is off cannot reset.
    bmc().failNext(0x00, 0x08, 0xCC);
    o = run([] { return bmc_SystemReset(3); });
    EXPECT_EQ(o.err, "Failed to reboot from device, Completion Code=CCh\n");
    EXPECT_EQ(bmc().count(0x00, 0x02), 0u);
    o = run([] { return bmc_SystemSoftShutDown(0); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to reboot from device, Completion Code=D5h\n");
}

// ---- raw requests, SDR records, version tags ---------------------------------------------------

int raw(std::vector<const char*> words) {
    std::vector<char*> argv;
    for (const char* w : words) argv.push_back(const_cast<char*>(w));
    return bmc_ExecRawCmd(static_cast<int>(words.size()) + 2, argv.data());
}

TEST_F(Maintenance, RawRequestsAreSentAsWritten) {
    Outcome o = run([] { return raw({"06", "01"}); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "20 01 01 23 02 BF EF BE 00 21 0A 00 00 00 00 \n");
    EXPECT_EQ(bmc().log().back().toString(), "06/01");

    o = run([] { return raw({"0a", "23", "00", "00"}); });
    EXPECT_EQ(bmc().log().back().toString(), "0A/23 00 00");
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "IPMI command not completed normally, Completion Code=C7h\n");

    // Data words keep their low byte; 126 of them still fit a request.
    std::vector<const char*> full = {"0x30", "0C", "1ff"};
    full.resize(128, "7");
    EXPECT_EQ(run([&] { return raw(full); }).rc, 0);
    EXPECT_EQ(bmc().log().back().data.size(), 126u);
    EXPECT_EQ(bmc().log().back().data[0], 0xFF);
}

TEST_F(Maintenance, RawRequestsThatCannotBeSentAsWrittenAreRefused) {
    std::vector<const char*> tooLong = {"06", "01"};
    tooLong.resize(129, "00");
    const std::vector<std::vector<const char*>> refused = {
        {"06"}, {"40", "01"}, {"06", "100"}, {"06", "zz"}, {"06", "01", "0x"}, {"06", "01", nullptr}, tooLong};
    for (const auto& words : refused) {
        bmc().clearLog();
        Outcome o = run([&] { return raw(words); });
        EXPECT_EQ(o.rc, 12);
        EXPECT_NE(o.err.find("nothing was sent"), std::string::npos) << o.err;
        EXPECT_TRUE(commandTexts().empty());
    }
    EXPECT_EQ(run([] { return bmc_ExecRawCmd(1, nullptr); }).rc, 12);
    char word[] = "06";
    char* words[] = {word, word};
    EXPECT_EQ(run([&] { return bmc_ExecRawCmd(INT_MIN, words); }).rc, 12);
}

TEST_F(Maintenance, DeleteSdrRecordUnderAFreshReservation) {
    sim().sdr.add(testkit::fruLocatorRecord("FRU", 0));
    sim().sdr.add(testkit::fruLocatorRecord("PSU", 1));
    Outcome o = run([] { return bmc_DeleteSDRRecord(2); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Delete SDR Record (2) successfully.\n");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"0A/22", "0A/26 01 00 02 00"}));
    EXPECT_EQ(sim().sdr.records.size(), 1u);

    for (int bad : {-1, 65536}) {
        bmc().clearLog();
        o = run([bad] { return bmc_DeleteSDRRecord(bad); });
        EXPECT_EQ(o.rc, 12);
        EXPECT_TRUE(commandTexts().empty());
    }
    // A refused reservation leaves the previous one, which the deletion above used up.
    bmc().failNext(0x0A, 0x22, 0xC1);
    o = run([] { return bmc_DeleteSDRRecord(1); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to delete SDR record, Completion Code=C5h\n");
    EXPECT_EQ(bmc().log().back().toString(), "0A/26 01 00 01 00");
}

TEST_F(Maintenance, VersionTagsReadAndWrite) {
    const auto sdrQuery = [](const IpmiRequest& r) { return r.is(0x30, 0x70) && r.data == Bytes{0x0D, 0x00}; };
    bmc().inject(sdrQuery, IpmiResponse::ok({0x12, 0x0A, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(run(bmc_GetSDRVer).out, "SDR version is 12.0A\n");
    bmc().inject(sdrQuery, IpmiResponse::ok({0x07}));
    EXPECT_EQ(run(bmc_GetSDRVer).out, "SDR version is 07.00\n");

    Outcome o = run([] { return bmc_SetFRUVer(1, 2); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\nFRU version is 01.02\n");
    EXPECT_EQ(bmc().requests(0x30, 0x70).at(2).toString(), "30/70 0E 01 01 02");
    EXPECT_EQ(run([] { return bmc_SetSDRVer(3, 0x10); }).out, "Done.\nSDR version is 03.10\n");

    bmc().failNext(0x30, 0x70, 0xCC);
    o = run([] { return bmc_SetFRUVer(9, 9); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to set FRU version, Completion Code=CCh\n");
    EXPECT_EQ(o.out, "");
    bmc().failNext(0x30, 0x70, 0xC1);
    EXPECT_EQ(run(bmc_GetFRUVer).err, "Failed to get FRU version, Completion Code=C1h\n");
}

}  // namespace
