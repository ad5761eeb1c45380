// Exported routines of the multi-node chassis: the node collector, the chassis controller's
// firmware update and its settings.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "entry_barrier.h"
#include "px_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

constexpr int collectAll = 0;
constexpr int collectTable = 1;
constexpr int collectField = 3;

int notMultiNode() {
    fputs("Not Pairex\n", stderr);
    return VKT_BMC_ABSENT;
}

// The result and message of a settings routine that reached a multi-node chassis; `verb` and
// `what` name the failed step ("set", "systempn").
int report(const PxOutcome& o, const char* verb, const char* what) {
    switch (o.result) {
        case PxResult::done:
            return VKT_BMC_OK;
        case PxResult::unknownField:
            fprintf(stderr, "Unknown chassis field \"%s\".\n", what != nullptr ? what : "");
            return VKT_BMC_BAD_ARGUMENT;
        case PxResult::badValue:
            fprintf(stderr, "Not a valid value for %s.\n", what != nullptr ? what : "");
            return VKT_BMC_BAD_ARGUMENT;
        case PxResult::badNode:
            fprintf(stderr, "Node ID %d is not a node of this chassis (1 to %d), nothing written.\n", o.nodeID,
                    o.nodeCount);
            return VKT_BMC_COMMAND_FAILED;
        case PxResult::commandFailed:
            fprintf(stderr, "Failed to %s %s, Completion Code=%02Xh\n", verb, what != nullptr ? what : "", o.cc);
            return VKT_BMC_COMMAND_FAILED;
    }
    return VKT_BMC_COMMAND_FAILED;
}

// Runs a settings routine (0 = not multi-node) and turns its outcome into the result code.
template <typename Routine>
int runSetting(const char* verb, const char* what, Routine&& routine) {
    PxOutcome outcome;
    if (routine(&outcome) == 0) return notMultiNode();
    return report(outcome, verb, what);
}

}  // namespace

int bmc_PXInfo(int type) {
    return vkt::entryBarrier(__func__, [&] {
        const bool table = type == collectAll || type == collectTable;
        // The table holds this collection's nodes only: rows of an earlier, larger chassis
        // or of a collection that failed must not be published as current.
        if (table) std::fill(std::begin(pxList), std::end(pxList), PXList{});
        if (!getPairexMCU()) return VKT_BMC_ABSENT;
        if (table) printFormatedString();
        if (type == collectAll || type == collectField) printFieldString();
        return VKT_BMC_OK;
    });
}

int bmcGetPXNodeID(void) {
    return vkt::entryBarrier(__func__, [&] {
        if (!isSupportPairexCommand()) return notMultiNode();
        return bmc_PXInfo(collectAll) == VKT_BMC_OK ? VKT_BMC_OK : notMultiNode();
    });
}

int bmc_MCUUpdate(const char* path) {
    return vkt::entryBarrier(__func__, [&] { return mcuUpdate(path) == 1 ? VKT_BMC_OK : VKT_BMC_COMMAND_FAILED; });
}

int bmc_SetPXField(const char* name, const char* value) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("set", name, [&](PxOutcome* o) { return setPXField(name, value, o); });
    });
}

int bmc_SetPXField2(const char* name, const char* value1, const char* value2) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("set", name, [&](PxOutcome* o) { return setPXField2(name, value1, value2, o); });
    });
}

int bmc_GetPXField(const char* name) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("get", name, [&](PxOutcome* o) { return getPXField(name, o); });
    });
}

int bmc_SetBPLocation(const char* text) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("set", "the backplane location", [&](PxOutcome* o) { return setPXBPLocation(text, o); });
    });
}

int bmc_GetBPLocation(void) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("get", "the backplane location", [&](PxOutcome* o) { return getPXBPLocation(o); });
    });
}

int bmc_SetChassisLocation(int argc, char* const argv[]) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("set", "the chassis location", [&](PxOutcome* o) { return setPXChassisLocation(argc, argv, o); });
    });
}

int bmc_GetChassisLocation(void) {
    return vkt::entryBarrier(__func__, [&] {
        return runSetting("get", "the chassis location", [&](PxOutcome* o) { return getPXChassisLocation(o); });
    });
}
