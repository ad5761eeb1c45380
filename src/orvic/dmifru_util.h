// The IPMI side of the command-line utilities: BMC maintenance (factory defaults, SEL
// clear, self test), host reset with a one-time boot device, raw requests, SDR record
// deletion, the SDR and FRU version tags, the configuration file transfer steps and the
// NVMe add-on card queries. Each command routine returns the completion code of its
// request.
#ifndef VKT_DMIFRU_UTIL_H
#define VKT_DMIFRU_UTIL_H

#include "ipmi_defs.h"
#include "vkt_types.h"

namespace vkt {

// OEM commands of the BMC's maintenance functions.
constexpr BYTE oemFactoryDefault = 0x40;
constexpr BYTE oemFactoryDefaultAll = 0x41;
constexpr BYTE oemFactoryDefaultLan = 0x42;
constexpr BYTE oemTagsAndDrives = 0x70;  // version tags and NVMe add-on cards
constexpr BYTE oemFileTransfer = 0xA0;   // configuration file transfer

// Chassis commands.
constexpr BYTE cmdChassisControl = 0x02;
constexpr BYTE cmdSetSystemBootOptions = 0x08;
constexpr BYTE chassisHardReset = 0x03;
constexpr BYTE chassisSoftShutdown = 0x05;  // through ACPI

// Storage commands.
constexpr BYTE cmdDeleteSdr = 0x26;
constexpr BYTE cmdClearSel = 0x47;

// Boot device indexes: 0 leaves the boot options alone.
constexpr int bootIndexNone = 0;
constexpr int bootIndexLast = 9;

// Largest value an SDR record ID can take.
constexpr int sdrRecordIdMax = 0xFFFF;

}  // namespace vkt

// ---- BMC maintenance ---------------------------------------------------------------------

BYTE ipmi20PlusVendderFactory();
BYTE ipmi20PlusVendderFactoryAll();
BYTE ipmi20PlusVendderFactoryLan();
// Clear SEL with the reservation in selReserveID: starts the erase, does not wait for it.
BYTE clearAllSEL();
// Get Self Test Results; `resp` receives the two result bytes (00h for a byte not sent).
BYTE getSelfTest(BYTE* resp);

// Sets the one-time boot device of `index` (1 to 9; 0 sends no boot options), then asks
// for a hard reset / a soft shutdown of the host. An index outside 0 to 9 prints
// "Index out of bound! (0~9)" and sends nothing (C9h). Otherwise the completion code of
// the first request that failed, or of the chassis control.
BYTE rebootFromDevice(int index);
BYTE softShutDown(int index);

// ---- raw requests, SDR deletion, version tags --------------------------------------------

// Sends the request that the command words describe: argv[0] the network function,
// argv[1] the command, then argc - 4 data words (`argc` counts two words before argv).
// Words are hexadecimal; data words are reduced to their low byte. `respBuf` receives up
// to 125 response bytes. A request that cannot be sent as written (too few or too many
// words, a word that is no hexadecimal number, a network function above 3Fh or a command
// above FFh) sends nothing and returns C9h with `*respLength` 0; `rawRequestError`
// then says why.
BYTE exec_raw_cmd(int argc, char** argv, BYTE* respBuf, DWORD* respLength);
extern const char* rawRequestError;

// Reserves the SDR repository (a refused reservation leaves the previous one to be sent)
// and deletes the record. IDs outside 0 to FFFFh send nothing (C9h).
BYTE deleteSDRRecord(int recordID);

// The two-byte version tags of the SDR and FRU data, major byte first, as last read.
extern BYTE sdrVer[2];
extern BYTE fruVer[2];
BYTE getSDRVer();
BYTE setSDRVer(BYTE major, BYTE minor);
BYTE getFRUVer();
BYTE setFRUVer(BYTE major, BYTE minor);

// ---- configuration file transfer ---------------------------------------------------------

namespace vkt {
constexpr size_t transferPieceSize = 32;  // bytes moved by one upload or download step
}  // namespace vkt

// Value `v` as 4 / 2 bytes, least significant first.
void longTo4Bytes(DWORD v, BYTE* out);
void longTo2Bytes(DWORD v, BYTE* out);

// Completion code 0 means the BMC has the transfer feature.
BYTE getBIOSNVUpdateStatus();
BYTE getUploadResvID(BYTE* reservation);  // 2 bytes
BYTE startFileUpload(const BYTE* reservation, DWORD size);
BYTE fileUpload(const BYTE* reservation, DWORD offset, const BYTE* data, BYTE count);
BYTE applyFile(const BYTE* reservation, BYTE fileType);
BYTE prepareFileDownload(BYTE fileType, BYTE* handle);  // 2 bytes
// `ready` is set when the file is ready; then `size` holds its length and `sizeKnown`
// tells whether the BMC sent all four size bytes.
BYTE prepareFileDownloadDone(const BYTE* handle, bool* ready, DWORD* size, bool* sizeKnown);
// Reads `count` bytes at `offset` into `data`; `*received` is the number the BMC sent.
BYTE fileDownload(const BYTE* handle, DWORD offset, BYTE count, BYTE* data, DWORD* received);
BYTE fileDownloadDone(const BYTE* handle);

// ---- NVMe drives behind the add-on cards -------------------------------------------------

namespace vkt {
constexpr int nvmeCardCount = 2;   // add-on cards 0 and 1
constexpr int nvmeSlotCount = 16;  // slots 0 to 15 per card
}  // namespace vkt

// Response data byte `index` of the card's status answer (00h when the query failed or
// the byte was not sent): 2, 3 locate bitmaps; 4, 5 presence bitmaps; 6, 7 CPLD version.
BYTE nvmeDetect(int card, int index);
// Prints the drive's locate state; nothing for a slot outside 0 to 15 or a failed query.
void nvmeLocateStatus(int card, int slot);
// GT/s of a PCIe link speed code (1, 2, 3); 0 for any other code.
float nvmeSpeedMapping(BYTE code);
BYTE nvmeList();
BYTE nvmeInfo(int card, int slot);
// Sends the management request {6Ch, 01h, b, c, a}. Arguments outside 0 to 255 send
// nothing (C9h).
BYTE nvmeManagement(int a, int b, int c);

#endif
