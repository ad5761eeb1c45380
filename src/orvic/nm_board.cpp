// The BMC's own identity as VKT_NM publishes it: board model (from the product ID), firmware
// build time and firmware version.
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "nm_util.h"
#include "sel_util.h"
#include "smipmi.h"

BYTE productID[2];
const char* boardID = nullptr;
char firmwareBuildTime[20];
char firmwareVersion[20];

namespace {

constexpr BYTE oemBuildTime = 0x09;

// The model of a board ID in the event decoding's board list, or null.
const char* findBoard(BYTE high, BYTE low) {
    for (size_t i = 0; i < vkt_board_id_count; ++i)
        if (vkt_board_id[i].ms == high && vkt_board_id[i].ls == low) return vkt_board_id[i].board_name;
    return nullptr;
}

}  // namespace

BYTE getProductIDCommand() {
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnOem, vkt::oemSystemInfo);
    if (!r.ok()) {
        productID[0] = 0;
        productID[1] = 0;
        return r.cc;
    }
    const WORD id = vkt::SystemInfoReply::decode(r.view()).boardId;
    productID[0] = static_cast<BYTE>(id & 0xFF);
    productID[1] = static_cast<BYTE>(id >> 8);
    return r.cc;
}

// The BMC sends the ID low byte first; a lookup that finds nothing tries the bytes the
// other way round too.
BYTE getBoardModel() {
    const BYTE cc = getProductIDCommand();
    if (cc != vkt::ccSuccess) return cc;
    const char* model = findBoard(productID[1], productID[0]);
    if (model == nullptr) model = findBoard(productID[0], productID[1]);
    if (model != nullptr) boardID = model;
    return cc;
}

BYTE getFirmwareBuildTimeCommand() {
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnOem3E, oemBuildTime);
    if (!r.ok()) return r.cc;
    const vkt::BuildTimeReply built = vkt::BuildTimeReply::decode(r.view());
    memset(firmwareBuildTime, 0, sizeof firmwareBuildTime);
    vkt::copyText(firmwareBuildTime, built.text.data(), built.text.size());
    return r.cc;
}

BYTE getFirmwareBuildTime() { return getFirmwareBuildTimeCommand(); }

BYTE getFirmwareVersion() {
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnApp, vkt::cmdGetDeviceId);
    if (!r.ok()) return r.cc;
    const vkt::DeviceIdReply id = vkt::DeviceIdReply::decode(r.view());
    VKT_FORMAT(firmwareVersion, "%x.%x", id.firmware1, id.firmware2);
    return r.cc;
}
