// The benchmark's expectation of the exchanges per class, held against what the library
// sends: every class enumerated twice, in the order of the provider list, from a process that
// has read nothing yet, on the demo server over the device and on a generated server over
// the KCS ports. A class that starts sending more (or fewer) requests fails here.
#include <gtest/gtest.h>

#include "cimhost.h"
#include "exchange_model.h"
#include "sim_synthetic.h"
#include "test_support.h"

namespace {

class BenchExpectations : public testkit::SimTest {
protected:
    void expectComputedCounts(vktbench::Transport transport) {
        forgetCachedReads();
        auto host = cimhost::Host::inProcess();
        vktbench::ProcessState state;
        for (int pass = 1; pass <= 2; ++pass) {
            for (const cimhost::ProviderInfo& p : cimhost::providers()) {
                const size_t expected = vktbench::expectedExchanges(sim(), p.prefix, transport, state);
                EXPECT_EQ(requestsDuring([&] { host->enumerate(p.prefix); }), expected)
                    << p.className << ", enumeration " << pass;
            }
        }
    }
};

TEST_F(BenchExpectations, DemoServerOverTheDevice) {
    useServer(testkit::makeScenario("demo"));
    expectComputedCounts(vktbench::Transport::device);
}

TEST_F(BenchExpectations, GeneratedServerOverTheKcsPorts) {
    auto server = testkit::makeScenario("demo");
    testkit::SyntheticSizes sizes;
    sizes.sensors = 20;
    sizes.selEntries = 40;
    sizes.psus = 6;
    sizes.nodes = 4;
    ASSERT_EQ(testkit::checkSyntheticSizes(sizes), "");
    testkit::applySyntheticSizes(*server, sizes);
    useServer(std::move(server), {});  // no device node: the library falls back to the ports
    expectComputedCounts(vktbench::Transport::kcs);
}

}  // namespace
