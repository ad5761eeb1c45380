// The SDR repository reader: repository info, reservations, the walk in 8-byte pieces,
// slot contents, the bounds on a misbehaving BMC, and the name lookup of the SEL labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sdr_fixture.h"

using namespace sdrtest;
using Pieces = std::vector<std::pair<int, int>>;

namespace {

class SdrRepository : public SdrTest {};

// ---- repository info and reservation -----------------------------------------------------

TEST_F(SdrRepository, RepositoryInfoIsKeptWholeAndGivesTheCount) {
    for (int i = 0; i < 3; ++i) sdr().add(fruLocatorRecord("FRU", static_cast<uint8_t>(i)));
    sdr().reportedCount = 0x0102;
    EXPECT_EQ(getSDRRepositoryInfo(), 0x00);
    const Bytes info = sdr().repositoryInfo();
    ASSERT_EQ(info.size(), 14u);
    EXPECT_EQ(Bytes(sdrRepositry, sdrRepositry + 14), info);
    EXPECT_EQ(sdrRecordCount, 258);
    EXPECT_EQ(sdrUsedSlotCount(), 128);

    // A failure changes nothing; a short answer reads as zeros.
    bmc().failNext(0x0A, 0x20, 0xC0);
    EXPECT_EQ(getSDRRepositoryInfo(), 0xC0);
    EXPECT_EQ(sdrRecordCount, 258);
    bmc().inject(testkit::command(0x0A, 0x20), IpmiResponse::ok({0x51, 0x05}));
    EXPECT_EQ(getSDRRepositoryInfo(), 0x00);
    EXPECT_EQ(sdrRecordCount, 5);
    EXPECT_EQ(sdrRepositry[13], 0x00);
}

TEST_F(SdrRepository, ReservationIsKeptUntilTheNextSuccessfulOne) {
    EXPECT_EQ(getReserveSDRID(), 0x00);
    EXPECT_EQ(sdrReserveID[0], 0x01);
    EXPECT_EQ(sdrReserveID[1], 0x00);
    bmc().failNext(0x0A, 0x22, 0xC1);
    EXPECT_EQ(getReserveSDRID(), 0xC1);
    EXPECT_EQ(sdrReserveID[0], 0x01);
    bmc().inject(testkit::command(0x0A, 0x22), IpmiResponse::ok({0x34, 0x12}));
    EXPECT_EQ(getReserveSDRID(), 0x00);
    EXPECT_EQ(sdrReserveID[0], 0x34);
    EXPECT_EQ(sdrReserveID[1], 0x12);
}

// ---- the walk ------------------------------------------------------------------------------

TEST_F(SdrRepository, EmptyRepositoryIsWalkedWithoutACommand) {
    EXPECT_EQ(getSDRRepositoryInfo(), 0x00);
    EXPECT_EQ(sdrRecordCount, 0);
    bmc().clearLog();
    EXPECT_EQ(getSDRs(), 0x00);
    EXPECT_TRUE(bmc().log().empty());
    char name[32] = {};
    getSensorNameBySensorNumber(0x01, name);
    EXPECT_STREQ(name, "");
}

TEST_F(SdrRepository, RecordsArriveInEightBytePieces) {
    sdr().add(fullSensorRecord(fields("", 0x01)));   // length 43: 48 bytes in all
    sdr().add(fullSensorRecord(fields("A", 0x02)));  // length 44: 49 bytes
    sdr().add({0x00, 0x00, 0x51, 0x01, 0x03, 0x20, 0x00, 0x03});  // exactly 8 bytes
    ASSERT_EQ(sdr().records[0][4], 43);
    ASSERT_EQ(sdr().records[1][4], 44);
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(pieces(), (Pieces{{0, 8}, {8, 8}, {16, 8}, {24, 8}, {32, 8}, {40, 8},
                                {0, 8}, {8, 8}, {16, 8}, {24, 8}, {32, 8}, {40, 8}, {48, 1},
                                {0, 8}}));
    for (int i = 0; i < 3; ++i) {
        const Bytes& rec = sdr().records[static_cast<size_t>(i)];
        EXPECT_EQ(Bytes(sdrRecords[i], sdrRecords[i] + rec.size()), rec) << "slot " << i;
        EXPECT_EQ(sdrRecords[i][rec.size()], 0x00) << "nothing written past the record";
    }
    EXPECT_EQ(slotName(1), "A");
}

TEST_F(SdrRepository, GetSdrRequestsCarryReservationRecordIdOffsetAndCount) {
    sdr().add(compactSensorRecord(fields("P1", 0x10, 0x07, 0x6F)));  // 34 bytes
    sdr().add(compactSensorRecord(fields("P2", 0x11, 0x07, 0x6F)));
    EXPECT_EQ(walk(), 0x00);
    std::vector<Bytes> sent;
    for (const IpmiRequest& r : bmc().requests(0x0A, 0x23)) sent.push_back(r.data);
    // The first record is asked for as 0000h, pieces included; the second by the ID the
    // first answer named, under the reservation taken just before it.
    EXPECT_EQ(sent, (std::vector<Bytes>{{0x01, 0x00, 0x00, 0x00, 0x00, 0x08},
                                        {0x01, 0x00, 0x00, 0x00, 0x08, 0x08},
                                        {0x01, 0x00, 0x00, 0x00, 0x10, 0x08},
                                        {0x01, 0x00, 0x00, 0x00, 0x18, 0x08},
                                        {0x01, 0x00, 0x00, 0x00, 0x20, 0x02},
                                        {0x02, 0x00, 0x02, 0x00, 0x00, 0x08},
                                        {0x02, 0x00, 0x02, 0x00, 0x08, 0x08},
                                        {0x02, 0x00, 0x02, 0x00, 0x10, 0x08},
                                        {0x02, 0x00, 0x02, 0x00, 0x18, 0x08},
                                        {0x02, 0x00, 0x02, 0x00, 0x20, 0x02}}));
    std::vector<std::string> storage;
    for (const IpmiRequest& r : commandsOnly()) storage.push_back(r.toString().substr(0, 5));
    EXPECT_EQ(storage, (std::vector<std::string>{"0A/20", "0A/22", "0A/23", "0A/23", "0A/23", "0A/23", "0A/23",
                                                 "0A/22", "0A/23", "0A/23", "0A/23", "0A/23", "0A/23"}));
}

TEST_F(SdrRepository, OtherRecordTypesOnlyConsumeTheirSlot) {
    sdr().addFull(fields("CPU Temp", 0x01));
    sdr().addCompact(fields("Intrusion", 0xAA, 0x05, 0x6F));
    sdr().add(eventOnlyRecord("Event Only", 0xD0, 0x13, 0x6F));
    sdr().add(fruLocatorRecord("Board FRU", 0x00));
    sdr().addFull(fields("System Temp", 0x0B));
    sdr().add(mcLocatorRecord("BMC", 0x20));
    sdr().add(oemRecord(0x000157, {0x0D, 0x01, 0x2C, 0x06}));
    sdr().addCompact(fields("PS1 Status", 0xC8, 0x08, 0x6F));
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(slotName(0), "CPU Temp");
    EXPECT_EQ(slotName(1), "Intrusion");
    for (int i : {2, 3, 5, 6})
        for (int b = 0; b < sdrSlotSize; ++b) ASSERT_EQ(sdrRecords[i][b], 0) << "slot " << i << " byte " << b;
    EXPECT_EQ(slotName(4), "System Temp");
    EXPECT_EQ(slotName(7), "PS1 Status");
    // Unstored records cost their header read only.
    EXPECT_EQ(bmc().count(0x0A, 0x23), 7u + 6u + 1u + 1u + 8u + 1u + 1u + 6u);
}

TEST_F(SdrRepository, AccessorsPickTheirFields) {
    sdr().add(Bytes{});  // padding so the sensor lands at record ID 2
    sdr().records.clear();
    SensorFields f = fields("Inlet Temp", 0x21, 0x01, 0x01, 0x01);
    sdr().addFull(f);
    sdr().addCompact(fields("HDD0", 0x80, 0x0D, 0x6F, 0x00));
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(getRecordType(0), 0x01);
    EXPECT_EQ(getRecordID(0), 2);
    EXPECT_EQ(getSensorNumber(0), 0x21);
    EXPECT_EQ(getSensorType(0), 0x01);
    EXPECT_EQ(getReadingType(0), 0x01);
    EXPECT_EQ(getSensorIDStringLength(0), 10);
    EXPECT_EQ(getRecordType(1), 0x02);
    EXPECT_EQ(getRecordID(1), 3);
    EXPECT_EQ(getSensorType(1), 0x0D);
    EXPECT_EQ(getReadingType(1), 0x6F);
    EXPECT_EQ(getSensorIDType2StringLength(1), 4);
    // Indexes past the table read as nothing.
    EXPECT_EQ(getRecordType(200), 0x00);
    EXPECT_EQ(getRecordID(128), 0);
    char name[32] = {};
    getSensorIDString(255, 31, name);
    EXPECT_STREQ(name, "");
}

TEST_F(SdrRepository, WalkEndsAtTheRecordThatReportsNoNextRecord) {
    // A well-formed repository: the count and the FFFFh marker agree, nothing more is asked.
    sdr().addCompact(fields("A", 0x01, 0x07, 0x6F));
    sdr().addCompact(fields("B", 0x02, 0x07, 0x6F));
    sdr().add(fruLocatorRecord("FRU", 0x00));
    EXPECT_EQ(walk(), 0x00);
    const size_t wellFormed = commandsOnly().size();

    // A count that runs ahead of the records: the walk stops after the one that said FFFFh,
    // with the same exchanges, and the table holds only what was reached.
    memset(sdrRecords, 0x5A, sizeof sdrRecords);  // stale slots of an earlier, longer walk
    sdr().reportedCount = 128;
    bmc().clearLog();
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(commandsOnly().size(), wellFormed);
    std::vector<int> headerIds;
    for (const IpmiRequest& r : bmc().requests(0x0A, 0x23))
        if (r.data[4] == 0) headerIds.push_back(r.data[2] | r.data[3] << 8);
    EXPECT_EQ(headerIds, (std::vector<int>{0x0000, 0x0002, 0x0003}));
    EXPECT_EQ(sdrRecordCount, 3);
    EXPECT_EQ(sdrUsedSlotCount(), 3);
    EXPECT_EQ(slotName(1), "B");
    EXPECT_EQ(getRecordType(2), 0x00);

    // A sensor record as the early last one: stored, then the walk ends.
    sdr().records.pop_back();
    sdr().reportedCount = 5;
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(sdrRecordCount, 2);
    EXPECT_EQ(slotName(1), "B");
}

TEST_F(SdrRepository, FailedHeaderReadEndsTheWalkAndKeepsLaterSlots) {
    for (const char* n : {"S0", "S1", "S2"}) sdr().addCompact(fields(n, static_cast<uint8_t>(n[1]), 0x07, 0x6F));
    EXPECT_EQ(walk(), 0x00);
    sdr().records.clear();
    sdr().sensors.clear();
    for (const char* n : {"T0", "T1", "T2"}) sdr().addCompact(fields(n, static_cast<uint8_t>(n[1]), 0x07, 0x6F));
    int headers = 0;
    bmc().inject([&headers](const IpmiRequest& r) { return r.is(0x0A, 0x23) && r.data[4] == 0 && ++headers == 2; },
                 IpmiResponse::error(0xCB));
    EXPECT_EQ(walk(), 0xCB);
    EXPECT_EQ(slotName(0), "T0");
    EXPECT_EQ(slotName(1), "S1");  // a walk is not atomic
    EXPECT_EQ(slotName(2), "S2");
}

// ---- a BMC that misbehaves -------------------------------------------------------------------

TEST_F(SdrRepository, MoreThan128RecordsFillTheTableAndStop) {
    for (int i = 0; i < 130; ++i) {
        const std::string name = "S" + std::to_string(i);
        sdr().addCompact(fields(name, static_cast<uint8_t>(i + 1), 0x07, 0x6F));
    }
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(sdrRecordCount, 130);
    EXPECT_EQ(sdrUsedSlotCount(), 128);
    EXPECT_EQ(bmc().count(0x0A, 0x22), 128u);
    EXPECT_EQ(slotName(127), "S127");
    // The records beyond the table are not asked for.
    for (const IpmiRequest& r : bmc().requests(0x0A, 0x23)) EXPECT_LE(r.data[2] | r.data[3] << 8, 128);
    char name[32] = {};
    isSDRLoadedFlag = 1;
    getSensorNameBySensorNumber(130, name);  // record 130 never reached the table
    EXPECT_STREQ(name, "");
    getSensorNameBySensorNumber(128, name);
    EXPECT_STREQ(name, "S127");
}

TEST_F(SdrRepository, RefusedPieceIsAskedForAgain) {
    sdr().addCompact(fields("Intrusion", 0xAA, 0x05, 0x6F));
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x23) && r.data[4] == 0x10; },
                 IpmiResponse::error(0xFF), 2);
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(pieces(), (Pieces{{0, 8}, {8, 8}, {16, 8}, {16, 8}, {16, 8}, {24, 8}, {32, 8}, {40, 1}}));
    EXPECT_EQ(slotName(0), "Intrusion");
}

TEST_F(SdrRepository, PieceThatKeepsFailingEndsTheWalkAfterThreeRepeats) {
    sdr().addCompact(fields("Old", 0x01, 0x07, 0x6F));
    EXPECT_EQ(walk(), 0x00);
    sdr().records.clear();
    sdr().addCompact(fields("New", 0x01, 0x07, 0x6F));
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x23) && r.data[4] == 0x18; },
                 IpmiResponse::error(0xCA), -1);
    bmc().clearLog();
    EXPECT_EQ(walk(), 0xCA);
    EXPECT_EQ(pieces(), (Pieces{{0, 8}, {8, 8}, {16, 8}, {24, 8}, {24, 8}, {24, 8}, {24, 8}}));
    // Half a record is not left behind: the slot is empty, not "New" over old bytes.
    EXPECT_EQ(getRecordType(0), 0x00);
    EXPECT_EQ(slotName(0), "");
}

TEST_F(SdrRepository, LostReservationIsTakenAgain) {
    sdr().addFull(fields("CPU Temp", 0x01));
    int reads = 0;
    // Someone else reserves the repository after our third piece.
    sdr().beforeGetSdr = [&reads](testkit::SdrModel& m, const IpmiRequest&) {
        if (++reads == 3) m.supersedeReservation();
    };
    EXPECT_EQ(walk(), 0x00);
    std::vector<std::string> seq;
    for (const IpmiRequest& r : commandsOnly())
        seq.push_back(r.is(0x0A, 0x23) ? "23 res" + std::to_string(r.data[0]) + " off" + std::to_string(r.data[4])
                                       : r.toString().substr(0, 5));
    EXPECT_EQ(seq, (std::vector<std::string>{"0A/20", "0A/22", "23 res1 off0", "23 res1 off8", "23 res1 off16",
                                             "0A/22", "23 res3 off16", "23 res3 off24", "23 res3 off32",
                                             "23 res3 off40", "23 res3 off48"}));
    EXPECT_EQ(slotName(0), "CPU Temp");
}

TEST_F(SdrRepository, ReservationThatIsAlwaysLostEndsTheWalk) {
    sdr().addFull(fields("CPU Temp", 0x01));
    sdr().beforeGetSdr = [](testkit::SdrModel& m, const IpmiRequest& r) {
        if (r.data[4] != 0) m.supersedeReservation();
    };
    EXPECT_EQ(walk(), 0xC5);
    EXPECT_EQ(bmc().count(0x0A, 0x23), 1u + 4u);
    EXPECT_EQ(bmc().count(0x0A, 0x22), 1u + 3u);
}

TEST_F(SdrRepository, ShortAndLongAnswersStayInsideTheirPiece) {
    sdr().addFull(fields("ABCDEFGHIJ", 0x01));  // 58 bytes
    // A piece answered with 3 of 8 bytes, another with 20 bytes instead of 8.
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x23) && r.data[4] == 0x08; },
                 IpmiResponse::ok({0xFF, 0xFF, 0x20, 0x00, 0x01}));
    Bytes longPiece = {0xFF, 0xFF};
    for (int i = 0; i < 20; ++i) longPiece.push_back(static_cast<uint8_t>('a' + i));
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x23) && r.data[4] == 0x30; },
                 IpmiResponse::ok(longPiece));
    EXPECT_EQ(walk(), 0x00);
    EXPECT_EQ(sdrRecords[0][8], 0x20);
    EXPECT_EQ(sdrRecords[0][10], 0x01);
    EXPECT_EQ(sdrRecords[0][11], 0x00);  // not sent: zero
    EXPECT_EQ(sdrRecords[0][15], 0x00);
    // Bytes 48..55 come from the long answer, 56..57 from the last piece, nothing beyond.
    EXPECT_EQ(slotName(0), "abcdefghIJ");
    EXPECT_EQ(sdrRecords[0][58], 0x00);
}

TEST_F(SdrRepository, LengthByteNearTheTopWrapsAndStaysInTheSlot) {
    Bytes rec(8, 0);
    rec[2] = 0x51;
    rec[3] = 0x01;
    rec[4] = 0xFF;  // 255 + 5 wraps to 4: the header read is all there is
    sdr().add(rec);
    Bytes big(256, 0x41);
    big[2] = 0x51;
    big[3] = 0x02;
    big[4] = 0xFA;  // 250 + 5 = 255 bytes: 31 more pieces, the last one 7 bytes at 248
    sdr().add(big);
    sdr().maxReadCount = 0xFF;
    EXPECT_EQ(walk(), 0x00);
    Pieces p = pieces();
    ASSERT_EQ(p.size(), 1u + 32u);
    EXPECT_EQ(p[1], (std::pair<int, int>{0, 8}));
    EXPECT_EQ(p.back(), (std::pair<int, int>{248, 7}));
    EXPECT_EQ(sdrRecords[1][254], 0x41);
    EXPECT_EQ(sdrRecords[1][255], 0x00);
}

// ---- name lookup ------------------------------------------------------------------------------

TEST_F(SdrRepository, NameLookupLoadsTheRepositoryOnce) {
    sdr().addFull(fields("CPU Temp", 0x01));
    sdr().addCompact(fields("PS1 Status", 0xC8, 0x08, 0x6F));
    char name[32] = {};
    getSensorNameBySensorNumber(0xC8, name);
    EXPECT_STREQ(name, "PS1 Status");
    EXPECT_EQ(isSDRLoadedFlag, 1);
    const size_t exchanges = bmc().log().size();
    char full[32] = {};
    getSensorNameBySensorNumber(0x01, full);
    EXPECT_STREQ(full, "CPU Temp");
    EXPECT_EQ(bmc().log().size(), exchanges) << "the table is read once per process";

    char unknown[32] = {};
    getSensorNameBySensorNumber(0x77, unknown);
    EXPECT_EQ(std::string(unknown, sizeof unknown), std::string(32, '\0'));
}

TEST_F(SdrRepository, NameLookupCopiesTheIdStringAsItStands) {
    Bytes rec = compactSensorRecord(fields("ABCDEFG", 0x05, 0x07, 0x6F));
    rec[31] = 0xC5;  // 8-bit ASCII, 5 characters
    sdr().add(rec);
    Bytes longName = compactSensorRecord(fields(std::string(31, 'x'), 0x06, 0x07, 0x6F));
    sdr().add(longName);
    char name[32] = {};
    getSensorNameBySensorNumber(0x05, name);
    EXPECT_STREQ(name, "ABCDE");
    char all[32] = {};
    getSensorNameBySensorNumber(0x06, all);
    EXPECT_EQ(std::string(all), std::string(31, 'x'));
    EXPECT_EQ(all[31], '\0');
    // The copy adds no terminator of its own.
    char prefilled[32];
    memset(prefilled, '#', sizeof prefilled);
    getSensorIDType2String(0, 5, prefilled);
    EXPECT_EQ(std::string(prefilled, 6), "ABCDE#");
}

TEST_F(SdrRepository, SensorZeroMeetsAnEmptySlotFirst) {
    sdr().add(fruLocatorRecord("Board FRU", 0x00));
    sdr().addCompact(fields("Zero", 0x00, 0x07, 0x6F));
    char name[32] = {};
    getSensorNameBySensorNumber(0x00, name);
    EXPECT_STREQ(name, "");
}

TEST_F(SdrRepository, NameLookupStillMarksTheTableLoadedWhenTheBmcFails) {
    bmc().failAlways(0x0A, 0x20, 0xFF);
    char name[32] = {};
    getSensorNameBySensorNumber(0x01, name);
    EXPECT_EQ(isSDRLoadedFlag, 1);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(bmc().count(0x0A, 0x20), 1u);
    EXPECT_EQ(bmc().count(0x0A, 0x23), 0u);
}

}  // namespace
