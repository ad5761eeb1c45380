// vkt-ipmisim: runs OpenIPMI's ipmi_sim with the cross-check scenario until interrupted,
// to try the library and the peers against it by hand:
//
//   build/bin/vkt-ipmisim [SCENARIO_DIR]
//   build/bin/vkt-cim --bmc-sim-vm 127.0.0.1:PORT enumerate --all     (in another shell)
#include <signal.h>

#include <cstdio>
#include <string>

#include "ipmisim_harness.h"

int main(int argc, char** argv) {
    using testkit::ipmisim::Simulator;
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        fprintf(stderr, "usage: vkt-ipmisim [SCENARIO_DIR]   (default %s)\n", VKT_SCENARIO_DIR);
        return 2;
    }
    testkit::ipmisim::ToolCheck tools = testkit::ipmisim::checkTools();
    if (!tools.ok()) {
        fprintf(stderr, "vkt-ipmisim: %s\n", tools.message().c_str());
        return 1;
    }
    // Block the stop signals before the simulator starts, then wait for one of them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    sigprocmask(SIG_BLOCK, &stop, nullptr);

    Simulator::Options options;
    options.scenarioDir = argc == 2 ? argv[1] : VKT_SCENARIO_DIR;
    std::string error;
    std::unique_ptr<Simulator> sim = Simulator::start(options, &error);
    if (!sim) {
        fprintf(stderr, "vkt-ipmisim: %s\n", error.c_str());
        return 1;
    }
    printf("ipmi_sim running (pid %d), scratch directory %s\n", static_cast<int>(sim->pid()), sim->scratchDir().c_str());
    printf("  library:  vkt-cim --bmc-sim-vm %s enumerate --all\n", sim->vmAddress().c_str());
    printf("  ipmitool: ipmitool -I lanplus -H 127.0.0.1 -p %u -U %s -P %s -C 3 sdr elist\n", sim->lanPort(),
           sim->user().c_str(), sim->password().c_str());
    printf("  console:  emulator commands on 127.0.0.1:%u\n", sim->consolePort());
    printf("Interrupt (Ctrl-C) to stop.\n");
    fflush(stdout);
    int sig = 0;
    sigwait(&stop, &sig);
    sim->stop();
    return 0;
}
