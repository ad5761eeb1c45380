// Provider of VKT_FRU: one instance with the board and product inventory of FRU device 0.
#include "Common.h"
#include "bounded.h"
#include "fru_util.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(FRUProvider, "VKT_FRU");

static const char* filterKeys[] = {"DeviceID", nullptr};

template <size_t N>
static void fillEmpty(char (&field)[N]) {
    if (field[0] == '\0') vkt::copyText(field, "NA");
}

static void FRUProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // A failed read is reported by the collector; the instance then repeats what the
    // records hold from the last successful read (or the placeholders).
    bmc_GetFRUList();

    // The placeholders go into the shared records themselves.
    fillEmpty(boardInfo.boardMfgDateTime);
    fillEmpty(boardInfo.manufacturerName);
    fillEmpty(boardInfo.productName);
    fillEmpty(boardInfo.boardSerialNumber);
    fillEmpty(boardInfo.boardPartNumber);
    fillEmpty(boardInfo.boardCustomer);
    fillEmpty(productInfo.productManufacturerName);
    fillEmpty(productInfo.productName);
    fillEmpty(productInfo.productPartModelNumber);
    fillEmpty(productInfo.productVersion);
    fillEmpty(productInfo.productSerialNumber);
    fillEmpty(productInfo.productAssetTag);

    vkt::InstanceBuilder inst(FRUProviderbroker, _ClassName, "deviceID", "FRU", properties, filterKeys);
    inst.set("VKT_BoardMfgDataTime", boardInfo.boardMfgDateTime);
    inst.set("VKT_BoardManufacturerName", boardInfo.manufacturerName);
    inst.set("VKT_BoardProductName", boardInfo.productName);
    inst.set("VKT_BoardSerialNumber", boardInfo.boardSerialNumber);
    inst.set("VKT_BoardPartNumber", boardInfo.boardPartNumber);
    inst.set("VKT_BoardCustomer", boardInfo.boardCustomer);
    inst.set("VKT_ProductManufacturerName", productInfo.productManufacturerName);
    inst.set("VKT_ProductName", productInfo.productName);
    inst.set("VKT_ProductPartModelNumber", productInfo.productPartModelNumber);
    inst.set("VKT_ProductVersion", productInfo.productVersion);
    inst.set("VKT_ProductSerialNumber", productInfo.productSerialNumber);
    inst.set("VKT_ProductAssetTag", productInfo.productAssetTag);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, FRUProviderbroker, rslt);
}
