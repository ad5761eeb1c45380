// vktool: the operator's command-line tool over libvarkoltprovider's exported routines.
//
//   vktool [GLOBAL OPTIONS] SUBJECT ACTION [ARGUMENTS]
//
// Every action calls one exported routine (or the collector of a published table and
// reads that table) and exits with its result code, so scripts keep the library's
// meaning: 0 success, 11 a command failed, 12 a malformed or refused argument, 13 the
// feature is absent, 14 a bridging step failed. Arguments the tool itself refuses give
// 12, a change that was not confirmed 15, both before anything is sent to the BMC.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "common/sim_launch.h"
#include "console.h"
#include "progress.h"

namespace {

using vktool::GlobalSettings;

struct Globals {
    vkttools::SimOptions sim;
    GlobalSettings settings;
    bool help = false;
    bool version = false;
    bool completion = false;
};

int refuse(const std::string& message) {
    fprintf(stderr, "vktool: %s\n", message.c_str());
    return VKT_BMC_BAD_ARGUMENT;
}

// The options before SUBJECT; *next is the index of the first word after them.
int parseGlobals(int argc, char** argv, Globals* g, int* next) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.size() < 2 || a[0] != '-') break;
        std::string error;
        const vkttools::OptionResult sim = vkttools::takeSimOption(argc, argv, i, g->sim, &error);
        if (sim == vkttools::OptionResult::error) return refuse(error);
        if (sim == vkttools::OptionResult::taken) continue;
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--json") {
            g->settings.format = vktool::Format::json;
        } else if (a == "--format" || a.rfind("--format=", 0) == 0) {
            const bool inWord = a.size() > 8;
            if (!inWord && i + 1 >= argc) return refuse("--format needs FORMAT");
            const std::optional<vktool::Format> f = vktool::formatNamed(inWord ? a.substr(9) : argv[++i]);
            if (!f) return refuse("FORMAT must be text, json or openmetrics");
            g->settings.format = *f;
        } else if (a == "--yes") {
            g->settings.yes = true;
        } else if (a == "-q" || a == "--quiet") {
            g->settings.quiet = true;
        } else if (a == "--bash-completion") {
            g->completion = true;  // for the build: the completion script from the action table
        } else if (a == "--version") {
            g->version = true;
        } else if (a == "-h" || a == "--help") {
            g->help = true;
        } else if (a.rfind("--password", 0) == 0 || a == "-p" || a == "-P") {
            return refuse("a password is never taken from the command line (ps and the shell history would keep it)");
        } else {
            return refuse("unknown option " + a.substr(0, a.find('=')) + " (see vktool --help)");
        }
    }
    *next = i;
    return VKT_BMC_OK;
}

// "vktool help [SUBJECT [ACTION]]" and "--help" anywhere before the action's arguments.
int help(const std::vector<std::string>& words) {
    if (words.empty()) {
        vktool::printToolHelp(stdout);
        return VKT_BMC_OK;
    }
    const vktool::Subject* subject = vktool::findSubject(words[0]);
    if (subject == nullptr) return refuse("unknown subject " + words[0] + " (see vktool --help)");
    const vktool::Action* action = words.size() > 1 ? subject->find(words[1]) : nullptr;
    if (words.size() > 1 && action == nullptr)
        return refuse("unknown action " + words[1] + " of " + subject->name + " (see vktool " + subject->name +
                      " --help)");
    if (action != nullptr)
        vktool::printActionHelp(stdout, *subject, *action);
    else
        vktool::printSubjectHelp(stdout, *subject);
    return VKT_BMC_OK;
}

// The simulated server or the recording, when one was asked for: restart with the preload
// library, and make sure they are in place before anything is sent.
int prepareSimulation(char** argv, const vkttools::SimOptions& sim) {
    const std::string conflict = vkttools::checkSimOptions(sim);
    if (!conflict.empty()) return refuse(conflict);
    std::string error;
    switch (vkttools::launchSimulation("vktool", argv, sim, &error)) {
        case vkttools::Launch::go:
            return VKT_BMC_OK;
        case vkttools::Launch::restartFailed:
            return VKT_BMC_COMMAND_FAILED;
        case vkttools::Launch::notReady:
            break;
    }
    return refuse(error + "; nothing was sent");
}

// The OpenIPMI device nodes the library tries, in its order.
constexpr const char* deviceNodes[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};

constexpr int kcsFailureStatus = 21;

const char* const noDeviceHint =
    "vktool: there is no OpenIPMI device node (/dev/ipmi0, /dev/ipmi/0, /dev/ipmidev/0): the\n"
    "vktool: library talks to the BMC over its KCS I/O ports instead (as root), and the run ends\n"
    "vktool: with status 21 when they do not answer. To get the device node, load the kernel's\n"
    "vktool: IPMI driver: modprobe ipmi_si ipmi_devintf\n";

// Whether the library will find a device node: the simulated server serves one unless
// --kcs took it away; otherwise the host's own nodes count.
bool deviceNodePresent(const vkttools::SimOptions& sim) {
    if (sim.simulate) return !sim.kcs;
    for (const char* node : deviceNodes) {
        struct stat st {};
        if (stat(node, &st) == 0 && S_ISCHR(st.st_mode)) return true;
    }
    return false;
}

// The library ends the process itself when the ports do not answer; under --quiet the hint
// comes only then, so that status 21 is never left unexplained.
void explainKcsFailure(int status, void*) {
    if (status == kcsFailureStatus) fputs(noDeviceHint, stderr);
}

void hintWithoutDevice(const vkttools::SimOptions& sim, bool quiet) {
    // Not root: the library ends the run with 42 and says why before any port is touched.
    if (getuid() != 0 || deviceNodePresent(sim)) return;
    if (quiet)
        on_exit(explainKcsFailure, nullptr);
    else
        fputs(noDeviceHint, stderr);
}

int writeCompletion(const std::vector<std::string>& words) {
    FILE* out = stdout;
    if (!words.empty()) {
        // Never through a link someone may have planted at the name.
        const int fd = open(words[0].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
        out = fd >= 0 ? fdopen(fd, "w") : nullptr;
        if (out == nullptr) {
            if (fd >= 0) close(fd);
            return refuse("cannot write " + words[0]);
        }
    }
    vktool::writeBashCompletion(out);
    const bool written = fflush(out) == 0 && !ferror(out);
    if (out != stdout && fclose(out) != 0) return VKT_BMC_COMMAND_FAILED;
    return written ? VKT_BMC_OK : VKT_BMC_COMMAND_FAILED;
}

// An action that went well but whose exchanges did not all reach the recording asked for
// has not done all it was asked.
int checkRecording(const vkttools::SimOptions& sim, int rc) {
    const std::string problem = vkttools::recordingProblem(sim);
    if (problem.empty()) return rc;
    fprintf(stderr, "vktool: the recording is incomplete: %s\n", problem.c_str());
    return rc != VKT_BMC_OK ? rc : VKT_BMC_COMMAND_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
    Globals g;
    int next = 1;
    if (int rc = parseGlobals(argc, argv, &g, &next)) return rc;
    if (g.version) {
        printf("vktool %s\n", VKT_VERSION);
        return VKT_BMC_OK;
    }
    std::vector<std::string> words(argv + next, argv + argc);
    if (g.completion) return writeCompletion(words);
    if (!words.empty() && words[0] == "help") return help({words.begin() + 1, words.end()});
    if (g.help) return help({words.begin(), words.begin() + std::min<size_t>(words.size(), 2)});
    if (words.empty()) {
        vktool::printToolHelp(stderr);
        return VKT_BMC_BAD_ARGUMENT;
    }
    const vktool::Subject* subject = vktool::findSubject(words[0]);
    if (subject == nullptr) return refuse("unknown subject " + words[0] + " (see vktool --help)");
    if (words.size() < 2) {
        vktool::printSubjectHelp(stderr, *subject);
        return VKT_BMC_BAD_ARGUMENT;
    }
    if (words[1] == "-h" || words[1] == "--help") return help({words[0]});
    const vktool::Action* action = subject->find(words[1]);
    if (action == nullptr)
        return refuse("unknown action " + words[1] + " of " + subject->name + " (see vktool " + subject->name +
                      " --help)");

    vktool::Invocation inv(*subject, *action, g.settings);
    bool helpAsked = false;
    if (int rc = vktool::parseActionWords(inv, {words.begin() + 2, words.end()}, &helpAsked)) return rc;
    if (helpAsked) return help({words[0], words[1]});
    if (inv.has("--format") || g.settings.format != vktool::Format::text) {
        const vktool::Format asked = inv.has("--format") ? *vktool::formatNamed(inv.option("--format"))
                                                         : g.settings.format;
        if (asked == vktool::Format::openmetrics && (action->flags & vktool::metricsAction) == 0)
            return inv.refuse("--format openmetrics is offered by sensor list, power modules and power batteries");
    }
    if (int rc = prepareSimulation(argv, g.sim)) return rc;

    vktool::console::install(inv.format() != vktool::Format::text);
    if ((action->flags & vktool::sendsNothing) == 0) hintWithoutDevice(g.sim, inv.quiet());
    if ((action->flags & vktool::showsProgress) != 0) vktool::progress::start(inv.quiet());
    const int rc = action->run(inv);
    vktool::console::endLine();
    vktool::progress::finish(rc);
    return checkRecording(g.sim, rc);
}
