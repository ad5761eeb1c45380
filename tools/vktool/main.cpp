// vktool: the operator's command-line tool over libvarkoltprovider's exported routines.
//
//   vktool [GLOBAL OPTIONS] SUBJECT ACTION [ARGUMENTS]
//
// Every action calls one exported routine (or the collector of a published table and
// reads that table) and exits with its result code, so scripts keep the library's
// meaning: 0 success, 11 a command failed, 12 a malformed or refused argument, 13 the
// feature is absent, 14 a bridging step failed. Arguments the tool itself refuses give
// 12 before anything is sent to the BMC.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "common/sim_launch.h"
#include "console.h"

namespace {

using vktool::GlobalSettings;

struct Globals {
    vkttools::SimOptions sim;
    GlobalSettings settings;
    bool help = false;
    bool version = false;
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
            g->settings.json = true;
        } else if (a == "--yes") {
            g->settings.yes = true;
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
    if (int rc = prepareSimulation(argv, g.sim)) return rc;

    vktool::console::install(inv.json());
    const int rc = action->run(inv);
    vktool::console::endLine();
    return checkRecording(g.sim, rc);
}
