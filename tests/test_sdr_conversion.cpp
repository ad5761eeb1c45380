// Reading conversion: factor decoding, the analog formula, linearizations, values that are
// no value, decimal truncation, the slot-based fronts, unit texts and the two sensor commands.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sdr_fixture.h"
#include "sdr_reading.h"

using namespace sdrtest;
using vkt::SensorFactors;

namespace {

constexpr double tolerance = 1e-9;

SensorFactors factors(int m, int b, int rExp, int bExp, BYTE linearization = 0x00) {
    SensorFactors f;
    f.m = m;
    f.b = b;
    f.rExponent = rExp;
    f.bExponent = bExp;
    f.linearization = linearization;
    return f;
}

// A record image carrying only the conversion bytes.
std::array<BYTE, 64> image(BYTE m, BYTE mHigh, BYTE b, BYTE bHigh, BYTE exponents, BYTE linearization = 0) {
    std::array<BYTE, 64> r{};
    r[23] = linearization;
    r[24] = m;
    r[25] = mHigh;
    r[26] = b;
    r[27] = bHigh;
    r[29] = exponents;
    return r;
}

// ---- factor decoding -------------------------------------------------------------------------

TEST(SensorFactors, TenBitFactorsAndFourBitExponentsAreSigned) {
    SensorFactors f = vkt::decodeSensorFactors(image(0x01, 0x00, 0x00, 0x00, 0x00));
    EXPECT_EQ(f.m, 1);
    EXPECT_EQ(f.b, 0);
    // Bits 9:8 = 11b with low byte FFh: -1. The low bits 5:0 of the high bytes are not factor bits.
    f = vkt::decodeSensorFactors(image(0xFF, 0xFF, 0x00, 0xBF, 0x00));
    EXPECT_EQ(f.m, -1);
    EXPECT_EQ(f.b, -512);
    f = vkt::decodeSensorFactors(image(0xFF, 0x7F, 0x01, 0x40, 0x00));
    EXPECT_EQ(f.m, 511);
    EXPECT_EQ(f.b, 257);
    f = vkt::decodeSensorFactors(image(0x01, 0x00, 0x00, 0x00, 0xF7));
    EXPECT_EQ(f.rExponent, -1);
    EXPECT_EQ(f.bExponent, 7);
    f = vkt::decodeSensorFactors(image(0x01, 0x00, 0x00, 0x00, 0x78, 0x0B));
    EXPECT_EQ(f.rExponent, 7);
    EXPECT_EQ(f.bExponent, -8);
    EXPECT_EQ(f.linearization, 0x0B);
}

TEST(SensorFactors, BytesARecordDoesNotHoldReadAsZero) {
    const std::array<BYTE, 64> full = image(0x05, 0x00, 0x07, 0x00, 0xE1, 0x08);
    // Cut after the M bytes: B and the exponents read as 00h, the linearization byte (23)
    // is still there.
    SensorFactors f = vkt::decodeSensorFactors(vkt::ByteView(full.data(), 26));
    EXPECT_EQ(f.m, 5);
    EXPECT_EQ(f.b, 0);
    EXPECT_EQ(f.rExponent, 0);
    EXPECT_EQ(f.bExponent, 0);
    EXPECT_EQ(f.linearization, 0x08);
    f = vkt::decodeSensorFactors(vkt::ByteView());
    EXPECT_EQ(f.m, 0);
    EXPECT_EQ(f.linearization, 0x00);
    // A longer image decodes as the exact one.
    f = vkt::decodeSensorFactors(full);
    EXPECT_EQ(f.b, 7);
    EXPECT_EQ(f.rExponent, -2);
    EXPECT_EQ(f.bExponent, 1);
}

// ---- the formula ---------------------------------------------------------------------------------

TEST(SensorConversion, LinearValues) {
    EXPECT_DOUBLE_EQ(vkt::linearSensorValue(factors(1, 0, 0, 0), 25), 25.0);
    EXPECT_NEAR(vkt::linearSensorValue(factors(1, 0, -1, 0), 123), 12.3, tolerance);
    // The raw byte is unsigned: F6h is 246, not -10.
    EXPECT_DOUBLE_EQ(vkt::linearSensorValue(factors(1, 0, 0, 0), 0xF6), 246.0);
    EXPECT_DOUBLE_EQ(vkt::linearSensorValue(factors(-1, 0, 0, 0), 200), -200.0);
    // (M x + B 10^Bexp) 10^Rexp
    EXPECT_NEAR(vkt::linearSensorValue(factors(50, -3, -3, 0), 247), 12.347, tolerance);
    EXPECT_NEAR(vkt::linearSensorValue(factors(2, 5, 1, 2), 10), (20 + 500) * 10.0, tolerance);
    EXPECT_NEAR(vkt::linearSensorValue(factors(1, 1, -8, -8), 1), 1e-8 + 1e-16, 1e-20);
}

TEST(SensorConversion, EveryLinearizationOfAReading) {
    struct Case {
        BYTE code;
        BYTE raw;
        double expected;
    } cases[] = {
        {0x00, 100, 100.0},         {0x01, 100, std::log(100.0)}, {0x02, 100, 2.0},
        {0x05, 2, 100.0},           {0x07, 4, 0.25},              {0x08, 12, 144.0},
        {0x0A, 49, 7.0},            {0x0B, 27, 3.0},              {0x03, 100, 100.0},  // no formula: unchanged
        {0x0C, 100, 100.0},         {0x70, 100, 100.0},
    };
    for (const Case& c : cases) {
        auto v = vkt::convertSensorReading(factors(1, 0, 0, 0, c.code), c.raw);
        ASSERT_TRUE(v.has_value()) << int(c.code);
        EXPECT_NEAR(*v, c.expected, tolerance) << int(c.code);
    }
    // Cube roots of negative values are real.
    EXPECT_NEAR(*vkt::convertSensorReading(factors(-1, 0, 0, 0, 0x0B), 8), -2.0, tolerance);
}

TEST(SensorConversion, ThresholdsOnlyKnowTheSquare) {
    EXPECT_DOUBLE_EQ(*vkt::convertSensorThreshold(factors(1, 0, 0, 0, 0x08), 12), 144.0);
    EXPECT_DOUBLE_EQ(*vkt::convertSensorThreshold(factors(1, 0, 0, 0, 0x01), 100), 100.0);
    EXPECT_DOUBLE_EQ(*vkt::convertSensorThreshold(factors(1, 0, 0, 0, 0x07), 4), 4.0);
}

TEST(SensorConversion, ResultsThatAreNoNumberAreRefused) {
    EXPECT_FALSE(vkt::convertSensorReading(factors(1, 0, 0, 0, 0x01), 0));   // ln 0
    EXPECT_FALSE(vkt::convertSensorReading(factors(-1, 0, 0, 0, 0x01), 5)); // ln of a negative value
    EXPECT_FALSE(vkt::convertSensorReading(factors(1, 0, 0, 0, 0x02), 0));   // log10 0
    EXPECT_FALSE(vkt::convertSensorReading(factors(1, 0, 0, 0, 0x07), 0));   // 1/0
    EXPECT_FALSE(vkt::convertSensorReading(factors(-1, 0, 0, 0, 0x0A), 4));  // square root of -4
    EXPECT_FALSE(vkt::convertSensorReading(factors(1, 0, 0, 0, 0x05), 255)); // 10^255
    // Largest factors: (511 * 255 + 511 * 10^7) * 10^7 does not fit a printed reading.
    EXPECT_FALSE(vkt::convertSensorReading(factors(511, 511, 7, 7), 255));
    EXPECT_FALSE(vkt::convertSensorThreshold(factors(511, 511, 7, 7), 255));
    EXPECT_FALSE(vkt::convertSensorThreshold(factors(511, 0, 2, 0, 0x08), 255));  // squared
    // The largest value still accepted, and the first one refused.
    EXPECT_TRUE(vkt::convertSensorReading(factors(1, 0, 0, 0), 255));
    EXPECT_TRUE(vkt::convertSensorReading(factors(214, 0, 7, 0), 1));
    EXPECT_FALSE(vkt::convertSensorReading(factors(215, 0, 7, 0), 1));
    EXPECT_TRUE(vkt::convertSensorReading(factors(-214, 0, 7, 0), 1));
    EXPECT_FALSE(vkt::convertSensorReading(factors(-215, 0, 7, 0), 1));
}

TEST(SensorConversion, DecimalTruncationCutsTowardZero) {
    EXPECT_EQ(vkt::truncDecimal(1234.7), 1234);
    EXPECT_EQ(vkt::truncDecimal(-1234.7), -1234);
    EXPECT_EQ(vkt::truncDecimal(14.5), 14);
    EXPECT_EQ(vkt::truncDecimal(0.999), 0);
    EXPECT_EQ(vkt::truncDecimal(0.0), 0);
    // Binary noise below a decimal value does not cost a digit: 0.29 V is 29 hundredths.
    const double hundredths = (29 * 0.01) * 100;
    ASSERT_LT(hundredths, 29.0);
    EXPECT_EQ(vkt::truncDecimal(hundredths), 29);
    EXPECT_EQ(vkt::truncDecimal(-hundredths), -29);
    EXPECT_EQ(vkt::truncDecimal(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(vkt::truncDecimal(1e300), 9000000000000000000LL);
}

// ---- the slot-based fronts ---------------------------------------------------------------------

class SlotConversion : public SdrTest {
protected:
    // A full record in slot 0 with these factors, read through the walk.
    void load(const SensorFields& f) {
        sdr().addFull(f);
        ASSERT_EQ(walk(), 0x00);
    }
};

TEST_F(SlotConversion, ThresholdFrontUsesTheSlotFactors) {
    SensorFields f = fields("Volt", 0x30, 0x02, 0x01, 0x04);
    f.m = 50;
    f.b = -3;
    f.rExp = -3;
    load(f);
    EXPECT_NEAR(sdr_convert_sensor_reading(0, 247), 12.347, tolerance);
    EXPECT_TRUE(std::isnan(sdr_convert_sensor_reading(200, 247))) << "no such slot";
}

TEST_F(SlotConversion, ThresholdFrontGivesNanForNoValue) {
    SensorFields f = fields("Huge", 0x30, 0x02, 0x01, 0x04);
    f.m = 511;
    f.rExp = 7;
    f.linearization = 0x08;
    load(f);
    EXPECT_TRUE(std::isnan(sdr_convert_sensor_reading(0, 200)));
}

TEST_F(SlotConversion, ReadingFrontReadsTheSensorFirst) {
    SensorFields f = fields("Fan", 0x41, 0x04, 0x01, 18);
    f.m = 100;
    load(f);
    sdr().sensor(0x41).reading = 83;
    bmc().clearLog();
    EXPECT_DOUBLE_EQ(calSensorReading(0), 8300.0);
    ASSERT_EQ(bmc().requests(0x04, 0x2D).size(), 1u);
    EXPECT_EQ(bmc().requests(0x04, 0x2D)[0].data, (Bytes{0x41}));
    // A failed read is no reading at all, never a converted stale byte.
    sdr().sensor(0x41).readingCc = 0xC3;
    EXPECT_TRUE(std::isnan(calSensorReading(0)));
    sdr().sensor(0x41).readingCc.reset();
    sdr().sensor(0x41).readingAnswer = Bytes{};  // success without a reading byte: raw 0
    EXPECT_DOUBLE_EQ(calSensorReading(0), 0.0);
}

TEST_F(SlotConversion, ThresholdsConvertEverySentByteAndIgnoreTheMask) {
    SensorFields f = fields("Temp", 0x01);
    f.m = 2;
    f.thresholds = {10, 20, 30, 40, 50, 60};
    load(f);
    sdr().sensor(0x01).thresholdMask = 0x00;  // nothing readable, converted anyway
    double t[6] = {-1, -1, -1, -1, -1, -1};
    EXPECT_EQ(getThresholds(0, 0x01, t), 0x00);
    EXPECT_EQ(std::vector<double>(t, t + 6), (std::vector<double>{20, 40, 60, 80, 100, 120}));
    EXPECT_EQ(bmc().requests(0x04, 0x27).back().data, (Bytes{0x01}));

    // A short answer reads as zeros; a failure leaves the array alone.
    sdr().sensor(0x01).thresholds = {0, 0, 0, 0, 0, 0};
    bmc().inject(testkit::command(0x04, 0x27), IpmiResponse::ok({0x3F, 0x05}));
    EXPECT_EQ(getThresholds(0, 0x01, t), 0x00);
    EXPECT_EQ(std::vector<double>(t, t + 6), (std::vector<double>{10, 0, 0, 0, 0, 0}));
    sdr().sensor(0x01).thresholdsCc = 0xCD;
    double untouched[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(getThresholds(0, 0x01, untouched), 0xCD);
    EXPECT_EQ(std::vector<double>(untouched, untouched + 6), std::vector<double>(6, 7.0));
}

TEST_F(SlotConversion, ThresholdWithoutAUsableValueReadsAsNotSet) {
    SensorFields f = fields("Inverse", 0x02);
    f.m = 511;
    f.rExp = 7;
    f.thresholds = {1, 2, 0, 0, 0, 0};
    load(f);
    double t[6] = {};
    EXPECT_EQ(getThresholds(0, 0x02, t), 0x00);
    EXPECT_EQ(t[0], 0.0);  // 511 * 10^7 is beyond a printable limit
    EXPECT_EQ(t[1], 0.0);
    EXPECT_EQ(t[2], 0.0);
}

// ---- sensor commands ----------------------------------------------------------------------------

TEST_F(SlotConversion, SensorReadingKeepsAtMostFourBytes) {
    sdr().sensor(0x10).readingAnswer = Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    BYTE r[6] = {0, 0, 0, 0, 0xEE, 0xEE};
    EXPECT_EQ(getSensorReading(0x10, r), 0x00);
    EXPECT_EQ(Bytes(r, r + 6), (Bytes{0x11, 0x22, 0x33, 0x44, 0xEE, 0xEE}));
    sdr().sensor(0x10).readingAnswer = Bytes{0x11, 0x22, 0x33};  // optional fourth byte left out
    EXPECT_EQ(getSensorReading(0x10, r), 0x00);
    EXPECT_EQ(Bytes(r, r + 4), (Bytes{0x11, 0x22, 0x33, 0x00}));
    BYTE kept[4] = {9, 9, 9, 9};
    EXPECT_EQ(getSensorReading(0x99, kept), 0xCB);
    EXPECT_EQ(Bytes(kept, kept + 4), (Bytes{9, 9, 9, 9}));
}

TEST_F(SlotConversion, ReadingIsAvailableUnlessRefusedOrFfh) {
    load(fields("Temp", 0x01));
    sdr().sensor(0x01).reading = 0x30;
    EXPECT_EQ(isReadingAvailable(0), 1);
    sdr().sensor(0x01).reading = 0xFF;
    EXPECT_EQ(isReadingAvailable(0), 0);
    sdr().sensor(0x01).reading = 0x00;
    sdr().sensor(0x01).flags = 0x20;  // the unavailable flag is not what decides here
    EXPECT_EQ(isReadingAvailable(0), 1);
    sdr().sensor(0x01).readingCc = 0xCB;
    EXPECT_EQ(isReadingAvailable(0), 0);
    sdr().sensor(0x01).readingCc = 0xD5;
    EXPECT_EQ(isReadingAvailable(0), 0);
}

// ---- unit texts -----------------------------------------------------------------------------------

TEST_F(SlotConversion, UnitTextsOfTheBaseUnitCodes) {
    const std::pair<int, const char*> units[] = {{0, " "},     {1, "C"},      {2, "F"},  {3, "K"},
                                                 {4, "V"},     {5, "Amps"},   {6, "Watts"}, {18, "RPM"}};
    for (const auto& u : units) load(fields("U" + std::to_string(u.first), static_cast<uint8_t>(u.first + 1), 0x01,
                                            0x01, static_cast<uint8_t>(u.first)));
    for (size_t i = 0; i < std::size(units); ++i) {
        char unit[vkt::sdrUnitTextSize] = "x";
        getSDRUnit(static_cast<BYTE>(i), unit);
        EXPECT_STREQ(unit, units[i].second);
    }
}

TEST_F(SlotConversion, UnitCodesWithoutTextLeaveTheCallersText) {
    load(fields("Percent", 0x01, 0x01, 0x01, 7));
    load(fields("Lux", 0x02, 0x01, 0x01, 19));
    for (BYTE index : {BYTE{0}, BYTE{1}, BYTE{200}}) {
        char unit[vkt::sdrUnitTextSize] = "old";
        getSDRUnit(index, unit);
        EXPECT_STREQ(unit, "old");
    }
}

}  // namespace
