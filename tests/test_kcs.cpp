// The KCS port channel: the byte conversation with the simulated KCS BMC, the probe's
// choice of port pair, long answers, the fatal paths (in child processes), the host's own
// alarm, and providers reached over the ports with no OpenIPMI device present.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "bounded.h"
#include "channel_select.h"
#include "cimhost.h"
#include "kcs_linux.h"
#include "smipmi.h"
#include "test_support.h"
#include "transport_state.h"

using testkit::Bytes;
using testkit::ChildResult;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::SimKcsBmc;
using Transcript = std::vector<std::string>;

namespace {

const char* const errorExitText = "\n [kcs] kcs_error_exit:\n";
const char* const errorText = "\n [kcs] kcs_error:\n\n [kcs] kcs_error_exit:\n";

using Answer = testkit::IpmiAnswer;

Answer send(BYTE netFn, BYTE cmd, Bytes request = {}) { return testkit::sendIpmi(netFn, cmd, std::move(request)); }

// The conversation one exchange should have: the request image written with WRITE_START
// and WRITE_END before its last byte, each answer byte read and acknowledged, then the
// dummy byte.
Transcript exchangeOf(const Bytes& request, const Bytes& response) {
    auto hex = [](const char* what, uint8_t v) {
        char buf[16];
        snprintf(buf, sizeof buf, "%s %02X", what, v);
        return std::string(buf);
    };
    Transcript t{"cmd 61"};
    for (size_t i = 0; i + 1 < request.size(); ++i) t.push_back(hex("out", request[i]));
    t.push_back("cmd 62");
    t.push_back(hex("out", request.back()));
    for (uint8_t b : response) {
        t.push_back(hex("in", b));
        t.push_back("out 68");
    }
    t.push_back("in 00");
    return t;
}

Bytes deviceIdImage(const testkit::DeviceModel& device) {
    Bytes image = {0x1C, 0x01, 0x00};
    Bytes answer = device.deviceIdAnswer();
    image.insert(image.end(), answer.begin(), answer.end());
    return image;
}

// Every register access with the status polls shown as "st".
Transcript fullLog(const SimKcsBmc& kcs, size_t from = 0) {
    Transcript out;
    const auto& log = kcs.log();
    for (size_t i = from; i < log.size(); ++i) {
        const SimKcsBmc::Access& a = log[i];
        char buf[16];
        if (a.port == kcs.statusPort())
            snprintf(buf, sizeof buf, a.write ? "cmd %02X" : "st", a.value);
        else
            snprintf(buf, sizeof buf, "%s %02X", a.write ? "out" : "in", a.value);
        out.push_back(buf);
    }
    return out;
}

class Kcs : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        useServer(std::make_unique<testkit::SimServer>(), {});  // no device node: the ports carry everything
    }
};

// ---- the conversation --------------------------------------------------------------------------

TEST_F(Kcs, TwoByteRequestFollowsTheKcsWriteAndReadPhases) {
    Answer a = send(0x30, 0x0D);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_TRUE(a.data.empty());
    auto ex = kcs().exchanges();
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_EQ(ex[0], exchangeOf({0x18, 0x01}, deviceIdImage(sim().device)));  // the probe
    EXPECT_EQ(ex[1], (Transcript{"cmd 61", "out C0", "cmd 62", "out 0D",      //
                                 "in C4", "out 68", "in 0D", "out 68", "in 00", "out 68", "in 00"}));
    EXPECT_EQ(resp_data_len, 3);
}

TEST_F(Kcs, EveryStepWaitsForIbfAndChecksTheStateFirst) {
    send(0x30, 0x0D);
    size_t from = 0;
    const auto& log = kcs().log();
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].write && log[i].value == 0x61 && log[i].port == kcs().statusPort()) from = i - 2;
    EXPECT_EQ(fullLog(kcs(), from),
              (Transcript{"st", "st", "cmd 61",                   // wait IBF, clear OBF, WRITE_START
                          "st", "st", "st",                       // wait IBF, state WRITE, clear OBF
                          "out C0", "st", "st", "st",             // byte 0
                          "cmd 62", "st", "st", "st", "out 0D",   // WRITE_END, last byte
                          "st", "st", "st", "in C4", "out 68",    // wait IBF, state READ, OBF, byte
                          "st", "st", "st", "in 0D", "out 68",    //
                          "st", "st", "st", "in 00", "out 68",    //
                          "st", "st", "st", "st", "in 00"}));     // IDLE, wait OBF, dummy byte
}

TEST_F(Kcs, RequestDataGoOutBeforeWriteEndExceptTheLastByte) {
    Answer a = send(0x30, 0x45, {0x01, 0x05});
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(kcs().exchanges().back(), (Transcript{"cmd 61", "out C0", "out 45", "out 01", "cmd 62", "out 05",  //
                                                    "in C4", "out 68", "in 45", "out 68", "in 00", "out 68", "in 00"}));
    EXPECT_EQ(sim().oem.fanMode, 5);
}

TEST_F(Kcs, AnswerDataAndCompletionCodeComeBackAsOverTheDevice) {
    bmc().on(0x30, 0x70, [](const IpmiRequest& r) { return IpmiResponse::ok({0x11, r.data.at(0), 0x33}); });
    Answer a = send(0x30, 0x70, {0x22});
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x11, 0x22, 0x33}));
    bmc().failNext(0x30, 0x70, 0xD5);
    EXPECT_EQ(send(0x30, 0x70, {0x22}).cc, 0xD5);
    // The request reached the BMC intact, addressed to it through the system interface.
    std::vector<IpmiRequest> got = bmc().requests(0x30, 0x70);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].data, (Bytes{0x22}));
    EXPECT_EQ(got[0].lun, 0);
    EXPECT_FALSE(got[0].ipmb);
}

TEST_F(Kcs, SlowBmcIsWaitedForWithoutStrayBytes) {
    kcs().faults().ibfDelayReads = 3;
    kcs().faults().obfDelayReads = 40;  // READ state with OBF not yet set, for a while
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok({0x01, 0x02}); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x01, 0x02}));
    EXPECT_EQ(resp_data_len, 5);
    EXPECT_EQ(kcs().exchanges().back(), exchangeOf({0xC0, 0x70}, {0xC4, 0x70, 0x00, 0x01, 0x02}));
}

// ---- the probe's port pair ----------------------------------------------------------------------

TEST_F(Kcs, ProbeFindsABmcOnlyOnTheSecondPairAndCommandsUseIt) {
    kcs().placeAt(testkit::kcsSecondaryData, testkit::kcsSecondaryStatus);
    Answer a = send(0x30, 0x0D);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(KCS_DATA, 0xCA8);
    EXPECT_EQ(KCS_STATUS, 0xCAC);
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"06/01", "30/0D"}));
    EXPECT_EQ(kcs().exchangeCount(), 2);
    // The empty pair was looked at, never driven.
    EXPECT_EQ(kcs().writesElsewhere(), 0u);
    EXPECT_EQ(kcs().exchanges().back(), exchangeOf({0xC0, 0x0D}, {0xC4, 0x0D, 0x00}));
}

TEST_F(Kcs, AfterAFailedProbeTheLastPairThatAnsweredStaysSelected) {
    kcs().placeAt(testkit::kcsSecondaryData, testkit::kcsSecondaryStatus);
    send(0x30, 0x0D);
    sim().device.ipmiVersion = 0x01;  // from now on no probe attempt accepts the BMC
    bmc().clearLog();
    Answer a = send(0x30, 0x0E);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(KCS_DATA, 0xCA8);
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"06/01", "30/0E"}));
    EXPECT_EQ(send(0x30, 0x0C).cc, 0x00);
    EXPECT_EQ(kcs().writesElsewhere(), 0u);
}

TEST_F(Kcs, Ipmi15BmcIsAcceptedOnTheThirdAttempt) {
    sim().device.ipmiVersion = 0x51;
    Answer a = send(0x30, 0x0D);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(KCS_DATA, 0xCA2);
    // First attempt on CA2h (rejected for its version), nothing on CA8h, third attempt
    // on CA2h accepted, then the command.
    EXPECT_EQ(bmc().sequence(), (std::vector<std::string>{"06/01", "06/01", "30/0D"}));
    EXPECT_EQ(kcs().writesElsewhere(), 0u);
}

// ---- long answers ----------------------------------------------------------------------------

TEST_F(Kcs, OverlongAnswerIsReadToTheEndButStoredOnlyUpTo128Bytes) {
    Bytes big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
    bmc().on(0x30, 0x70, [big](const IpmiRequest&) { return IpmiResponse::ok(big); });
    send(0x30, 0x0C);  // probe done

    kcs_SelectPorts(0xCA2, 0xCA3);
    unsigned char request[2] = {0xC0, 0x70};
    unsigned char image[128 + 64];
    memset(image, 0x5A, sizeof image);
    EXPECT_EQ(kcs_Interface(request, image, 2, 0), 0);
    EXPECT_EQ(resp_data_len, 128);
    EXPECT_EQ(image[2], 0x00);
    EXPECT_EQ(image[3], 0x00);
    EXPECT_EQ(image[127], 124);
    for (size_t i = 128; i < sizeof image; ++i) ASSERT_EQ(image[i], 0x5A) << "written past the image at " << i;
    // Every byte was acknowledged and the transfer ended normally.
    EXPECT_EQ(kcs().bytesSent(), 303u);
    EXPECT_EQ(kcs().exchanges().back().back(), "in 00");

    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    ASSERT_EQ(a.data.size(), 125u);
    EXPECT_EQ(a.data[124], 124);
}

// ---- fatal paths, each in a child process ----------------------------------------------------

SimKcsBmc* reportedKcs = nullptr;

// Runs at the child's exit: the parent learns what happened on the ports from standard error.
void reportKcs() {
    if (reportedKcs == nullptr) return;
    for (const Transcript& ex : reportedKcs->exchanges()) {
        std::string line = "exchange:";
        for (const std::string& e : ex) line += " " + e;
        fprintf(stderr, "%s\n", line.c_str());
    }
    size_t writes = 0;
    for (const SimKcsBmc::Access& a : reportedKcs->log()) writes += a.write ? 1 : 0;
    fprintf(stderr, "accesses: %zu\nwrites: %zu\n", reportedKcs->log().size(), writes);
}

std::string lastLine(const std::string& text, const std::string& prefix) {
    std::string found;
    size_t pos = 0;
    while ((pos = text.find(prefix, pos)) != std::string::npos) {
        size_t end = text.find('\n', pos);
        found = text.substr(pos + prefix.size(), end - pos - prefix.size());
        pos = end;
    }
    return found;
}

class KcsFatal : public Kcs {
protected:
    ChildResult sendInChild(BYTE netFn, BYTE cmd, Bytes data = {}) {
        return testkit::runInChild([&] {
            reportedKcs = &kcs();
            atexit(reportKcs);
            send(netFn, cmd, data);
        });
    }
};

TEST_F(KcsFatal, IbfThatNeverClearsEndsTheProcessAfterOneSecond) {
    kcs().faults().ibfStuckAtWrite = 0;  // WRITE_START is never taken
    ChildResult r = sendInChild(0x30, 0x0D);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorExitText);
    EXPECT_GE(r.seconds, 0.9);
    EXPECT_LE(r.seconds, 2.0);
    EXPECT_EQ(lastLine(r.err, "exchange: "), "cmd 61");  // no abort after a time-out
}

TEST_F(KcsFatal, ErrorStateInTheWritePhaseRunsTheAbortSequence) {
    kcs().faults().errorAtWrite = 1;  // on the first request byte
    ChildResult r = sendInChild(0x30, 0x0D);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorText);
    EXPECT_LT(r.seconds, 0.9);
    // GET_STATUS/ABORT, 00h, the status code read and acknowledged, back to IDLE.
    EXPECT_EQ(lastLine(r.err, "exchange: "), "cmd 61 out 18 cmd 60 out 00 in 06 out 68 in 00");
}

TEST_F(KcsFatal, ReadStateWithoutOutputEndsTheProcessAfterOneSecond) {
    kcs().faults().obfNeverSet = true;
    ChildResult r = sendInChild(0x30, 0x0D);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorExitText);
    EXPECT_GE(r.seconds, 0.9);
    EXPECT_LE(r.seconds, 2.0);
}

TEST_F(KcsFatal, BmcThatAnswersNothingEndsTheProcessAfterOneSecond) {
    kcs().removeFromBus();
    ChildResult r = sendInChild(0x30, 0x0D);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorExitText);
    EXPECT_GE(r.seconds, 0.9);
    EXPECT_LE(r.seconds, 2.0);
    EXPECT_EQ(lastLine(r.err, "writes: "), "0");  // an absent interface is never written to
}

// The waits sleep through the pace of a BMC that takes milliseconds per byte; when it then
// stops taking bytes, the wait still ends the process after one second.
TEST_F(KcsFatal, ABmcThatStopsAfterSlowBytesEndsTheProcessAfterOneSecond) {
    kcs().setByteDelay(std::chrono::microseconds(2000));
    kcs().faults().onExchange = 1;       // the command, after the probe's slow exchange
    kcs().faults().ibfStuckAtWrite = 1;  // its first data byte is never taken
    ChildResult r = sendInChild(0x30, 0x0D);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorExitText);
    EXPECT_GE(r.seconds, 0.9);
    EXPECT_LE(r.seconds, 2.0);
    EXPECT_EQ(lastLine(r.err, "exchange: "), "cmd 61 out C0");
}

TEST_F(KcsFatal, AnswerBeyond1024BytesIsAProtocolError) {
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok(Bytes(1100, 0x77)); });
    ChildResult r = sendInChild(0x30, 0x70);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorText);
    EXPECT_LT(r.seconds, 0.9);
    std::string last = lastLine(r.err, "exchange: ");
    size_t abort = last.find("cmd 60");
    ASSERT_NE(abort, std::string::npos);
    size_t reads = 0;
    for (size_t pos = 0; (pos = last.find("in ", pos)) < abort; ++pos) ++reads;
    EXPECT_EQ(reads, 1024u);
}

TEST_F(Kcs, AnswerOf1024BytesIsStillAccepted) {
    bmc().on(0x30, 0x70, [](const IpmiRequest&) { return IpmiResponse::ok(Bytes(1021, 0x77)); });
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data.size(), 125u);
}

TEST_F(KcsFatal, RefusedPortAccessEndsTheProcessWithoutTouchingThePorts) {
    testkit::refusePortAccess(true);
    ChildResult r = sendInChild(0x30, 0x0D);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 21);
    EXPECT_EQ(r.out, errorExitText);
    EXPECT_EQ(lastLine(r.err, "accesses: "), "0");
}

TEST_F(Kcs, PortAccessIsAskedForOnce) {
    send(0x30, 0x0D);
    send(0x30, 0x0E);
    EXPECT_EQ(testkit::portAccessRequests(), 1);
}

TEST_F(Kcs, AnOpenedDeviceIsNeverBypassedThroughThePorts) {
    useServer(std::make_unique<testkit::SimServer>());
    send(0x30, 0x0D);
    testkit::FakeIpmiDevice::get().faults().refuseSend = true;
    EXPECT_EQ(send(0x30, 0x0D).cc, 0xFF);
    EXPECT_TRUE(kcs().log().empty());
    EXPECT_EQ(testkit::portAccessRequests(), 0);
}

// ---- the kernel's driver and other processes -------------------------------------------------

const char* const devintfNotice =
    "The kernel's IPMI driver owns the KCS interface but there is no IPMI device node: load the "
    "ipmi_devintf module (modprobe ipmi_devintf) so that /dev/ipmi0 appears.\n";

// Makes the library read the file at `path` as the machine's I/O port list.
void readIoportsFrom(const std::string& path) {
    testkit::adjustTransport([&](vkt::TransportConfig& c) { vkt::copyText(c.ioportsPath, path.c_str()); });
}

class KcsOwners : public Kcs {
protected:
    void TearDown() override {
        readIoportsFrom(testkit::noIoportsClaims);
        unlink(path_.c_str());
        Kcs::TearDown();
    }
    // Makes the library read `text` as the machine's I/O port list.
    void ioports(const std::string& text) {
        std::ofstream(path_) << text;
        readIoportsFrom(path_);
    }
    const std::string path_ = "/tmp/vkt-ioports-" + std::to_string(getpid());
};

// /proc/ioports of Debian 12's kernel in a QEMU guest whose KCS interface at CA2h the
// ACPI tables describe (IPI0001) and SMBIOS too ("IPMI Address 1/2"), with the KCS lines
// left out: `kcsBlock` goes in their place, below "PCI Bus 0000:00".
std::string guestIoports(const std::string& kcsBlock) {
    return "0000-0cf7 : PCI Bus 0000:00\n"
           "  0000-001f : dma1\n"
           "  0020-0021 : pic1\n"
           "  0040-0043 : timer0\n"
           "  0070-0077 : rtc0\n"
           "  03f8-03ff : serial\n"
           "  0600-063f : 0000:00:01.3\n"
           "    0600-0603 : ACPI PM1a_EVT_BLK\n"
           "    0604-0605 : ACPI PM1a_CNT_BLK\n"
           "    0608-060b : ACPI PM_TMR\n"
           "  0700-070f : 0000:00:01.3\n" +
           kcsBlock +
           "0cf8-0cff : PCI conf1\n"
           "0d00-ffff : PCI Bus 0000:00\n"
           "  afe0-afe3 : ACPI GPE0_BLK\n"
           "  c000-c00f : 0000:00:01.1\n";
}

// The firmware's entries for the interface: there from boot, whether or not a driver runs it.
const char* const acpiKcs =
    "  0ca2-0ca3 : IPI0001:00\n"
    "    0ca2-0ca2 : IPMI Address 1\n"
    "    0ca3-0ca3 : IPMI Address 2\n";
const char* const acpiKcsCa8 =
    "  0ca8-0cac : IPI0001:00\n"
    "    0ca8-0ca8 : IPMI Address 1\n"
    "    0cac-0cac : IPMI Address 2\n";
// The same guest booted with acpi=off: only the kernel's SMBIOS decoding names them.
const char* const smbiosKcs =
    "0ca2-0ca2 : IPMI Address 1\n"
    "0ca3-0ca3 : IPMI Address 2\n";
const char* const smbiosKcsByDevice =
    "0ca2-0ca2 : dmi-ipmi-si.0\n"
    "0ca3-0ca3 : dmi-ipmi-si.0\n";

// The same with ipmi_si loaded: its own claims, nested below the firmware's.
const char* const acpiKcsDriven =
    "  0ca2-0ca3 : IPI0001:00\n"
    "    0ca2-0ca2 : IPMI Address 1\n"
    "      0ca2-0ca2 : ipmi_si\n"
    "    0ca3-0ca3 : IPMI Address 2\n"
    "      0ca3-0ca3 : ipmi_si\n";
const char* const acpiKcsCa8Driven =
    "  0ca8-0cac : IPI0001:00\n"
    "    0ca8-0ca8 : IPMI Address 1\n"
    "      0ca8-0ca8 : ipmi_si\n"
    "    0cac-0cac : IPMI Address 2\n"
    "      0cac-0cac : ipmi_si\n";
const char* const smbiosKcsDriven =
    "0ca2-0ca2 : IPMI Address 1\n"
    "  0ca2-0ca2 : ipmi_si\n"
    "0ca3-0ca3 : IPMI Address 2\n"
    "  0ca3-0ca3 : ipmi_si\n";
const char* const smbiosKcsByDeviceDriven =
    "0ca2-0ca2 : dmi-ipmi-si.0\n"
    "  0ca2-0ca2 : ipmi_si\n"
    "0ca3-0ca3 : dmi-ipmi-si.0\n"
    "  0ca3-0ca3 : ipmi_si\n";

// What a process without CAP_SYS_ADMIN reads: the names, every range 0000-0000.
std::string addressesHidden(const std::string& list) {
    std::string out;
    size_t from = 0;
    while (from < list.size()) {
        const size_t to = list.find('\n', from);
        std::string line = list.substr(from, to - from);
        const size_t digits = line.find_first_not_of(' ');
        line.replace(digits, 9, "0000-0000");
        out += line + "\n";
        from = to + 1;
    }
    return out;
}

TEST_F(KcsOwners, PortsOfTheKernelDriverAreNeverTouchedAndTheOperatorIsToldOnce) {
    for (const std::string& list :
         {guestIoports(acpiKcsDriven), guestIoports(acpiKcsCa8Driven), guestIoports(smbiosKcsDriven),
          guestIoports(smbiosKcsByDeviceDriven), addressesHidden(guestIoports(acpiKcsDriven)),
          // A claim counts even where the rest of the list makes no sense.
          std::string("garbage\n      0ca3-0ca3 : ipmi_si\n")}) {
        useServer(std::make_unique<testkit::SimServer>(), {});
        ioports(list);
        testkit::CaptureOutput err(2);
        auto host = cimhost::Host::inProcess();
        for (int i = 0; i < 2; ++i) {
            cimhost::EnumResult r = host->enumerate("SetFanModeToPUE3");
            ASSERT_EQ(r.instances.size(), 1u) << list;
            EXPECT_EQ(r.instances[0].get("VKT_Result"), "False") << list;
        }
        EXPECT_EQ(send(0x30, 0x0D).cc, 0xFF) << list;
        EXPECT_EQ(err.text(), devintfNotice) << list;
        EXPECT_TRUE(kcs().log().empty()) << list;
        EXPECT_EQ(testkit::portAccessRequests(), 0) << list;
        EXPECT_TRUE(bmc().log().empty()) << list;
    }
}

TEST_F(KcsOwners, FirmwareTablesBusWindowsAndOtherClaimsLeaveThePortsToUs) {
    for (const std::string& list :
         {guestIoports(acpiKcs), guestIoports(acpiKcsCa8), guestIoports(smbiosKcs), guestIoports(smbiosKcsByDevice),
          addressesHidden(guestIoports(acpiKcs)), guestIoports(""),
          // ipmi_si on a BT interface, and names that only look like it.
          guestIoports("  00e4-00e6 : ipmi_si\n  0ca2-0ca3 : ipmi_si2\n  0ca8-0cac : ipmi_ssif\n  0cb0-0cb1 : ipmi_si\n"),
          // Ranges past FFFFh, eight digits wide, and the end of the list without a line feed.
          std::string("00000000-0001ffff : PCI Bus 0000:00\n  00000ca2-00000ca3 : IPI0001:00\n"
                      "  00010000-0001ffff : ipmi_si")}) {
        useServer(std::make_unique<testkit::SimServer>(), {});
        ioports(list);
        testkit::CaptureOutput err(2);
        EXPECT_EQ(send(0x30, 0x0D).cc, 0x00) << list;
        auto host = cimhost::Host::inProcess();
        cimhost::EnumResult r = host->enumerate("SetFanModeToPUE3");
        ASSERT_EQ(r.instances.size(), 1u) << list;
        EXPECT_EQ(r.instances[0].get("VKT_Result"), "True") << list;
        EXPECT_EQ(err.text(), "") << list;
        EXPECT_EQ(testkit::portAccessRequests(), 1) << list;
    }
}

TEST_F(KcsOwners, APortListThatCannotBeReadAsTheKernelsLeavesThePortsAlone) {
    const std::string missing = "/nonexistent/ioports";
    const std::string tooLong = guestIoports(acpiKcs) + std::string(70 * 1024, ' ') + "\n";
    for (const std::string& list :
         {std::string("garbage\n-\n0ca2 : ipmi_si\nzzzz-0ca3 : ipmi_si\n"),
          guestIoports(acpiKcs) + "\n",                                  // an empty line
          guestIoports(" 0ca2-0ca3 : IPI0001:00\n"),                     // odd indent
          guestIoports("      0ca2-0ca3 : IPI0001:00\n"),                // a level skipped
          guestIoports("  0ca2-0d03 : IPI0001:00\n"),                    // outside its parent
          guestIoports("  0ca3-0ca2 : IPI0001:00\n"),                    // backwards
          guestIoports("  0ca2-0ca3: IPI0001:00\n"),                     // no " : "
          guestIoports("  0x0ca2-0x0ca3 : IPI0001:00\n"),
          guestIoports("  00000000000000ca2-0ca3 : IPI0001:00\n"),       // 17 digits
          tooLong, missing, std::string("/proc/self")}) {
        useServer(std::make_unique<testkit::SimServer>(), {});
        const bool isPath = list == missing || list == "/proc/self";
        const std::string path = isPath ? list : path_;
        if (isPath) {
            readIoportsFrom(path);
        } else {
            ioports(list);
        }
        testkit::CaptureOutput err(2);
        EXPECT_EQ(send(0x30, 0x0D).cc, 0xFF) << list.substr(0, 200);
        EXPECT_EQ(send(0x30, 0x0E).cc, 0xFF) << list.substr(0, 200);
        EXPECT_EQ(err.text(), "The KCS ports are left alone: " + path +
                                  " cannot be read as the kernel's I/O port list, so the kernel's IPMI driver "
                                  "may own them.\n")
            << list.substr(0, 200);
        EXPECT_TRUE(kcs().log().empty()) << list.substr(0, 200);
        EXPECT_EQ(testkit::portAccessRequests(), 0) << list.substr(0, 200);
    }
}

bool lockedElsewhere(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return locked;
}

TEST_F(Kcs, EachExchangeHoldsTheLockThatOtherProcessesTakeTurnsOn) {
    bool heldDuringExchange = false;
    bmc().on(0x30, 0x70, [&](const IpmiRequest&) {
        heldDuringExchange = lockedElsewhere(testkit::testKcsLockPath());
        return IpmiResponse::ok({0x01});
    });
    EXPECT_EQ(send(0x30, 0x70).cc, 0x00);
    EXPECT_TRUE(heldDuringExchange);
    EXPECT_FALSE(lockedElsewhere(testkit::testKcsLockPath())) << "the lock outlived the exchange";
}

// Another process that creates the lock file at `path` (as the given user) and holds it
// until the object goes; held() is false when it could not.
class LockHolder {
public:
    LockHolder(const std::string& path, uid_t uid) {
        int locked[2];
        if (pipe(locked) != 0 || pipe(release_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            if (uid != 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(1);
            const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
            if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
            (void)!write(locked[1], "l", 1);
            char c;
            (void)!read(release_[0], &c, 1);
            _exit(0);
        }
        close(locked[1]);  // a child that failed cannot leave the read waiting
        char c = 0;
        held_ = pid_ > 0 && read(locked[0], &c, 1) == 1;
        close(locked[0]);
    }
    ~LockHolder() {
        if (pid_ > 0) {
            (void)!write(release_[1], "r", 1);
            waitpid(pid_, nullptr, 0);
        }
        close(release_[0]);
        close(release_[1]);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    bool held() const { return held_; }

private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool held_ = false;
};

TEST_F(Kcs, PortsKeptBusyByAnotherProcessFailTheRequestWithoutTouchingThem) {
    send(0x30, 0x0C);
    kcs().clearLog();
    {
        LockHolder other(testkit::testKcsLockPath(), 0);
        ASSERT_TRUE(other.held());
        testkit::adjustTransport([](vkt::TransportConfig& c) { c.kcsLockWaitMs = 20; });
        Answer busy = send(0x30, 0x0D);
        EXPECT_EQ(busy.cc, 0xC0);
        EXPECT_TRUE(kcs().log().empty());
        EXPECT_FALSE(sim().oem.ledOn);
    }
    EXPECT_EQ(send(0x30, 0x0D).cc, 0x00);
    EXPECT_TRUE(sim().oem.ledOn);
}

// The lock's place as an unprivileged local user would prepare it. Before the lock moved
// to a directory of root's own, any user could create it in the shared lock directory and
// hold it, and every exchange of the root library then failed with C0h.
class KcsLockPlace : public Kcs {
protected:
    void SetUp() override {
        Kcs::SetUp();
        char pattern[] = "/tmp/vkt-lockplace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        send(0x30, 0x0C);  // the probe, under the test program's own lock
    }
    void TearDown() override {
        testkit::resetLibraryTransport();
        (void)!system(("rm -rf " + root_).c_str());
        Kcs::TearDown();
    }
    void lockAt(const std::string& path) {
        testkit::adjustTransport([&](vkt::TransportConfig& c) {
            vkt::copyText(c.kcsLockPath, path.c_str());
            c.kcsLockWaitMs = 20;
        });
    }
    // Two requests that must both reach the BMC, and what they wrote on standard error.
    std::string bothGoAhead() {
        testkit::CaptureOutput err(2);
        EXPECT_EQ(send(0x30, 0x0D).cc, 0x00);
        EXPECT_TRUE(sim().oem.ledOn);
        EXPECT_EQ(send(0x30, 0x0E).cc, 0x00);
        EXPECT_FALSE(sim().oem.ledOn);
        return err.text();
    }
    std::string root_;
};

TEST_F(KcsLockPlace, ALockThatAnotherUserHoldsInASharedDirectoryIsNeverUsed) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    const std::string shared = root_ + "/lock";
    ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string path = shared + "/varkolt-kcs.lock";
    {
        LockHolder nobody(path, 65534);  // creates the lock first and keeps it
        ASSERT_TRUE(nobody.held());
        lockAt(path);
        EXPECT_EQ(bothGoAhead(), "The KCS lock " + path +
                                     " is not used: its directory belongs to another user or is open to other "
                                     "users. Exchanges go ahead without taking turns with other processes.\n");
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(KcsLockPlace, InRootsOwnDirectoryAForeignFileOrALinkIsNeverUsed) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    const std::string dir = root_ + "/varkolt";
    const std::string path = dir + "/kcs.lock";
    lockAt(path);
    EXPECT_EQ(bothGoAhead(), "");  // the directory is made, the lock taken
    struct stat st {};
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, 0u);

    // A lock file that another user owns, held: the exchanges do not wait for it.
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    const int held = open(path.c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(bothGoAhead(), "The KCS lock " + path +
                                 " is not used: it is not a regular file of this process's user. Exchanges go "
                                 "ahead without taking turns with other processes.\n");
    close(held);

    // A link planted at the lock's name: its target is neither created nor locked.
    testkit::resetLibraryTransport();
    lockAt(path);
    ASSERT_EQ(unlink(path.c_str()), 0);
    const std::string target = root_ + "/target";
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    EXPECT_EQ(bothGoAhead(), "The KCS lock " + path +
                                 " is not used: it is a symbolic link. Exchanges go ahead without taking turns "
                                 "with other processes.\n");
    EXPECT_NE(access(target.c_str(), F_OK), 0);

    // A directory left open to others is refused as well.
    testkit::resetLibraryTransport();
    lockAt(path);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    EXPECT_NE(bothGoAhead(), "");
}

// ---- the host's own alarm -------------------------------------------------------------------

volatile sig_atomic_t hostAlarms = 0;
void hostAlarmHandler(int) { hostAlarms = hostAlarms + 1; }

class KcsHostAlarm : public Kcs {
protected:
    void SetUp() override {
        Kcs::SetUp();
        hostAlarms = 0;
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_handler = hostAlarmHandler;
        sa.sa_flags = SA_RESTART;
        sigaction(SIGALRM, &sa, &saved_);
    }
    void TearDown() override {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &saved_, nullptr);
        Kcs::TearDown();
    }
    struct sigaction saved_;
};

TEST_F(KcsHostAlarm, HandlerAndIntervalTimerSurviveAnExchange) {
    itimerval host{};
    host.it_value.tv_sec = 100;
    host.it_interval.tv_sec = 50;
    ASSERT_EQ(setitimer(ITIMER_REAL, &host, nullptr), 0);
    EXPECT_EQ(send(0x30, 0x0D).cc, 0x00);

    struct sigaction now;
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, hostAlarmHandler);
    EXPECT_EQ(now.sa_flags & SA_RESTART, SA_RESTART);
    itimerval left{};
    getitimer(ITIMER_REAL, &left);
    EXPECT_EQ(left.it_interval.tv_sec, 50);
    EXPECT_EQ(left.it_interval.tv_usec, 0);
    EXPECT_GT(left.it_value.tv_sec, 98);
    EXPECT_LE(left.it_value.tv_sec, 100);
    EXPECT_EQ(hostAlarms, 0);
}

// A BMC that takes longer per byte than a wait goes without its alarm makes the waits take
// the alarm; it and the thread's timer slack are the host's again when the exchange is over.
TEST_F(KcsHostAlarm, ASlowBmcBorrowsTheAlarmAndTheTimerSlackOnlyForTheExchange) {
    constexpr int hostSlackNs = 123457;
    ASSERT_EQ(prctl(PR_SET_TIMERSLACK, hostSlackNs, 0, 0, 0), 0);
    kcs().setByteDelay(std::chrono::microseconds(12000));
    itimerval host{};
    host.it_value.tv_sec = 100;
    host.it_interval.tv_sec = 50;
    ASSERT_EQ(setitimer(ITIMER_REAL, &host, nullptr), 0);

    EXPECT_EQ(send(0x30, 0x0D).cc, 0x00);
    EXPECT_TRUE(sim().oem.ledOn);

    struct sigaction now;
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, hostAlarmHandler);
    itimerval left{};
    getitimer(ITIMER_REAL, &left);
    EXPECT_EQ(left.it_interval.tv_sec, 50);
    EXPECT_GT(left.it_value.tv_sec, 98);
    EXPECT_EQ(hostAlarms, 0);
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), hostSlackNs);
    prctl(PR_SET_TIMERSLACK, 0, 0, 0, 0);  // back to the thread's default
}

TEST_F(KcsHostAlarm, HostAlarmDueDuringAnExchangeGoesOffAfterIt) {
    bmc().on(0x30, 0x70, [](const IpmiRequest&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));  // a BMC slow to answer
        return IpmiResponse::ok({0x01});
    });
    sim().device.ipmiVersion = 0x01;
    send(0x30, 0x0C);  // a failed probe: from now on one exchange per command
    itimerval host{};
    host.it_value.tv_usec = 5000;
    ASSERT_EQ(setitimer(ITIMER_REAL, &host, nullptr), 0);
    Answer a = send(0x30, 0x70);
    EXPECT_EQ(a.cc, 0x00);
    EXPECT_EQ(a.data, (Bytes{0x01}));
    for (int i = 0; i < 100 && hostAlarms == 0; ++i) usleep(1000);
    EXPECT_EQ(hostAlarms, 1);
}

// ---- providers over the ports ------------------------------------------------------------------

TEST_F(Kcs, ActionProviderEnumeratesOverThePortsWithNoDevice) {
    auto host = cimhost::Host::inProcess();
    cimhost::EnumResult r = host->enumerate("SetFanModeToPUE3");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].className, "VKT_SetFanModeToPUE3");
    EXPECT_EQ(r.instances[0].get("VKT_Result"), "True");
    EXPECT_EQ(sim().oem.fanMode, 5);
    EXPECT_EQ(testkit::FakeIpmiDevice::get().openDescriptors(), 0);
    EXPECT_EQ(kcs().exchanges().back(), exchangeOf({0xC0, 0x45, 0x01, 0x05}, {0xC4, 0x45, 0x00}));

    bmc().failNext(0x30, 0x45, 0xC1);
    EXPECT_EQ(host->enumerate("SetFanModeToPUE3").instances.at(0).get("VKT_Result"), "False");
}

// The built library drives the real port instructions; the simulator's ioperm grants nothing
// real, so each instruction traps and the simulated interface serves it.
TEST_F(Kcs, LoadedLibraryReachesTheSimulatedInterfaceThroughItsPortInstructions) {
    std::string error;
    auto host = cimhost::Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    cimhost::EnumResult r = host->enumerate("OpenLED");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_Result"), "True");
    EXPECT_TRUE(sim().oem.ledOn);
    EXPECT_EQ(kcs().exchanges().back(), exchangeOf({0xC0, 0x0D}, {0xC4, 0x0D, 0x00}));
    EXPECT_EQ(testkit::portAccessRequests(), 1);
}

std::string runTool(const std::string& args) {
    std::string cmd = std::string(VKT_CIM_TOOL) + " " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return "popen failed";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    return status == 0 ? out : out + "\n(exit status " + std::to_string(status) + ")";
}

TEST(KcsTool, SimulatedServerOverThePortsShowsTheSameInstancesAsOverTheDevice) {
    std::string device = runTool("--simulate enumerate --all");
    std::string ports = runTool("--simulate --kcs enumerate --all");
    EXPECT_NE(device.find("VKT_OPEN_LED"), std::string::npos) << device;
    EXPECT_EQ(ports, device);
}

}  // namespace
