// Shared pieces of the FRU tests: a fixture with a fresh FRU state and a private working
// directory (the library reads "fru_source_index" from there), file helpers and hex texts.
#ifndef TESTS_FRU_TEST_SUPPORT_H
#define TESTS_FRU_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bounded.h"
#include "fru_util.h"
#include "test_support.h"

namespace frutest {

using testkit::Bytes;

// Runs the test in a new temporary directory and goes back (and removes it) afterwards.
class ScopedWorkDir {
public:
    ScopedWorkDir() {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr) previous_ = cwd;
        if (dir_.path().empty() || chdir(dir_.path().c_str()) != 0) ADD_FAILURE() << "no temporary working directory";
    }
    ~ScopedWorkDir() {
        if (!previous_.empty() && chdir(previous_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << previous_;
        const std::string path = dir_.path();
        if (!dir_.remove()) ADD_FAILURE() << "cannot remove " << path;
    }
    const std::string& path() const { return dir_.path(); }

private:
    std::string previous_;
    testkit::ScratchDir dir_{"vkt-fru"};
};

using testkit::readBytes;
using testkit::readText;
using testkit::writeFile;

inline bool fileExists(const std::string& name) { return access(name.c_str(), F_OK) == 0; }

inline Bytes bufferBytes(const BYTE* data, size_t n) { return Bytes(data, data + n); }
inline Bytes writeBufferImage() {
    return bufferBytes(fruWriteBuffer, static_cast<size_t>(fruWriteBufferLength));
}

// Puts every FRU global of the library back to its load-time state.
inline void resetFruState() {
    fruNetFu = fruGetInventoryCmd = fruReadFRUCmd = fruWriteFRUCmd = 0;
    memset(fruInventoryAreaInfo, 0, sizeof fruInventoryAreaInfo);
    fru1Flag = 0;
    memset(fruData, 0, sizeof fruData);
    fruDataLength = 0;
    memset(fruWriteBuffer, 0, sizeof fruWriteBuffer);
    fruWriteBufferLength = 0;
    internal = fru_area_internal{};
    chassis = fru_area_chassis{};
    board = fru_area_board{};
    product = fru_area_product{};
    for (fru_area_multi& m : multi) m = fru_area_multi{};
    fru_area_multi_len = 0;
    hasInternal = hasChassis = hasBoard = hasProduct = hasMulti = 0;
    boardInfo = fru_board_info{};
    productInfo = fru_product_info{};
    internalUseLength = 0;
    fruParseIncomplete = 0;
    storedChassis = storedBoard = storedProduct = FruStoredArea{};
}

// ---- images ------------------------------------------------------------------------------

using testkit::fru::Field;
using testkit::fru::ImageBuilder;

constexpr uint8_t english = 0x19;

// Fields in the encodings a type/length byte names besides 8-bit text: 6-bit packed ASCII
// (type bits 10b), BCD plus (01b) and binary (00b), some holding 00h or a line end; the
// board and product areas in English (language byte 19h).
inline Bytes mixedEncodingImage() {
    const Field sixBitAbcd = Field::raw(0x83, {0xA1, 0x38, 0x92});
    const Field sixBitWithZero = Field::raw(0x86, {0x00, 0x38, 0x92, 0x0A, 0xC1, 0x0D});
    const Field bcdSerial = Field::raw(0x44, {0x00, 0x00, 0x12, 0x34});
    const Field bcdWithLineEnd = Field::raw(0x45, {0x12, 0x34, 0x00, 0x56, 0x0A});
    const Field binary = Field::raw(0x03, {0x00, 0x0D, 0xFF});
    return ImageBuilder()
        .chassis(0x17, {sixBitAbcd, "C819K1A47N30042"})
        .board(0x123456, {"Orvane Computing", sixBitWithZero, bcdWithLineEnd, binary, ""}, {}, english)
        .product({"Orvane Computing", "VK1029-TR4", "VK1029-TR4-01", "1.02", bcdSerial, "IT-004512", ""},
                 Field("Built to order").encoded, english)
        .padTo(512)
        .build();
}

// A board and product image as any tool writes it, but for the board area's checksum byte.
inline Bytes wrongChecksumImage() {
    Bytes image = ImageBuilder()
                      .board(0x0A0B0C, {"Orvane Computing", "VKB-X12DPU", "WM21AS004512", "BRD-X12DPU-R1.02", ""})
                      .product({"Orvane Computing", "VK1029-TR4", "VK1029-TR4-01", "1.02", "S412053X9A17721",
                                "IT-004512", ""})
                      .padTo(512)
                      .build();
    const size_t board = image[3] * 8u;
    image[board + image[board + 1] * 8u - 1] ^= 0xFF;
    return image;
}

// The FRU images of the simulated server's scenarios, each once, with the scenario's name.
inline std::vector<std::pair<std::string, Bytes>> scenarioImages() {
    std::vector<std::pair<std::string, Bytes>> images;
    for (const std::string& name : testkit::scenarioNames()) {
        const Bytes image = testkit::makeScenario(name)->fru.image;
        bool seen = image.empty();
        for (const auto& known : images) seen = seen || known.second == image;
        if (!seen) images.emplace_back(name, image);
    }
    return images;
}

// Sets the time zone for the rest of the test (and back to the previous one afterwards).
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = getenv("TZ")) previous_ = old, hadPrevious_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (hadPrevious_) {
            setenv("TZ", previous_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

class FruTest : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        resetFruState();
        workDir_ = std::make_unique<ScopedWorkDir>();
    }
    void TearDown() override {
        workDir_.reset();
        resetFruState();
        SimTest::TearDown();
    }
    testkit::FruModel& fruDevice() { return sim().fru; }
    void useImage(const Bytes& image, int32_t areaSize = -1) {
        fruDevice().image = image;
        fruDevice().areaSize = areaSize;
    }
    // Requests of one command, in order.
    std::vector<testkit::IpmiRequest> sent(uint8_t netFn, uint8_t cmd) const { return server_->bmc.requests(netFn, cmd); }

    std::unique_ptr<ScopedWorkDir> workDir_;
};

}  // namespace frutest

#endif
