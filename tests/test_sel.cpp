// The system event log end to end: the reader's exchanges with the BMC, the collectors'
// messages and the instances of VKT_SELInfo and VKT_SELList.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "cimhost.h"
#include "orvic_sel.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "test_support.h"
#include "varkolt/bmc.h"

using cimhost::EnumResult;
using cimhost::Host;
using testkit::Bytes;
using testkit::IpmiResponse;
using testkit::SelEvent;
using testkit::SelRecord;

namespace {

constexpr uint8_t storage = 0x0A;
constexpr uint8_t getSelInfoCmd = 0x40;
constexpr uint8_t reserveSelCmd = 0x42;
constexpr uint8_t getSelEntryCmd = 0x43;

void resetSelState() {
    memset(selInfo, 0, sizeof selInfo);
    memset(selReserveID, 0, sizeof selReserveID);
    selRecordCount = 0;
    memset(selRecords, 0, sizeof selRecords);
    memset(cim_sel_records, 0, sizeof cim_sel_records);
    totalEntries[0] = freeSpace[0] = recentEntryAdded[0] = recentEntryDel[0] = '\0';
    boardName[0] = boardType[0] = '\0';
    // Labels come from the SDR table, which is otherwise loaded once per process.
    isSDRLoadedFlag = 0;
    sdrRecordCount = 0;
    memset(sdrRecords, 0, sizeof sdrRecords);
}

SelEvent event(uint32_t when, uint8_t sensorType, uint8_t sensorNumber, uint8_t dirType, uint8_t d1,
               uint8_t d2 = 0xFF, uint8_t d3 = 0xFF) {
    return testkit::selEvent(when, 0x0020, sensorType, sensorNumber, dirType, d1, d2, d3);
}

// A record with the given record ID, as if the BMC had numbered it so.
SelRecord withId(SelRecord r, uint16_t id) {
    r[0] = static_cast<uint8_t>(id);
    r[1] = static_cast<uint8_t>(id >> 8);
    return r;
}

// The output of the SEL texts must not depend on the host's time zone: run every case
// with a zone nine hours east of UTC.
class Sel : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        resetSelState();
        const char* tz = getenv("TZ");
        if (tz != nullptr) savedTz_ = tz, hadTz_ = true;
        setenv("TZ", "XYZ-9", 1);
        tzset();
        host_ = Host::inProcess();
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        SimTest::TearDown();
    }
    testkit::SelModel& log() { return sim().sel; }
    EnumResult list(const char** properties = nullptr) { return host_->enumerate("SELListProvider", properties); }
    EnumResult info(const char** properties = nullptr) { return host_->enumerate("SELInfoProvider", properties); }
    std::vector<testkit::IpmiRequest> entryReads() const { return server_->bmc.requests(storage, getSelEntryCmd); }
    void addMany(int n) {
        for (int i = 0; i < n; ++i)
            log().addEvent(event(0x60000000u + static_cast<uint32_t>(i), 0x01, 0x10, 0x01, 0x09));
    }

    std::unique_ptr<Host> host_;
    std::string savedTz_;
    bool hadTz_ = false;
};

// ---- reader ---------------------------------------------------------------------------------

TEST_F(Sel, EmptyLogAsksForInfoAndReservationOnly) {
    EXPECT_EQ(bmc_GetSELList(), 0);
    std::vector<std::string> expected = {"0A/40", "0A/42"};
    std::vector<std::string> seen;
    for (const auto& r : commandsOnly()) seen.push_back(r.toString().substr(0, 5));
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(selRecordCount, 0);

    EnumResult r = list();
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_TRUE(r.instances.empty());
    EXPECT_EQ(r.doneCount, 1);
}

TEST_F(Sel, EntriesAreReadByTheNextRecordIdsTheBmcGives) {
    log().reservation = 0;
    log().entries = {withId(testkit::systemEventRecord(event(0x59682F00, 0x01, 0x10, 0x01, 0x09)), 0x0001),
                     withId(testkit::systemEventRecord(event(0x59682F10, 0x05, 0x51, 0x6F, 0x00)), 0x0105),
                     withId(testkit::systemEventRecord(event(0x59682F20, 0x08, 0xC8, 0xEF, 0x03)), 0x2A00)};
    ASSERT_EQ(getSELInfo(), 0);
    ASSERT_EQ(getReserveSELID(), 0);
    ASSERT_EQ(getSELs(), 0);

    const uint8_t resLs = selReserveID[0], resMs = selReserveID[1];
    EXPECT_EQ(resMs << 8 | resLs, log().reservation);
    auto reads = entryReads();
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].data, (Bytes{resLs, resMs, 0x00, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(reads[1].data, (Bytes{resLs, resMs, 0x05, 0x01, 0x00, 0xFF}));
    EXPECT_EQ(reads[2].data, (Bytes{resLs, resMs, 0x00, 0x2A, 0x00, 0xFF}));
    EXPECT_EQ(selRecordCount, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(0, memcmp(selRecords[i], log().entries[static_cast<size_t>(i)].data(), 16)) << "entry " << i;
}

TEST_F(Sel, CancelledReservationEndsTheReadAndKeepsTheEarlierList) {
    log().addEvent(event(0x59682F00, 0x01, 0x10, 0x01, 0x09));
    log().addEvent(event(0x59682F01, 0x01, 0x10, 0x81, 0x09));
    ASSERT_EQ(list().instances.size(), 2u);

    log().addEvent(event(0x59682F02, 0x05, 0x51, 0x6F, 0x00));
    log().cancelReservationAfter(1);
    bmc().clearLog();
    testkit::CaptureOutput err(2);
    EXPECT_EQ(bmc_GetSELList(), VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(err.text(), "Completion Code=C5h\n");
    EXPECT_EQ(entryReads().size(), 2u) << "no retry after C5h";

    log().cancelReservationAfter(1);
    testkit::CaptureOutput quiet(2);
    EnumResult r = list();
    EXPECT_EQ(quiet.text(), "Completion Code=C5h\n");
    ASSERT_EQ(r.instances.size(), 2u) << "the earlier list stays published";
    EXPECT_EQ(r.instances[1].get("VKT_EventDir"), "Deassertion");
}

TEST_F(Sel, CancelledReservationOnTheSecondEntryReturnsC5h) {
    addMany(3);
    log().cancelReservationAfter(1);
    ASSERT_EQ(getSELInfo(), 0);
    ASSERT_EQ(getReserveSELID(), 0);
    EXPECT_EQ(getSELs(), 0xC5);
    EXPECT_EQ(entryReads().size(), 2u);
}

TEST_F(Sel, CollectorFailuresNameTheStep) {
    bmc().failNext(storage, getSelInfoCmd, 0xC0);
    {
        testkit::CaptureOutput err(2);
        EXPECT_EQ(bmc_GetSELList(), VKT_BMC_COMMAND_FAILED);
        EXPECT_EQ(err.text(), "Failed to get SEL info, Completion Code=C0h\n");
    }
    bmc().failNext(storage, reserveSelCmd, 0xC1);
    {
        testkit::CaptureOutput err(2);
        EXPECT_EQ(bmc_GetSELList(), VKT_BMC_COMMAND_FAILED);
        EXPECT_EQ(err.text(), "Failed to get reserve SEL, Completion Code=C1h\n");
    }
    bmc().failNext(storage, getSelInfoCmd, 0xFF);
    {
        testkit::CaptureOutput err(2);
        EXPECT_EQ(bmc_GetSELInfo(), VKT_BMC_COMMAND_FAILED);
        EXPECT_EQ(err.text(), "Failed to get SEL info, Completion Code=FFh\n");
    }
    EXPECT_EQ(entryReads().size(), 0u);
}

TEST_F(Sel, ALogOfSixHundredEntriesPublishesTheFirst512) {
    addMany(600);
    EnumResult r = list();
    EXPECT_EQ(entryReads().size(), 600u);
    ASSERT_EQ(r.instances.size(), 512u);
    EXPECT_EQ(r.doneCount, 1);
    EXPECT_EQ(r.instances[511].get("VKT_Order"), "512");
    EXPECT_EQ(r.instances[511].keys[0].second, "512 | 2021/01/14 08:34:07 | Temperature");
}

TEST_F(Sel, ALogBeyondTheBufferIsReadUpTo1024Entries) {
    addMany(1100);
    EXPECT_EQ(bmc_GetSELList(), 0);
    EXPECT_EQ(entryReads().size(), 1024u);
    EXPECT_EQ(selRecordCount, 1024);
    EXPECT_EQ(selRecords[1023][0], 0x00);  // record ID 1024 = 0400h
    EXPECT_EQ(selRecords[1023][1], 0x04);
    EXPECT_EQ(list().instances.size(), 512u);
}

TEST_F(Sel, TheReadEndsAtTheLastEntryEvenWhenTheCountSaysMore) {
    // Entries deleted between Get SEL Info and the walk: asking for FFFFh afterwards
    // would fetch the last entry again.
    addMany(3);
    log().reportedCount = 5;
    EnumResult r = list();
    EXPECT_EQ(entryReads().size(), 3u);
    EXPECT_EQ(selRecordCount, 3);
    ASSERT_EQ(r.instances.size(), 3u);
    EXPECT_EQ(r.instances[2].get("VKT_TimeString"), "2021/01/14 08:25:38");
}

TEST_F(Sel, ShortAnswersReadAsZeroAndLeaveNothingStale) {
    log().addEvent(event(0x59682F00, 0x01, 0x10, 0x01, 0x09, 0x55, 0x66));
    ASSERT_EQ(bmc_GetSELList(), 0);
    ASSERT_EQ(selRecords[0][15], 0x66);

    // Next ID and six record bytes only.
    bmc().inject(testkit::command(storage, getSelEntryCmd),
                 IpmiResponse::ok({0xFF, 0xFF, 0x07, 0x00, 0x02, 0x00, 0x2F, 0x68, 0x59}));
    ASSERT_EQ(bmc_GetSELList(), 0);
    EXPECT_EQ(selRecords[0][0], 0x07);
    EXPECT_EQ(selRecords[0][6], 0x59);
    for (int b = 7; b < 16; ++b) EXPECT_EQ(selRecords[0][b], 0x00) << "byte " << b;

    bmc().inject(testkit::command(storage, getSelInfoCmd), IpmiResponse::ok({0x51, 0x02}));
    ASSERT_EQ(bmc_GetSELInfo(), 0);
    EXPECT_STREQ(totalEntries, "2");
    EXPECT_STREQ(freeSpace, "0 bytes");
    EXPECT_STREQ(recentEntryAdded, "Pre-Init");
}

TEST_F(Sel, AClearedLogRefilledWithOneEntryShowsOneInstance) {
    addMany(3);
    ASSERT_EQ(list().instances.size(), 3u);
    log().clock = 0x60001000;
    log().clear();
    log().addEvent(event(0x60001010, 0x05, 0x51, 0x6F, 0x00));
    EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_EventDesc"), "General Chassis intrusion");
    for (int i = 1; i < selPublishedMax; ++i) ASSERT_EQ(cim_sel_records[i].sensorName[0], '\0') << i;
}

// Lists that grow and shrink: each shows exactly its entries, and every row of the table
// behind the list is entirely zero, as on the first enumeration of the process.
TEST_F(Sel, GrowingAndShrinkingListsLeaveEveryRowBehindThemZero) {
    static const CIM_SEL zeroRow{};
    int before = 0;
    for (int n : {5, 2, 9, 0, 3, 600, 1}) {
        log().clear();
        addMany(n);
        EnumResult r = list();
        const int shown = std::min(n, selPublishedMax);
        ASSERT_EQ(r.instances.size(), static_cast<size_t>(shown)) << "after " << before << " entries";
        for (int i = shown; i < selPublishedMax; ++i)
            ASSERT_EQ(memcmp(&cim_sel_records[i], &zeroRow, sizeof zeroRow), 0) << "row " << i << " of " << n;
        before = n;
    }
}

// ---- VKT_SELList ------------------------------------------------------------------------------

TEST_F(Sel, ListInstanceCarriesKeyAndPropertiesInOrder) {
    log().addEvent(event(0x59682F00, 0x01, 0x10, 0x01, 0x09, 0x5B, 0x5A));
    EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& inst = r.instances[0];
    EXPECT_EQ(inst.className, "VKT_SELList");
    EXPECT_EQ(inst.nameSpace, "varkolt/cimv2");
    ASSERT_EQ(inst.keys.size(), 1u);
    EXPECT_EQ(inst.keys[0].first, "device_id");
    EXPECT_EQ(inst.keys[0].second, "  1 | 2017/07/14 02:40:00 | Temperature");
    EXPECT_EQ(inst.propertyNames(), (std::vector<std::string>{"device_id", "VKT_Order", "VKT_TimeString",
                                                               "VKT_SensorName", "VKT_EventDir", "VKT_EventDesc"}));
    EXPECT_EQ(inst.get("device_id"), inst.keys[0].second);
    EXPECT_EQ(inst.get("VKT_Order"), "1");
    EXPECT_EQ(inst.get("VKT_TimeString"), "2017/07/14 02:40:00");
    EXPECT_EQ(inst.get("VKT_SensorName"), "Temperature");
    EXPECT_EQ(inst.get("VKT_EventDir"), "Assertion");
    EXPECT_EQ(inst.get("VKT_EventDesc"), "Upper Critical - going high");
}

TEST_F(Sel, ListFilterKeepsTheRequestedProperties) {
    log().addEvent(event(0x59682F00, 0x05, 0x51, 0x6F, 0x00));
    const char* props[] = {"VKT_EventDesc", nullptr};
    EnumResult r = list(props);
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].propertyNames(), std::vector<std::string>{"VKT_EventDesc"});
    EXPECT_EQ(r.instances[0].keys[0].second, "  1 | 2017/07/14 02:40:00 | Physical Security");
}

TEST_F(Sel, EveryRecordTypeIsDecodedAsASystemEvent) {
    log().add(testkit::oemTimestampedSelRecord(0xC1, 0x59682F00, 0x00FEDC, {0xD5, 0x01, 0x00, 0x12, 0x34, 0x56}));
    log().add(testkit::oemSelRecord(0xE2, {0x00, 0x2F, 0x68, 0x59, 0x21, 0x43, 0x65, 0x0C, 0x01, 0x6F, 0xA0, 0x1A, 0x00}));
    sim().oem.boardId[0] = 0x50;  // a board that numbers DIMMs plainly
    sim().oem.boardId[1] = 0x0E;
    EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), "OEM");
    EXPECT_EQ(r.instances[0].get("VKT_EventDesc"), "OEM event");
    EXPECT_EQ(r.instances[1].get("VKT_TimeString"), "2017/07/14 02:40:00");
    EXPECT_EQ(r.instances[1].get("VKT_SensorName"), "Memory");
    EXPECT_EQ(r.instances[1].get("VKT_EventDesc"), "Correctable ECC@DIMM1A(CPU1)");
}

TEST_F(Sel, DescriptionIsCutTo79Characters) {
    bmc().failNext(0x30, 0x21, 0x99);
    log().addEvent(event(0x59682F00, 0x0C, 0xD0, 0x6F, 0x00, 0x1A, 0x01));
    EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 1u);
    const std::string full =
        "Correctable ECC[@DIMME1(CPU2)GenC,GenB Romley EP,EX][@DIMMD1(CPU2)GenB Romley EN][@DIMM1A(CPU2)GenA]";
    EXPECT_EQ(r.instances[0].get("VKT_EventDesc"), full.substr(0, 79));
}

TEST_F(Sel, DemoServerLogLooksReal) {
    useServer(testkit::makeScenario("demo"));
    EnumResult r = list();
    ASSERT_GE(r.instances.size(), 30u);
    std::string all;
    for (const auto& inst : r.instances) all += inst.get("VKT_EventDesc") + "\n";
    for (const char* text : {"General Chassis intrusion\n", "PCI SERR, Bus 3 /Device 1 /Function 2\n",
                             "Configuration error:Power Supply rating mismatch\n", "Upper Critical - going high\n",
                             "No memory DIMM detected, install memory DIMMs\n", "Correctable ECC@DIMME1(CPU2)\n",
                             "OEM event\n"})
        EXPECT_NE(all.find(text), std::string::npos) << text;
}

// The real library, loaded by the demo tool against the demo server.
TEST(SelTool, DemoToolListsTheDemoLog) {
    std::string cmd = std::string(VKT_CIM_TOOL) + " --simulate enumerate VKT_SELList 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    size_t instances = 0;
    for (size_t at = out.find("VKT_SELList.device_id="); at != std::string::npos;
         at = out.find("VKT_SELList.device_id=", at + 1))
        ++instances;
    EXPECT_GE(instances, 30u);
    EXPECT_NE(out.find("device_id=\" 16 | 2024/03/05 16:00:01 | "), std::string::npos) << out;
    EXPECT_NE(out.find("VKT_EventDesc = \"PCI SERR, Bus 3 /Device 1 /Function 2\""), std::string::npos);
}

// ---- VKT_SELInfo ------------------------------------------------------------------------------

TEST_F(Sel, InfoOfAnEmptyLog) {
    EnumResult r = info();
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& inst = r.instances[0];
    EXPECT_EQ(inst.path(), "varkolt/cimv2:VKT_SELInfo.deviceID=\"SELInfo\"");
    EXPECT_EQ(inst.propertyNames(), (std::vector<std::string>{"deviceID", "VKT_TotalEntries", "VKT_FreeSpace",
                                                               "VKT_RecentEntryAdded", "VKT_RecentEntryDel"}));
    EXPECT_EQ(inst.get("VKT_TotalEntries"), "0");
    EXPECT_EQ(inst.get("VKT_FreeSpace"), "48000 bytes");
    EXPECT_EQ(inst.get("VKT_RecentEntryAdded"), "Pre-Init");
    EXPECT_EQ(inst.get("VKT_RecentEntryDel"), "Pre-Init");
    EXPECT_EQ(r.doneCount, 1);

    log().clock = 0x20000000;
    log().clear();
    EXPECT_EQ(info().instances[0].get("VKT_RecentEntryDel"), "Mon Jan  5 18:48:32 1987\n");
}

TEST_F(Sel, InfoTimesSwitchFromPreInitToTheCalendarAt20000000h) {
    struct Case {
        uint32_t stamp;
        const char* text;
    };
    const Case cases[] = {
        {0x00000000, "Pre-Init"},
        {0x1FFFFFFF, "Pre-Init"},
        {0x20000000, "Mon Jan  5 18:48:32 1987\n"},
        {0x59682F00, "Fri Jul 14 02:40:00 2017\n"},
        {0x7FFFFFFF, "Tue Jan 19 03:14:07 2038\n"},
        {0x80000000, "Tue Jan 19 03:14:08 2038\n"},
        {0xFFFFFFFF, "Sun Feb  7 06:28:15 2106\n"},
    };
    for (const Case& c : cases) {
        log().lastAddition = c.stamp;
        log().lastErase = c.stamp;
        EnumResult r = info();
        ASSERT_EQ(r.instances.size(), 1u);
        EXPECT_EQ(r.instances[0].get("VKT_RecentEntryAdded"), c.text) << std::hex << c.stamp;
        EXPECT_EQ(r.instances[0].get("VKT_RecentEntryDel"), c.text) << std::hex << c.stamp;
    }
}

TEST_F(Sel, InfoCountsAndFilter) {
    addMany(70);
    log().capacityEntries = 100;
    const char* props[] = {"VKT_TotalEntries", "VKT_FreeSpace", nullptr};
    EnumResult r = info(props);
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].propertyNames(), (std::vector<std::string>{"VKT_TotalEntries", "VKT_FreeSpace"}));
    EXPECT_EQ(r.instances[0].get("VKT_TotalEntries"), "70");
    EXPECT_EQ(r.instances[0].get("VKT_FreeSpace"), "480 bytes");
}

TEST_F(Sel, InfoAfterAFailurePublishesTheEarlierTexts) {
    addMany(2);
    ASSERT_EQ(info().instances[0].get("VKT_TotalEntries"), "2");
    addMany(1);
    bmc().failNext(storage, getSelInfoCmd, 0xC3);
    testkit::CaptureOutput err(2);
    EnumResult r = info();
    EXPECT_EQ(err.text(), "Failed to get SEL info, Completion Code=C3h\n");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_TotalEntries"), "2");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
}

// ---- time stamps ------------------------------------------------------------------------------

TEST_F(Sel, ListTimesAreUtcOverTheWholeStampRange) {
    struct Case {
        uint32_t stamp;
        const char* text;
    };
    // Low stamps count from the controller's start but are shown as 1970-1987 dates.
    const Case cases[] = {
        {0x00000000, "1970/01/01 00:00:00"}, {0x1FFFFFFF, "1987/01/05 18:48:31"},
        {0x59682F00, "2017/07/14 02:40:00"}, {0x7FFFFFFF, "2038/01/19 03:14:07"},
        {0x80000000, "2038/01/19 03:14:08"}, {0xFFFFFFFF, "2106/02/07 06:28:15"},
    };
    for (const Case& c : cases) log().addEvent(event(c.stamp, 0x01, 0x10, 0x01, 0x09));
    EnumResult r = list();
    ASSERT_EQ(r.instances.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(r.instances[i].get("VKT_TimeString"), cases[i].text);
}

TEST(SelTime, CalendarMatchesTheCLibraryWhereItCanCount) {
    // 64-bit time_t reaches the whole unsigned stamp range; a 32-bit one only up to 2038.
    const int64_t limit = sizeof(time_t) >= 8 ? 0xFFFFFFFFLL : 0x7FFFFFFFLL;
    for (int64_t t = 0; t <= limit; t += 86400LL * 37 + 3599) {
        time_t tt = static_cast<time_t>(t);
        struct tm ref {};
        ASSERT_NE(gmtime_r(&tt, &ref), nullptr);
        vkt::UtcTime mine{};
        ASSERT_TRUE(vkt::utcFromEpoch(t, &mine)) << t;
        ASSERT_EQ(mine.year, ref.tm_year + 1900) << t;
        ASSERT_EQ(mine.month, ref.tm_mon + 1) << t;
        ASSERT_EQ(mine.day, ref.tm_mday) << t;
        ASSERT_EQ(mine.hour, ref.tm_hour) << t;
        ASSERT_EQ(mine.minute, ref.tm_min) << t;
        ASSERT_EQ(mine.second, ref.tm_sec) << t;
        ASSERT_EQ(mine.weekday, ref.tm_wday) << t;
    }
}

TEST(SelTime, TimesThatCannotBeConvertedGiveEmptyTexts) {
    char text[32];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(vkt::formatSelTime(text, sizeof text, INT64_MAX), 0u);
    EXPECT_STREQ(text, "");
    memset(text, 'x', sizeof text);
    EXPECT_EQ(vkt::formatAscTime(text, sizeof text, INT64_MIN), 0u);
    EXPECT_STREQ(text, "");
    vkt::UtcTime t{};
    EXPECT_FALSE(vkt::utcFromEpoch(253402300800LL, &t));  // year 10000
    EXPECT_TRUE(vkt::utcFromEpoch(-62135596800LL, &t));   // 0001-01-01
    EXPECT_EQ(t.year, 1);
    EXPECT_EQ(t.weekday, 1);
    // Texts are cut to the field.
    EXPECT_EQ(vkt::formatSelTime(text, 11, 0x59682F00), 10u);
    EXPECT_STREQ(text, "2017/07/14");
    // Every digit of the first and the last second that can be written.
    EXPECT_EQ(vkt::formatSelTime(text, sizeof text, -62135596800LL), 19u);
    EXPECT_STREQ(text, "0001/01/01 00:00:00");
    EXPECT_EQ(vkt::formatSelTime(text, sizeof text, 253402300799LL), 19u);
    EXPECT_STREQ(text, "9999/12/31 23:59:59");
}

// A locale whose time of day differs from the C locale's (en_US writes "02:40:00 PM").
// Installed ones are preferred; otherwise one is compiled into a scratch directory when
// the host has the locale sources. Empty when neither works.
class ForeignLocale {
public:
    ForeignLocale() {
        for (const char* name : {"en_US.UTF-8", "en_US.utf8", "en_US", "en_GB.UTF-8"}) {
            if (setlocale(LC_ALL, name) != nullptr) {
                name_ = name;
                return;
            }
        }
        if (access("/usr/share/i18n/locales/en_US", R_OK) != 0) return;
        char tmpl[] = "/tmp/vkt-locale-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) return;
        dir_ = tmpl;
        std::string cmd = "localedef -i en_US -f UTF-8 " + dir_ + "/en_US.UTF-8 </dev/null >/dev/null 2>&1";
        // localedef also exits non-zero for mere warnings; whether setlocale accepts the
        // result is what counts. Its decompressor child needs a valid standard input.
        int rc = system(cmd.c_str());
        (void)rc;
        setenv("LOCPATH", dir_.c_str(), 1);
        if (setlocale(LC_ALL, "en_US.UTF-8") != nullptr) name_ = "en_US.UTF-8 (compiled)";
    }
    ~ForeignLocale() {
        setlocale(LC_ALL, "C");
        if (!dir_.empty()) {
            unsetenv("LOCPATH");
            std::string cmd = "rm -rf " + dir_;
            if (system(cmd.c_str()) != 0) {
            }
        }
    }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    std::string dir_;
};

// A host process may pick any locale; the time of day stays hours:minutes:seconds.
TEST_F(Sel, TimeOfDayIgnoresTheHostLocale) {
    ForeignLocale locale;
    if (locale.name().empty()) GTEST_SKIP() << "no locale other than C is available on this host";
    log().addEvent(event(0x59682F00 + 12 * 3600, 0x01, 0x10, 0x01, 0x09));
    log().lastAddition = 0x59682F00 + 12 * 3600;
    EnumResult r = list();
    EnumResult i = info();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_TimeString"), "2017/07/14 14:40:00") << locale.name();
    EXPECT_EQ(r.instances[0].keys[0].second, "  1 | 2017/07/14 14:40:00 | Temperature") << locale.name();
    EXPECT_EQ(i.instances[0].get("VKT_RecentEntryAdded"), "Fri Jul 14 14:40:00 2017\n") << locale.name();
}

}  // namespace
