// Loading the chassis controller's firmware from S-record files into the simulated
// controller and its loader: the file check, update mode, the handshake, the records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "chassis_fixture.h"
#include "progress_recorder.h"
#include "varkolt/bmc.h"

using chassistest::ChassisTest;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::McuModel;

namespace {

// One S-record line (without line end) of `type` with a 16-bit address and `data`;
// `checksumDelta` spoils the checksum, `countDelta` the count byte (under a good checksum).
std::string srec(char type, uint16_t address, const Bytes& data, int checksumDelta = 0, int countDelta = 0) {
    Bytes bytes = {static_cast<uint8_t>(data.size() + 3 + countDelta), static_cast<uint8_t>(address >> 8),
                   static_cast<uint8_t>(address & 0xFF)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<uint8_t>(0xFF - (sum & 0xFF) + checksumDelta));
    std::string line = std::string("S") + type;
    char hex[3];
    for (uint8_t b : bytes) {
        snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

// The loader message of a line: "S", the type, then the record's bytes.
Bytes message(const std::string& line) {
    Bytes m = {'S', static_cast<uint8_t>(line[1])};
    for (size_t i = 2; i + 1 < line.size(); i += 2) m.push_back(static_cast<uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
    return m;
}

const std::vector<std::string> firmware = {
    srec('0', 0x0000, {'F', 'W', '2', '1'}),
    srec('1', 0x8000, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}),
    srec('1', 0x8008, {0x01, 0x02, 0x03}),
    srec('1', 0x800B, Bytes(32, 0xA5)),
    srec('9', 0x8000, {}),
};

class McuUpdate : public ChassisTest {
protected:
    void SetUp() override {
        ChassisTest::SetUp();
        chassis(McuModel::Family::pairex, 4, 1);
        mcu().registers[McuModel::regVersion] = 0x02;
        mcu().registers[McuModel::regVersion + 1] = 0x10;
        path_ = dir_.file("firmware.srec");
        testkit::writeFile(path_, "");
    }

    void writeFile(const std::vector<std::string>& lines, const std::string& end = "\n") {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        for (const std::string& l : lines) out << l << end;
    }

    std::vector<Bytes> expectedMessages(const std::vector<std::string>& lines) const {
        std::vector<Bytes> out;
        for (const std::string& l : lines) out.push_back(message(l));
        return out;
    }

    int update() { return bmc_MCUUpdate(path_.c_str()); }

    testkit::ScratchDir dir_{"vkt-srec"};
    std::string path_;
};

TEST_F(McuUpdate, LoadsEveryRecordAfterUpdateModeAndHandshake) {
    writeFile(firmware);
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_TRUE(mcu().loader.loaded);
    EXPECT_FALSE(mcu().updateMode);
    EXPECT_EQ(mcu().loader.records, expectedMessages(firmware));
    EXPECT_EQ(transfers(0x80), (std::vector<std::string>{"FD/1", "FE/2", "FA 5A A5 3C C3/0"}));
    const std::vector<testkit::BusTransfer> loader = sim().bus.transfersTo(0xAA);
    ASSERT_EQ(loader.size(), 1u + firmware.size());
    EXPECT_EQ(loader[0].write, (Bytes{0x5A, 0xA5, 0x3C, 0xC3}));
    for (const testkit::BusTransfer& t : loader) EXPECT_EQ(t.readCount, 4);
    EXPECT_EQ(message(firmware[1]), (Bytes{'S', '1', 0x0B, 0x80, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0,
                                           0x3C}));
    // The loader gets ten seconds before the end record and nothing waits after it.
    ASSERT_GE(pauses().size(), 10u);
    EXPECT_EQ(std::vector<int>(pauses().end() - 10, pauses().end()), std::vector<int>(10, 1000));
    EXPECT_EQ(pauses().front(), 500);
}

// A caller that asked for progress hears of each record the loader took, of each second
// of the wait before the end record, and of the end record last; a refused file or a
// record the loader keeps refusing is heard of by no record past the last one taken.
TEST_F(McuUpdate, ProgressCountsRecordsAndTheSecondsBeforeTheEndRecord) {
    writeFile(firmware);
    ProgressRecorder progress;
    ASSERT_EQ(update(), VKT_BMC_OK);
    std::vector<std::string> expected = {"1:1/5", "1:2/5", "1:3/5", "1:4/5"};
    for (int s = 1; s <= 10; ++s) expected.push_back("2:" + std::to_string(s) + "/10");
    expected.push_back("1:5/5");
    EXPECT_EQ(progress.all(), expected);

    progress.clear();
    writeFile({firmware[0], srec('1', 0x8000, {1, 2, 3}, -1), firmware[4]});
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_TRUE(progress.all().empty());

    writeFile(firmware);
    mcu().loader = testkit::McuLoader{};
    mcu().loader.failingRecords = 5;
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_TRUE(progress.all().empty());
}

TEST_F(McuUpdate, LineEndsDoNotChangeWhatIsSent) {
    for (const char* end : {"\r\n", "\n"}) {
        mcu().loader = testkit::McuLoader{};
        writeFile(firmware, end);
        EXPECT_EQ(update(), VKT_BMC_OK) << int(end[0]);
        EXPECT_EQ(mcu().loader.records, expectedMessages(firmware)) << int(end[0]);
    }
    // A carriage return alone ends no line: the file reads as one overlong line.
    writeFile(firmware, "\r");
    EXPECT_EQ(verifySRECFile(path_.c_str()), 0);

    // A last line without any line end is a record like the others.
    mcu().loader = testkit::McuLoader{};
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        for (size_t i = 0; i < firmware.size(); ++i) out << firmware[i] << (i + 1 < firmware.size() ? "\n" : "");
    }
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_EQ(mcu().loader.records.back(), message(firmware.back()));
}

TEST_F(McuUpdate, FirmwareOneHundredListensAtF5) {
    mcu().registers[McuModel::regVersion] = 0x01;
    mcu().registers[McuModel::regVersion + 1] = 0x00;
    writeFile(firmware);
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_EQ(transfers(0x80).back(), "F5 5A A5 3C C3/0");
    // The register is chosen again for the next update, now that the firmware is newer.
    mcu().registers[McuModel::regVersion + 1] = 0x01;
    clearTransfers();
    mcu().loader = testkit::McuLoader{};
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_EQ(transfers(0x80).back(), "FA 5A A5 3C C3/0");
    EXPECT_EQ(enterToUpdateModeOffset, 0xFA);
}

TEST_F(McuUpdate, FilesThatAreNotCompleteSRecordFilesChangeNothing) {
    const std::string s0 = firmware[0], s1 = firmware[1], s9 = firmware.back();
    const std::vector<std::vector<std::string>> refused = {
        {"", s0, s1, s9},                            // the empty line counts: S0 comes too late
        {s0, s1},                                    // no end record
        {s0, srec('1', 0x8000, {1, 2, 3}, -1), s9},  // byte sum 1FEh
        {s0, srec('1', 0x8000, {1, 2, 3}, +1), s9},  // byte sum 200h
        {s1, s9},                                    // no header
        {s0, srec('5', 0x0001, {}), s9},
        {s0, s1 + "0", s9},                          // an odd digit
        {s0, "S1" + s1.substr(2, 6) + "G" + s1.substr(9), s9},
        {s0, srec('1', 0x8000, {1, 2, 3}, 0, +1), s9},  // count byte off by one
        {s0, srec('1', 0x8000, {1, 2, 3}, 0, -1), s9},
        {s0, "S1" + std::string(130, '0'), s9},      // longer than a line read
        {"garbage that is long enough", s9},
        {},
    };
    for (size_t i = 0; i < refused.size(); ++i) {
        writeFile(refused[i]);
        EXPECT_EQ(verifySRECFile(path_.c_str()), 0) << i;
        EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED) << i;
    }
    EXPECT_EQ(bmc_MCUUpdate("/nonexistent/firmware.srec"), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(bmc_MCUUpdate(nullptr), VKT_BMC_COMMAND_FAILED);
    EXPECT_TRUE(sim().bus.transfers.empty());
    EXPECT_FALSE(mcu().updateMode);

    writeFile({s0, srec('1', 0x1000, {0x7F, 0x7F, 0x7F, 0xF0}), s9});  // sum 1FFh: good
    EXPECT_EQ(verifySRECFile(path_.c_str()), 1);
}

TEST_F(McuUpdate, ShortLinesAreSkippedInTheCheckAndTheTransfer) {
    writeFile({firmware[0], "", firmware[1], "S1", "  ", firmware[4]});
    EXPECT_EQ(verifySRECFile(path_.c_str()), 1);
    EXPECT_EQ(lineCount, 5);
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_EQ(mcu().loader.records, expectedMessages({firmware[0], firmware[1], firmware[4]}));
}

TEST_F(McuUpdate, HandshakeGivesUpAfterTwelveOtherRepliesOrAStuckLoader) {
    writeFile(firmware);
    mcu().loader.nonAckHandshakes = 11;
    mcu().loader.busyHandshakes = 40;  // not counted with the other replies
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_EQ(mcu().loader.handshakes, 52);

    mcu().loader = testkit::McuLoader{};
    mcu().loader.nonAckHandshakes = 12;
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(mcu().loader.handshakes, 12);
    EXPECT_TRUE(mcu().loader.records.empty());

    mcu().loader = testkit::McuLoader{};
    mcu().loader.busyHandshakes = -1;
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(mcu().loader.handshakes, 100);
    EXPECT_TRUE(mcu().loader.records.empty());

    // Any other failure ends the handshake at once.
    mcu().loader = testkit::McuLoader{};
    bmc().inject(testkit::busAddress(0xAA), IpmiResponse::error(0xC0), -1);
    bmc().clearLog();
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    size_t toLoader = 0;
    for (const IpmiRequest& r : bmc().log()) toLoader += testkit::busAddress(0xAA)(r) ? 1 : 0;
    EXPECT_EQ(toLoader, 1u);
}

TEST_F(McuUpdate, RecordsAreTriedFiveTimes) {
    writeFile(firmware);
    mcu().loader.failingRecords = 4;
    EXPECT_EQ(update(), VKT_BMC_OK);
    EXPECT_EQ(mcu().loader.records, expectedMessages(firmware));
    EXPECT_EQ(std::count(pauses().begin(), pauses().end(), 50), 4);

    mcu().loader = testkit::McuLoader{};
    mcu().loader.failingRecords = 5;
    clearTransfers();
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_TRUE(mcu().loader.records.empty());
    EXPECT_EQ(sim().bus.transfersTo(0xAA).size(), 1u + 5u);  // handshake, then the S0 record five times
}

TEST_F(McuUpdate, AFileGoneOrChangedAfterTheCheckFailsTheUpdate) {
    writeFile(firmware);
    mcu().loader.afterAck = [this] { unlink(path_.c_str()); };
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_TRUE(mcu().loader.records.empty());

    // Cut short: the records up to the cut are sent, but no success without the end record.
    writeFile(firmware);
    mcu().loader = testkit::McuLoader{};
    mcu().loader.afterAck = [this] { writeFile({firmware[0], firmware[1]}); };
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(mcu().loader.records, expectedMessages({firmware[0], firmware[1]}));

    // A corrupted record is not sent.
    writeFile(firmware);
    mcu().loader = testkit::McuLoader{};
    mcu().loader.afterAck = [this] { writeFile({firmware[0], srec('1', 0, {1}, 3), firmware[4]}); };
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(mcu().loader.records, expectedMessages({firmware[0]}));
}

TEST_F(McuUpdate, SingleNodeServerIsNotTouched) {
    useServer(std::make_unique<testkit::SimServer>());
    writeFile(firmware);
    EXPECT_EQ(update(), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(transfers(0x80), std::vector<std::string>{"FD/1"});
    EXPECT_TRUE(sim().bus.transfersTo(0xAA).empty());
}

}  // namespace
