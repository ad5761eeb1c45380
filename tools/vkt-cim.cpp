// vkt-cim: enumerates the classes of libvarkoltprovider through the real library, the way
// a CIM object manager calls it, and prints the instances.
//
//   vkt-cim [--simulate[=SCENARIO] | --bmc-sim-vm HOST:PORT] [--kcs] [--record FILE] [--json]
//           enumerate CLASS|--all
//   vkt-cim classes
//
// On a host with a BMC it talks to the BMC (as root). With --simulate it runs the library
// against a simulated rack server (or plays a recording back), with --bmc-sim-vm against an
// external BMC simulator (OpenIPMI's ipmi_sim) reached over its VM serial protocol: the
// program restarts itself with the fake OpenIPMI device preloaded. --record does the same
// to record every exchange, also with the host's own BMC.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cimhost.h"
#include "common/sim_launch.h"

namespace {

using vkttools::jsonString;

const char* const usageHead =
    "usage: vkt-cim [--simulate[=SCENARIO] | --bmc-sim-vm HOST:PORT] [--kcs] [--record FILE] [--json]\n"
    "               enumerate CLASS|--all\n"
    "       vkt-cim classes\n"
    "\n"
    "  enumerate CLASS   enumerate one class (CIM class name or provider name)\n"
    "  enumerate --all   enumerate every class; on a real BMC the action classes, which\n"
    "                    change the BMC (LED, cold reset, fan mode...), are left out\n";
const char* const usageTail =
    "  --json            print the instances as JSON\n"
    "  --version         print the version\n"
    "  -h, --help        this help\n"
    "\n"
    "Exit status: 0 every class enumerated; 1 an enumeration failed or the recording is\n"
    "incomplete; 2 a usage error (the reason comes first), or a simulation that could not\n"
    "be started. The library itself ends the process with 42 when it does not run as root,\n"
    "and with 21 when the BMC's KCS interface does not answer or cannot be opened: there is\n"
    "no OpenIPMI device node (load the kernel's driver: modprobe ipmi_si ipmi_devintf) and\n"
    "the I/O ports gave no answer.\n"
    "\n"
    "Environment: VKT_PROVIDER_LIB overrides the path of libvarkoltprovider.so.1.\n";

void printUsage(FILE* out) {
    fputs(usageHead, out);
    fputs(vkttools::simOptionsHelp, out);
    fputs(usageTail, out);
}

// A usage error: the reason, then the usage, on standard error.
int usageError(const std::string& reason) {
    fprintf(stderr, "vkt-cim: %s\n\n", reason.c_str());
    printUsage(stderr);
    return 2;
}

// Why the command words do not make a command.
std::string commandProblem(const std::vector<std::string>& words) {
    if (words.empty()) return "no command given: enumerate CLASS|--all, or classes";
    const std::string& command = words[0];
    if (command == "classes") return "classes takes no arguments";
    if (command != "enumerate") {
        if (command.size() > 1 && command[0] == '-') return "unknown option " + command.substr(0, command.find('='));
        return "unknown command " + command + " (commands: enumerate, classes)";
    }
    if (words.size() == 1) return "enumerate needs a class name (see vkt-cim classes) or --all";
    return "enumerate takes one class name or --all, not " + std::to_string(words.size() - 1) + " words";
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

void printText(FILE* out, const cimhost::ProviderInfo& info, const cimhost::EnumResult& r) {
    if (r.instances.empty()) {
        fprintf(out, "# %s: no instances\n\n", info.className);
        return;
    }
    for (const cimhost::Instance& inst : r.instances) {
        fprintf(out, "%s\n", inst.path().c_str());
        for (const auto& p : inst.properties)
            fprintf(out, "    %s = %s\n", p.first.c_str(), p.second ? quoted(*p.second).c_str() : "NULL");
        fprintf(out, "\n");
    }
}

void printJson(FILE* out, const cimhost::ProviderInfo& info, const cimhost::EnumResult& r, bool first) {
    fprintf(out, "%s  {\"class\": %s, \"instances\": [", first ? "" : ",\n", jsonString(info.className).c_str());
    for (size_t i = 0; i < r.instances.size(); ++i) {
        const cimhost::Instance& inst = r.instances[i];
        fprintf(out, "%s\n    {\"path\": %s, \"keys\": {", i == 0 ? "" : ",", jsonString(inst.path()).c_str());
        for (size_t k = 0; k < inst.keys.size(); ++k)
            fprintf(out, "%s%s: %s", k == 0 ? "" : ", ", jsonString(inst.keys[k].first).c_str(),
                   jsonString(inst.keys[k].second).c_str());
        fprintf(out, "}, \"properties\": [");
        for (size_t k = 0; k < inst.properties.size(); ++k) {
            const auto& p = inst.properties[k];
            fprintf(out, "%s[%s, %s]", k == 0 ? "" : ", ", jsonString(p.first).c_str(),
                   p.second ? jsonString(*p.second).c_str() : "null");
        }
        fprintf(out, "]}");
    }
    fprintf(out, "%s]}", r.instances.empty() ? "" : "\n  ");
}

}  // namespace

int main(int argc, char** argv) {
    vkttools::SimOptions sim;
    bool json = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        const vkttools::OptionResult taken = vkttools::takeSimOption(argc, argv, i, sim, &error);
        if (taken == vkttools::OptionResult::error) {
            fprintf(stderr, "vkt-cim: %s\n", error.c_str());
            return 2;
        }
        if (taken == vkttools::OptionResult::taken) continue;
        const std::string a = argv[i];
        if (a == "--json") {
            json = true;
        } else if (a == "-h" || a == "--help") {
            printUsage(stdout);
            return 0;
        } else if (a == "--version") {
            printf("vkt-cim %s\n", VKT_VERSION);
            return 0;
        } else if (a.size() > 1 && a[0] == '-' && a != "--all") {
            return usageError("unknown option " + a.substr(0, a.find('=')));
        } else {
            words.push_back(a);
        }
    }

    if (words.size() == 1 && words[0] == "classes") {
        for (const cimhost::ProviderInfo& p : cimhost::providers())
            printf("%-28s %-22s %s\n", p.className, p.prefix, p.action ? "action" : "data");
        return 0;
    }
    if (words.size() != 2 || words[0] != "enumerate") return usageError(commandProblem(words));

    const std::string conflict = vkttools::checkSimOptions(sim);
    if (!conflict.empty()) {
        fprintf(stderr, "vkt-cim: %s\n", conflict.c_str());
        return 2;
    }
    const bool simulate = sim.simulate;
    std::string error;
    switch (vkttools::launchSimulation("vkt-cim", argv, sim, &error)) {
        case vkttools::Launch::go:
            break;
        case vkttools::Launch::restartFailed:
            return 2;
        case vkttools::Launch::notReady:
            // Going on would send the action classes to the real BMC.
            fprintf(stderr, "vkt-cim: %s; nothing was enumerated\n", error.c_str());
            return 2;
    }

    std::vector<const cimhost::ProviderInfo*> targets;
    if (words[1] == "--all") {
        for (const cimhost::ProviderInfo& p : cimhost::providers())
            if (simulate || !p.action) targets.push_back(&p);
        if (!simulate) fputs("vkt-cim: action classes left out (they act on the BMC); name one to run it\n", stderr);
    } else {
        const cimhost::ProviderInfo* p = cimhost::findProvider(words[1]);
        if (p == nullptr) {
            fprintf(stderr, "vkt-cim: unknown class \"%s\" (see: vkt-cim classes)\n", words[1].c_str());
            return 2;
        }
        targets.push_back(p);
    }

    std::string libPath = vkttools::providerLibrary();
    std::unique_ptr<cimhost::Host> host = cimhost::Host::load(libPath, &error);
    if (!host) {
        fprintf(stderr, "vkt-cim: cannot load %s: %s\n", libPath.c_str(), error.c_str());
        return 1;
    }

    // Keep the JSON document clean: whatever the library prints on standard output goes
    // to standard error meanwhile.
    FILE* out = stdout;
    if (json) {
        fflush(stdout);
        int fd = dup(1);
        out = fd >= 0 ? fdopen(fd, "w") : nullptr;
        if (out == nullptr) out = stdout;
        else dup2(2, 1);
    }

    int status = 0;
    if (json) fprintf(out, "[\n");
    for (size_t i = 0; i < targets.size(); ++i) {
        cimhost::EnumResult r = host->enumerate(targets[i]->prefix);
        fflush(stdout);
        if (r.rc != CMPI_RC_OK) {
            fprintf(stderr, "vkt-cim: %s: enumeration failed with status %d\n", targets[i]->className, static_cast<int>(r.rc));
            status = 1;
        }
        if (json)
            printJson(out, *targets[i], r, i == 0);
        else
            printText(out, *targets[i], r);
        fflush(out);
    }
    if (json) fprintf(out, "\n]\n");
    fflush(out);
    const std::string problem = vkttools::recordingProblem(sim);
    if (!problem.empty()) {
        fprintf(stderr, "vkt-cim: the recording is incomplete: %s\n", problem.c_str());
        status = 1;
    }
    return status;
}
