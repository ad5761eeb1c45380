// A host that enumerates every class for days (a monitoring client polling a CIMOM that
// hosts the library with the simulated server preloaded, or the demo left running) must stay
// the size it reached after its first rounds: neither the library nor the simulated server
// may keep anything per exchange. The records tests read are off here, as in everything that
// ships (sim_records.h); vkt-bench --rounds holds the same over the trapped KCS ports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "cimhost.h"
#include "sim_records.h"
#include "test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define VKT_RESIDENT_SIZE_MEANS_LITTLE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VKT_RESIDENT_SIZE_MEANS_LITTLE 1
#endif
#endif

namespace {

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    if (!(statm >> size >> resident)) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// After this many rounds the library has read what it caches and the server holds all it
// ever will; from there to the last round the process may grow by page-sized noise only. A
// record of every exchange grows by about a hundred kilobytes a round.
constexpr int warmRounds = 100;
constexpr long growthKiB = 1024;

class LongRunning : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        testkit::keepRecords(false);
    }
    void TearDown() override {
        testkit::keepRecords(true);
        SimTest::TearDown();
    }

    // Every class, action classes too, `rounds` times over: the resident size after the
    // last round is held against the size after the warm-up rounds.
    void expectKeptSize(int rounds) {
#ifdef VKT_RESIDENT_SIZE_MEANS_LITTLE
        GTEST_SKIP() << "under AddressSanitizer freed memory is held in quarantine";
#endif
        forgetCachedReads();
        auto host = cimhost::Host::inProcess();
        long warm = -1;
        size_t instances = 0;
        {
            testkit::CaptureOutput out(1);
            testkit::CaptureOutput err(2);
            for (int round = 1; round <= rounds; ++round) {
                for (const cimhost::ProviderInfo& p : cimhost::providers()) {
                    const cimhost::EnumResult r = host->enumerate(p.prefix);
                    if (round == 1) instances += r.instances.size();
                    host->releaseBrokerObjects();
                }
                if (round == warmRounds) warm = residentKiB();
            }
        }
        const long last = residentKiB();
        ASSERT_GT(warm, 0);
        EXPECT_GT(instances, 90u) << "the server answered less than it holds";
        EXPECT_LE(last - warm, growthKiB) << "resident KiB after round " << warmRounds << ": " << warm
                                          << ", after round " << rounds << ": " << last;
        EXPECT_TRUE(bmc().log().empty());
    }
};

TEST_F(LongRunning, EveryClassOverTheDeviceKeepsTheProcessSize) {
    useServer(testkit::makeScenario("demo"));
    expectKeptSize(2000);
}

TEST_F(LongRunning, EveryClassOfAChassisNodeOverTheKcsPortsKeepsTheProcessSize) {
    // Each exchange over the ports costs some fifty register accesses: fewer rounds.
    useServer(testkit::makeScenario("multinode"), {});  // no device node: the ports
    expectKeptSize(200);
    EXPECT_TRUE(kcs().log().empty());
}

}  // namespace
