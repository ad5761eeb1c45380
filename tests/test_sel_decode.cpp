// SEL event decoding: descriptions from the text tables, DIMM locations by board family,
// PCI locations, memory reference codes, directions and the labels of unnamed sensors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "bounded.h"
#include "sel_util.h"
#include "test_support.h"

namespace {

constexpr uint8_t oemNetFn = 0x30;
constexpr uint8_t boardIdCmd = 0x21;

std::string take(char* text) {
    EXPECT_NE(text, nullptr);
    std::string s = text != nullptr ? text : "<null>";
    free(text);
    return s;
}

std::string desc(uint8_t sensorType, uint8_t evtType, uint8_t d1, uint8_t d2 = 0xFF, uint8_t d3 = 0xFF,
                 uint8_t sensorNumber = 0x10) {
    return take(getEventDesc(sensorNumber, sensorType, evtType, d1, d2, d3));
}

std::string label(uint8_t sensorType, uint8_t d1 = 0x00, uint8_t sensorNumber = 0x10) {
    char text[512];
    memset(text, 'x', sizeof text);
    getSELSensorLabel(sensorNumber, sensorType, d1, text, sizeof text);
    return text;
}

class SelDecode : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        boardName[0] = boardType[0] = '\0';
    }
    void setBoard(uint8_t ms, uint8_t ls) {
        sim().oem.boardId[0] = ls;
        sim().oem.boardId[1] = ms;
    }
    size_t boardIdRequests() const { return server_->bmc.count(oemNetFn, boardIdCmd); }
    std::string ecc(uint8_t d2, uint8_t d3) { return desc(0x0C, 0x6F, 0x00, d2, d3); }
};

// ---- generic and sensor-specific texts -------------------------------------------------------

TEST_F(SelDecode, GenericThresholdTextsIgnoreTheDirectionBit) {
    EXPECT_EQ(desc(0x01, 0x01, 0x09), "Upper Critical - going high");
    EXPECT_EQ(desc(0x01, 0x81, 0x09), "Upper Critical - going high");
    EXPECT_EQ(desc(0x01, 0x01, 0x59, 0x5B, 0x5A), "Upper Critical - going high") << "bits 7:4 of data 1 are flags";
    EXPECT_EQ(desc(0x04, 0x05, 0x01), "Limit Exceeded");
    EXPECT_EQ(desc(0x08, 0x0B, 0x01), "Redundancy Lost");
    EXPECT_EQ(desc(0x02, 0x0C, 0x03), "D3 Power State");
    EXPECT_EQ(desc(0x02, 0x02, 0x0F), "") << "a generic type without that offset";
}

TEST_F(SelDecode, TypesOutsideTheTablesAreOemEvents) {
    for (uint8_t t : {0x00, 0x0D, 0x6E, 0x71, 0x7F, 0xFF, 0x8D}) EXPECT_EQ(desc(0x01, t, 0x00), "OEM event") << int(t);
}

TEST_F(SelDecode, SensorSpecificTextsMatchOnEventData2) {
    EXPECT_EQ(desc(0x08, 0x6F, 0x06, 0x03), "Configuration error:Power Supply rating mismatch");
    EXPECT_EQ(desc(0x08, 0xEF, 0xA6, 0x03), "Configuration error:Power Supply rating mismatch");
    EXPECT_EQ(desc(0x08, 0x6F, 0x06, 0x07), "unknown event");
    EXPECT_EQ(desc(0x05, 0x6F, 0x0F), "unknown event");
    EXPECT_EQ(desc(0x05, 0x6F, 0x00), "General Chassis intrusion");
    EXPECT_EQ(desc(0x0F, 0x6F, 0x01, 0x30), "Unknown Hang");
    EXPECT_EQ(desc(0x19, 0x6F, 0x00, 0x0D), "Soft Power Control Failure");
    EXPECT_EQ(desc(0xC2, 0x6F, 0x00, 0x08), "unknown event") << "a row whose text says so";
    EXPECT_EQ(desc(0xC2, 0x6F, 0x00, 0x1C), "CATERR");
    EXPECT_EQ(desc(0x01, 0x6F, 0x00), "") << "a row with an empty text";
    EXPECT_EQ(desc(0x05, 0x70, 0x00), "General Chassis intrusion") << "70h uses the sensor-specific texts";
    EXPECT_EQ(desc(0x30, 0x6F, 0x00), "unknown event") << "a sensor type of no table";
    EXPECT_EQ(desc(0xF1, 0x6F, 0x03), "IPMB-A enabled, IPMP-B enabled");
}

TEST_F(SelDecode, OemSensorTypesWithTheirOwnTexts) {
    EXPECT_EQ(desc(0xC6, 0x6F, 0x07, 0x42), "BBP Timer expired/OS gracefully shutdown");
    EXPECT_EQ(desc(0xCB, 0x6F, 0x00, 0x00, 0x05), "QPI Error (00 00 05)");
    EXPECT_EQ(desc(0xCB, 0x6F, 0xA0, 0x00, 0x7E), "QPI Error (A0 00 7E)");
    EXPECT_EQ(desc(0xCB, 0x6F, 0x01, 0x00, 0x05), "unknown event") << "no codes without a row";
    EXPECT_EQ(desc(0xC3, 0x6F, 0x03), "PCH Hot");
    EXPECT_EQ(desc(0xCA, 0x6F, 0x02, 0x00), "OOB feature initial failure");
}

// ---- PCI locations ----------------------------------------------------------------------------

TEST_F(SelDecode, PciErrorsNameBusDeviceAndFunction) {
    EXPECT_EQ(desc(0x13, 0x6F, 0x05, 0x03, 0x0A), "PCI SERR, Bus 3 /Device 1 /Function 2");
    EXPECT_EQ(desc(0x13, 0x6F, 0xA4, 0xFF, 0xFF), "PCI PERR, Bus 255 /Device 31 /Function 7");
    EXPECT_EQ(desc(0x13, 0x6F, 0x05, 0x00, 0x00), "PCI SERR");
    EXPECT_EQ(desc(0x13, 0x6F, 0x04, 0x00, 0x01), "PCI PERR, Bus 0 /Device 0 /Function 1");
    EXPECT_EQ(desc(0x13, 0x6F, 0x00, 0x03, 0x0A), "NMI/Diag Interrupt");
    EXPECT_EQ(take(getOEMSensorTypeDesc(0x13, 0x6F, 0x05, 0x03, 0x0A)), ", Bus 3 /Device 1 /Function 2");
    EXPECT_EQ(take(getOEMSensorTypeDesc(0x07, 0x6F, 0x05, 0x03, 0x0A)), "");
}

// ---- memory reference codes -------------------------------------------------------------------

TEST_F(SelDecode, MemoryReferenceCodes) {
    EXPECT_EQ(desc(0xCC, 0x70, 0xE8, 0x00, 0xFF, 0xFF), "No memory DIMM detected, install memory DIMMs");
    EXPECT_EQ(desc(0xCC, 0x6F, 0x07, 0x06, 0x25, 0xFF), "This DIMM does not support DDR4-1333 or higher (P2-DIMMF2)");
    EXPECT_EQ(desc(0xCC, 0x6F, 0x0A, 0x42, 0x00, 0xFF), "(runtime) Failing DIMM: DIMM location (P1-DIMMA1)");
    EXPECT_EQ(desc(0xCC, 0x6F, 0x33, 0x00, 0x00, 0xFF), "Undefined MRC code (FF 33 00 00)");
    EXPECT_EQ(desc(0xCC, 0x6F, 0x07, 0x03, 0x25, 0xFF), "Undefined MRC code (FF 07 03 25)") << "minor code not listed";
    EXPECT_EQ(desc(0xCC, 0x6F, 0xE8, 0x00, 0xFF, 0x10), "Undefined sensor number for MRC code (10)");
    EXPECT_EQ(boardIdRequests(), 0u);
}

TEST_F(SelDecode, DimmOfAMemoryReferenceCode) {
    EXPECT_EQ(take(getDIMMLoc(0x25)), " (P2-DIMMF2)");
    EXPECT_EQ(take(getDIMMLoc(0x00)), " (P1-DIMMA1)");
    EXPECT_EQ(take(getDIMMLoc(0xFE)), " (P8-DIMMd3)");
    EXPECT_EQ(take(getDIMMLoc(0xFF)), "");
}

// ---- DIMM locations by board family ----------------------------------------------------------

TEST_F(SelDecode, EccOnAFourChannelBoard) {
    setBoard(0x3A, 0x09);  // VKB-G4D-R1U
    EXPECT_EQ(ecc(0x1A, 0x01), "Correctable ECC@DIMME1(CPU2)");
    EXPECT_STREQ(boardName, "VKB-G4D-R1U\n");
    EXPECT_STREQ(boardType, "RomleyEPEX");
    EXPECT_EQ(desc(0x0C, 0x6F, 0x01, 0x2B, 0x00), "Uncorrectable ECC@DIMMB2(CPU1)");
    EXPECT_EQ(boardIdRequests(), 1u) << "the board is identified once per process";
}

TEST_F(SelDecode, EccOnAPlainBoard) {
    setBoard(0x0E, 0x50);  // VKB-G6D-R1U
    EXPECT_EQ(ecc(0x1A, 0x00), "Correctable ECC@DIMM1A(CPU1)");
    EXPECT_STREQ(boardType, "Normal");
    EXPECT_EQ(ecc(0x05, 0x03), "Correctable ECC@DIMM 5(CPU4)");
}

TEST_F(SelDecode, EccOnTheOtherFamilies) {
    struct Case {
        uint8_t ms, ls;
        const char* family;
        uint8_t d2, d3;
        const char* text;
    };
    const Case cases[] = {
        {0x0B, 0x21, "RomleyEN", 0x1A, 0x01, "Correctable ECC@DIMMD1(CPU2)"},
        {0x0B, 0x22, "RomleyEN", 0x2B, 0x02, "Correctable ECC@DIMMH2(CPU3)"},
        {0x0D, 0x40, "Brickland", 0x1A, 0x01, "Correctable ECC@DIMMA1(P2M1)"},
        {0x0D, 0x42, "Brickland", 0x6B, 0x02, "Correctable ECC@DIMMB2(P3M2)"},
        {0x0D, 0x41, "Brickland", 0x4C, 0x13, "Correctable ECC@DIMMD3(P4M1)"},
        {0x0C, 0x33, "VKB-G4W-DUO", 0x1A, 0x01, "Correctable ECC@DIMMA1(CPU2)"},
        {0x0A, 0x10, "Normal", 0x1A, 0x01, "Correctable ECC@DIMM1A(CPU2)"},
        {0x77, 0x77, "Normal", 0x1A, 0x01, "Correctable ECC@DIMM1A(CPU2)"},  // not in the table
    };
    for (const Case& c : cases) {
        boardName[0] = boardType[0] = '\0';
        setBoard(c.ms, c.ls);
        EXPECT_EQ(ecc(c.d2, c.d3), c.text) << c.family;
        EXPECT_STREQ(boardType, c.family);
    }
}

TEST_F(SelDecode, BoardIdNotProgrammedShowsEveryLayoutAndAsksAgain) {
    setBoard(0x3A, 0x09);
    bmc().failNext(oemNetFn, boardIdCmd, 0x99);
    EXPECT_EQ(ecc(0x1A, 0x01),
              "Correctable ECC[@DIMME1(CPU2)GenC,GenB Romley EP,EX][@DIMMD1(CPU2)GenB Romley EN][@DIMM1A(CPU2)GenA]");
    EXPECT_STREQ(boardType, "");
    EXPECT_EQ(ecc(0x1A, 0x01), "Correctable ECC@DIMME1(CPU2)");
    EXPECT_EQ(boardIdRequests(), 2u);
    EXPECT_STREQ(boardType, "RomleyEPEX");
}

TEST_F(SelDecode, FailedBoardIdUsesThePlainFormUntilItAnswers) {
    setBoard(0x3A, 0x09);
    bmc().failNext(oemNetFn, boardIdCmd, 0xC1, 2);
    EXPECT_EQ(ecc(0x1A, 0x01), "Correctable ECC@DIMM1A(CPU2)");
    EXPECT_EQ(ecc(0x2B, 0x00), "Correctable ECC@DIMM2B(CPU1)");
    EXPECT_EQ(ecc(0x1A, 0x01), "Correctable ECC@DIMME1(CPU2)");
    EXPECT_EQ(boardIdRequests(), 3u);
}

TEST_F(SelDecode, ShortBoardIdAnswerReadsAsBoardZero) {
    bmc().inject(testkit::command(oemNetFn, boardIdCmd), testkit::IpmiResponse::ok({0x09}));
    EXPECT_EQ(ecc(0x1A, 0x01), "Correctable ECC@DIMM1A(CPU2)");
    EXPECT_STREQ(boardName, "");
    EXPECT_STREQ(boardType, "Normal");
}

TEST_F(SelDecode, OtherMemoryEventsDoNotAskForTheBoard) {
    EXPECT_EQ(desc(0x0C, 0x6F, 0x02, 0x1A, 0x01), "Parity");
    EXPECT_EQ(desc(0x0C, 0x6F, 0x05, 0x1A, 0x01), "Correctable ECC logging limit reached");
    EXPECT_EQ(boardIdRequests(), 0u);
}

TEST(SelBoards, TableReachesEveryFamilyAndIdsAreUnique) {
    std::set<std::string> families;
    std::set<int> ids;
    for (size_t i = 0; i < vkt_board_id_count; ++i) {
        const board_oem_id& row = vkt_board_id[i];
        EXPECT_TRUE(ids.insert(row.ms << 8 | row.ls).second) << row.board_name;
        EXPECT_LT(strnlen(row.board_name, sizeof row.board_name), sizeof row.board_name - 1);
        families.insert(boardFamilyOf(row.board_name));
    }
    EXPECT_EQ(families, (std::set<std::string>{"Brickland", "Normal", "RomleyEN", "RomleyEPEX", boardOwnLayoutModel}));
    EXPECT_STREQ(boardFamilyOf(""), "Normal");
    EXPECT_STREQ(boardFamilyOf(nullptr), "Normal");
    EXPECT_STREQ(boardFamilyOf("VKB-G4W-DUO\n"), boardOwnLayoutModel);
    EXPECT_STREQ(boardFamilyOf("VKB-G4W-R2U\n"), "RomleyEPEX");
}

// ---- direction and labels ----------------------------------------------------------------------

TEST(SelDirection, BitSevenMeansDeassertion) {
    char text[20];
    getEventDir(0x80, text);
    EXPECT_STREQ(text, "Deassertion");
    getEventDir(0xEF, text, sizeof text);
    EXPECT_STREQ(text, "Deassertion");
    getEventDir(0x7F, text);
    EXPECT_STREQ(text, "Assertion");
    char small[5];
    getEventDir(0x81, small, sizeof small);
    EXPECT_STREQ(small, "Deas");
}

TEST_F(SelDecode, UnnamedSensorsAreLabelledByType) {
    EXPECT_EQ(label(0x00), "reserved");
    EXPECT_EQ(label(0x01), "Temperature");
    EXPECT_EQ(label(0x0D), "Drive Slot / Bay");
    EXPECT_EQ(label(0x2C), "FRU State");
    EXPECT_EQ(label(0xC2), "CPLD Event");
    EXPECT_EQ(label(0xC3, 0x03), "PCH Hot");
    EXPECT_EQ(label(0xC3, 0x02), "CPU Error");
    EXPECT_EQ(label(0xC3, 0xA3), "CPU Error") << "event data 1 as a whole";
    EXPECT_EQ(label(0xC6), "BBP");
    EXPECT_EQ(label(0xC7), "Xeon Phi Throttle");
    EXPECT_EQ(label(0xCA), "OOB Event");
    EXPECT_EQ(label(0xCB), "BIOS OEM");
    EXPECT_EQ(label(0xCC), "BIOS OEM");
    for (uint8_t t : {0x2D, 0xC0, 0xC1, 0xC4, 0xC5, 0xC8, 0xC9, 0xCD, 0xF0, 0xFF}) EXPECT_EQ(label(t), "OEM") << int(t);
}

TEST_F(SelDecode, LabelsAreCutToTheirField) {
    char text[6];
    getSELSensorLabel(0x10, 0x05, 0x00, text, sizeof text);
    EXPECT_STREQ(text, "Physi");
}

// ---- pure decoding: the entry and a context, no BMC -----------------------------------------------

bool demoNames(BYTE number, char* name, size_t cap) {
    if (number != 0x31) return false;
    vkt::copyText(name, cap, "DIMM Errors");
    return true;
}

std::string described(const vkt::SelEvent& e, const vkt::EventContext& ctx) {
    char text[512];
    memset(text, 'x', sizeof text);
    vkt::describeEvent(e, ctx, text, sizeof text);
    return text;
}

TEST(SelDecodePure, TheEntryFieldsComeFromTheRecordWhateverItsLength) {
    // Time stamp 59684280h, generator 0020h, revision 04h, memory sensor 31h, sensor-specific,
    // correctable ECC on DIMM 1A of CPU 2.
    const BYTE entry[20] = {0x01, 0x00, 0x02, 0x80, 0x42, 0x68, 0x59, 0x20, 0x00, 0x04,
                            0x0C, 0x31, 0x6F, 0x00, 0x1A, 0x01, 0xEE, 0xEE, 0xEE, 0xEE};
    for (size_t length : {16u, 20u}) {
        const vkt::SelEvent e = vkt::selEventOf(vkt::ByteView(entry, length));
        EXPECT_EQ(e.sensorType, 0x0C);
        EXPECT_EQ(e.sensorNumber, 0x31);
        EXPECT_EQ(e.eventDirType, 0x6F);
        EXPECT_EQ(e.data1, 0x00);
        EXPECT_EQ(e.data2, 0x1A);
        EXPECT_EQ(e.data3, 0x01);
    }
    const vkt::SelEvent cut = vkt::selEventOf(vkt::ByteView(entry, 13));
    EXPECT_EQ(cut.eventDirType, 0x6F);
    EXPECT_EQ(cut.data1 | cut.data2 | cut.data3, 0) << "bytes past a short record read as 00h";
    EXPECT_EQ(vkt::selEventOf(vkt::ByteView()).sensorType, 0);
}

TEST(SelDecodePure, DescriptionsAndLabelsComeFromTheContextAlone) {
    vkt::SelEvent ecc;
    ecc.sensorType = 0x0C;
    ecc.sensorNumber = 0x31;
    ecc.eventDirType = 0x6F;
    ecc.data2 = 0x1A;
    ecc.data3 = 0x01;
    vkt::EventContext ctx;
    ctx.sensorName = demoNames;
    const std::pair<vkt::DimmLayout, const char*> layouts[] = {
        {vkt::DimmLayout::plain, "Correctable ECC@DIMM1A(CPU2)"},
        {vkt::DimmLayout::ownModel, "Correctable ECC@DIMMA1(CPU2)"},
        {vkt::DimmLayout::brickland, "Correctable ECC@DIMMA1(P2M1)"},
        {vkt::DimmLayout::romleyEN, "Correctable ECC@DIMMD1(CPU2)"},
        {vkt::DimmLayout::romleyEPEX, "Correctable ECC@DIMME1(CPU2)"},
        {vkt::DimmLayout::unannounced,
         "Correctable ECC[@DIMME1(CPU2)GenC,GenB Romley EP,EX][@DIMMD1(CPU2)GenB Romley EN][@DIMM1A(CPU2)GenA]"},
    };
    for (const auto& [layout, text] : layouts) {
        ctx.board = layout;
        EXPECT_EQ(described(ecc, ctx), text);
    }
    EXPECT_TRUE(vkt::eventNeedsBoard(ecc));

    char label[64];
    vkt::labelSensor(ecc, ctx, label, sizeof label);
    EXPECT_STREQ(label, "DIMM Errors");
    vkt::SelEvent unnamed = ecc;
    unnamed.sensorNumber = 0x32;
    vkt::labelSensor(unnamed, ctx, label, sizeof label);
    EXPECT_STREQ(label, "Memory");
    vkt::labelSensor(ecc, vkt::EventContext{}, label, sizeof label);
    EXPECT_STREQ(label, "Memory") << "no names known";

    vkt::SelEvent parity = ecc;
    parity.data1 = 0x02;
    EXPECT_FALSE(vkt::eventNeedsBoard(parity));
    EXPECT_EQ(described(parity, ctx), "Parity");
    vkt::SelEvent generic = ecc;
    generic.eventDirType = 0x81;  // threshold type, deassertion
    generic.data1 = 0x09;
    EXPECT_FALSE(vkt::eventNeedsBoard(generic));
    EXPECT_EQ(described(generic, ctx), "Upper Critical - going high");
    EXPECT_STREQ(vkt::eventDirectionText(generic.eventDirType), "Deassertion");
}

TEST(SelDecodePure, TextsAreCutToTheRoomGiven) {
    vkt::SelEvent pci;
    pci.sensorType = 0x13;
    pci.eventDirType = 0x6F;
    pci.data1 = 0x04;
    pci.data2 = 0x03;
    pci.data3 = 0x0A;
    char full[128];
    const size_t n = vkt::describeEvent(pci, vkt::EventContext{}, full, sizeof full);
    EXPECT_EQ(std::string(full), std::string("PCI PERR, Bus 3 /Device 1 /Function 2"));
    EXPECT_EQ(n, strlen(full));
    char small[8];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(vkt::describeEvent(pci, vkt::EventContext{}, small, sizeof small), 7u);
    EXPECT_STREQ(small, "PCI PER");
    EXPECT_EQ(vkt::describeEvent(pci, vkt::EventContext{}, nullptr, 0), 0u);
}

}  // namespace
