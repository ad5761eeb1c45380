/* Exported configuration and collection routines of libvarkoltprovider.
 *
 * Every routine returns one of the result codes below and prints its own progress and
 * failure messages (report lines on standard output, failures on standard error).
 * The routines share the library's process-wide state with the CIM providers: call them
 * one at a time. The process must run as root.
 */
#ifndef VARKOLT_BMC_H
#define VARKOLT_BMC_H

#if defined(__GNUC__)
#define VKT_API __attribute__((visibility("default")))
#else
#define VKT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define VKT_BMC_OK 0              /* success */
#define VKT_BMC_COMMAND_FAILED 11 /* an IPMI command failed, or the change was refused */
#define VKT_BMC_BAD_ARGUMENT 12   /* a text argument is malformed */
#define VKT_BMC_ABSENT 13         /* the feature is absent on this server */
#define VKT_BMC_BRIDGE_FAILED 14  /* a bridging step failed */

/* ---- Progress of long operations ------------------------------------------------- */
/* What a progress report counts. Each report says that `done` of `total` units are behind
 * the operation; a step that cannot tell its total gives 0. */
#define VKT_PROGRESS_FIRMWARE_RECORDS 1 /* bmc_MCUUpdate: records of the file sent to the loader */
#define VKT_PROGRESS_FIRMWARE_FINISH 2  /* bmc_MCUUpdate: seconds (of 10) the loader gets before the end record */
#define VKT_PROGRESS_FRU_READ 3         /* bytes of the FRU image read */
#define VKT_PROGRESS_FRU_WRITE 4        /* bytes of the FRU image written (restore, field changes) */
#define VKT_PROGRESS_CONFIG_PREPARE 5   /* bmc_ConfigurationDownload: seconds (of 28) waited while the BMC prepares */
#define VKT_PROGRESS_CONFIG_DOWNLOAD 6  /* bmc_ConfigurationDownload: bytes of the file received */
#define VKT_PROGRESS_CONFIG_UPLOAD 7    /* bmc_ConfigurationUpload: bytes of the file sent */
#define VKT_PROGRESS_LAN_SETTLE 8       /* LAN address changes: seconds (of 6) before the read-back */
#define VKT_PROGRESS_BMC_WAKEUP 9       /* waitBMCWakeup: seconds (of 99) waited for the restarting BMC */

/* Called by the library at each step of a long operation, from the thread that called the
 * routine and while the library holds its lock: it must return quickly, must not call
 * the library's routines, and must not throw. */
typedef void (*bmc_ProgressHandler)(void* context, int what, long done, long total);

/* Installs `handler` (null removes it), called with `context` from then on. Returns 0.
 * The library's own report lines are the same with or without a handler. */
VKT_API int bmc_SetProgressHandler(bmc_ProgressHandler handler, void* context);

/* ---- Sensors -------------------------------------------------------------------- */
/* Reads the SDR repository and evaluates every sensor into the library's sensor table:
 * 0, or 11 when the repository could not be read (a message on standard error names the
 * failed step; the table keeps its earlier content). */
VKT_API int bmc_GetSDR(void);

/* ---- System event log ------------------------------------------------------------ */
/* Read the log's summary / all its entries (at most 1024, the first 512 of them decoded)
 * into the texts the SEL providers publish. 0, or 11 when a command failed (the message
 * is on standard error and the earlier texts stay in place). */
VKT_API int bmc_GetSELInfo(void);
VKT_API int bmc_GetSELList(void);


/* ---- FRU inventory ---------------------------------------------------------------- */

/* Reads and parses the FRU image of FRU device 0 (the collector of VKT_FRU). */
VKT_API int bmc_GetFRUList(void);
/* Copies the FRU image into a binary file / writes such a file back into the FRU. A file
 * larger than the FRU area is refused (11) before the FRU is unlocked. */
VKT_API int bmc_BackupFRU(const char* path);
VKT_API int bmc_RestoreFRU(const char* path);
/* The same with an annotated text listing of the image's bytes. A listing whose texts,
 * area lengths or checksums do not agree (edited by hand without keeping them in step) is
 * refused (11) before the FRU is unlocked. */
VKT_API int bmc_BackupFRUToText(const char* path);
VKT_API int bmc_RestoreFRUFromText(const char* path);
/* Changes one field and rewrites the image. Codes (any case): ct cp cs (chassis type in
 * hexadecimal, part, serial), bdt bm bpn bs bp bv (board date YYYYMMDDhhmm, manufacturer,
 * product, serial, part, custom), pm pn ppm pv ps pat (product manufacturer, name,
 * part/model, version, serial, asset tag). 12, with nothing read or written, for an
 * unknown code or a malformed value: a date that is not a valid YYYYMMDDhhmm from 1996 to
 * late 2027, a "bv" text of one character or holding a C1h byte (it would not read back).
 * 11, with nothing written, when the rebuilt image would change a field not named, lose
 * data the records cannot hold, or not fit the FRU area. */
VKT_API int bmc_SetFRUField(const char* code, const char* value);
/* Reads and parses the FRU image; prints nothing. */
VKT_API int bmc_GetFRUField(const char* code);
/* Sets pm pn ppm pv ps pat bdt bm bpn bp bs ct cp cs (in this order; a null argument leaves
 * its field as it is) and rewrites the image as bmc_SetFRUField does. */
VKT_API int bmc_DMIToFRU(const char* productManufacturer, const char* productName, const char* productPartModel,
                         const char* productVersion, const char* productSerial, const char* productAssetTag,
                         const char* boardMfgDateTime, const char* boardManufacturer, const char* boardProductName,
                         const char* boardPartNumber, const char* boardSerial, const char* chassisType,
                         const char* chassisPart, const char* chassisSerial);


/* ---- Power supplies ----------------------------------------------------------------- */
/* Probe and read the PMBus power modules / the battery backup modules on the BMC's private
 * bus into the texts VKT_PMBus / VKT_PMBusBBP publish. `*paraModuleCount` (when not null)
 * receives the number of modules found; 13 with a message on standard error when none. */
VKT_API int bmc_GetPMBusInfo(int* paraModuleCount);
VKT_API int bmc_GetBatteryInfo(int* paraModuleCount);
/* Battery module 1-4: start a discharge now / discharge automatically every `days` days
 * (0-63; 12 otherwise, nothing is written). 13 when the module is not a battery that
 * answers, 11 when the module refused or could not be read. */
VKT_API int bmc_Discharge(int module);
VKT_API int bmc_AutoDischarge(int module, int days);


/* ---- LAN configuration ------------------------------------------------------------- */
/* Address changes are refused (11) while the BMC takes its address from DHCP; a text that
 * is no address gives 12. A change is read back after the BMC has settled (six seconds). */
VKT_API int bmc_SetIP(const char* text);         /* "192.0.2.10" */
VKT_API int bmc_SetSubnetMask(const char* text); /* "255.255.255.0" */
VKT_API int bmc_SetGWIP(const char* text);       /* "192.0.2.1" */
VKT_API int bmc_SetMac(const char* text);        /* "00:00:5E:00:53:10" or "00005E005310" */
VKT_API int bmc_SetDHCPStatus(int enable);       /* 1 = DHCP, otherwise static */
VKT_API int bmc_SetGratuitousARP(int enable);    /* 1 = enable, otherwise disable */
VKT_API int bmc_SetVLan(int enable, int tag);    /* tag 1..4095 replaces the ID, <= 0 keeps it */
VKT_API int bmc_GetVLan(void);
VKT_API int bmc_GetIPandMac(void);
VKT_API int bmc_GetGWIP(void);
VKT_API int bmc_GetSubnetMask(void);
VKT_API int bmc_GetDHCPStatus(void);


/* ---- User accounts ----------------------------------------------------------------- */
/* Accounts on LAN channel 1. Names are cut to 16 bytes and passwords to 20; levels are
 * 4 Administrator, 3 Operator, 2 User, 1 Callback, 15 No Access. A user ID outside 1..63
 * is refused with 11 before anything is sent (the BMC would take its low six bits and
 * change another account). */
VKT_API int bmc_GetUserList(void);
VKT_API int bmc_AddUser(unsigned char uid, const char* name, const char* password, int level);
VKT_API int bmc_DelUser(unsigned char uid);
VKT_API int bmc_SetUserPassword(unsigned char uid, const char* password);
VKT_API int bmc_SetUserLevel(unsigned char uid, unsigned char level);
VKT_API int bmc_GetUserLevel(void);


/* ---- BMC maintenance ----------------------------------------------------------------- */
/* Set to 1 before a reset routine to have it wait for the BMC to come back (up to about 100
 * seconds, probing from the 60th); the wait sets it back to 0. */
VKT_API extern int waitBMCWakeupFlag;
/* Waits for a restarting BMC: 0 once it answers, 11 when it did not come back. */
VKT_API int waitBMCWakeup(void);
VKT_API int bmc_ColdReset(void);
/* Factory defaults through the BMC's three OEM commands (general, everything, LAN). */
VKT_API int bmc_FactoryDefault(void);
VKT_API int bmc_FactoryDefaultAll(void);
VKT_API int bmc_FactoryDefaultLan(void);
/* Starts erasing the event log (the BMC completes it in the background). */
VKT_API int bmc_ClearAllSEL(void);
VKT_API int bmc_GetSelfTest(void);
VKT_API int bmc_GetFirmwareRevision(void);
/* Hard reset / soft shutdown of the host. index 1-9 sets a one-time boot device first:
 * 1 PXE, 2 hard drive, 3 CD/DVD, 4 BIOS setup, 5 remote media, 6 remote hard drive,
 * 7 remote floppy or removable media, 8 remote CD/DVD, 9 remote media (EFI); 0 none.
 * Any other index is refused (11) before anything is sent. */
VKT_API int bmc_SystemReset(int index);
VKT_API int bmc_SystemSoftShutDown(int index);

/* ---- Identify LED, chassis intrusion, fan mode -------------------------------------------- */
/* The requests the action classes VKT_OPEN_LED / VKT_ClOSE_LED, VKT_ClearChassisIntrusion
 * and VKT_SetFanModeTo* send, byte for byte. 0 with a line on standard output when the BMC
 * accepted the request; 11 with its completion code on standard error when it did not. */
VKT_API int bmc_SetIdentifyLED(int on); /* nonzero switches the LED on, 0 off */
VKT_API int bmc_ClearChassisIntrusion(void);
/* Modes: 0 Standard, 1 Full, 2 Optimal, 3 PUE2 Optimal, 4 Heavy IO, 5 PUE3 Optimal; any
 * other is refused (12) before anything is sent. */
VKT_API int bmc_SetFanMode(int mode);

/* ---- Raw requests, SDR records, version tags --------------------------------------------- */
/* argc counts two words before argv; argv holds the network function (at most 3F), the
 * command (at most FF) and up to 126 data bytes, all hexadecimal. Prints the answer's data
 * bytes. 12, with nothing sent, for a request that cannot be sent as written. */
VKT_API int bmc_ExecRawCmd(int argc, char** argv);
VKT_API int bmc_DeleteSDRRecord(int recordID); /* 0..65535, otherwise 12 */
VKT_API int bmc_GetSDRVer(void);
VKT_API int bmc_SetSDRVer(unsigned char major, unsigned char minor);
VKT_API int bmc_GetFRUVer(void);
VKT_API int bmc_SetFRUVer(unsigned char major, unsigned char minor);

/* ---- Configuration file ------------------------------------------------------------------ */
/* Saves the BMC's configuration file of the given type (0..255) into `path`, or loads a
 * file into the BMC, which then restarts. 13 when the BMC has no transfer feature. A failed
 * download leaves an existing file at `path` as it was. */
VKT_API int bmc_ConfigurationDownload(const char* path, short fileType);
VKT_API int bmc_ConfigurationUpload(const char* path, unsigned char fileType);

/* ---- NVMe drives --------------------------------------------------------------------------- */
/* Drives behind the add-on cards 0 and 1, slots 0..15. */
VKT_API int bmc_nvmeList(void);
VKT_API int bmc_nvmeInfo(int card, int slot);
/* Sends the management request {6Ch, 01h, b, c, a}; each argument 0..255, otherwise 12. */
VKT_API int bmc_nvme(int a, int b, int c);


/* ---- Node Manager ------------------------------------------------------------------ */
/* Requests to the Intel Management Engine (ME), which sits behind the BMC on IPMB and is
 * found through its record in the SDR repository. 13 when the repository has no such
 * record ("Slave address and channel of ME device is not found."), 14 when the BMC did not
 * carry a request to the ME or its answer back, 11 when a command failed. */
/* Reads the ME's identity (firmware version, platform, Node Manager revision, image) into
 * the texts that VKT_NM publishes. */
VKT_API int bmc_GetDeviceID(void);
/* Only locates the ME. */
VKT_API int bmc_GetNMSDR(void);
/* Read into the library's buffers: the host CPU data; with the CPU count it reports, each
 * socket's maximum junction temperature (at most 8 sockets) and the CPU and memory
 * temperatures; the ME's self test, its SEL time, and the information on images 0-2. */
VKT_API int bmc_GetHostCPUData(void);
VKT_API int bmc_CPUMemTemp(void);
VKT_API int bmc_NMSelfTest(void);
VKT_API int bmc_GetSELTime(void);
VKT_API int bmc_ListImagesInfo(void);
/* Print the current maximum allowed P-state / T-state and the number of states. */
VKT_API int bmc_GetPState(void);
VKT_API int bmc_GetTState(void);
/* Reset the ME / reset it to its defaults / force it into update mode; print "Done.". */
VKT_API int bmc_NMReset(void);
VKT_API int bmc_NMReset2Default(void);
VKT_API int bmc_NMUpdateMode(void);
/* Two OEM readings of the BMC itself (temperature, power level); not bridged. */
VKT_API int bmc_OEMGetTemp(void);
VKT_API int bmc_OEMGetPower(void);
/* ---- Multi-node chassis ------------------------------------------------------------- */
/* Reads the chassis controller of a multi-node chassis into the tables that VKT_PXInfo and
 * VKT_PXList publish: 0, or 13 when the server is not part of a multi-node chassis. `type`
 * 0 builds the node table and the current node's label, 1 only the table, 3 only the
 * label, 2 neither. Prints nothing. */
VKT_API int bmc_PXInfo(int type);
/* Runs that collection for the current node's ID: 0, or 13 with "Not Pairex". */
VKT_API int bmcGetPXNodeID(void);
/* Loads the chassis controller's firmware from a Motorola S-record file (S0 header, S1
 * records, S9 end; every record's checksum is checked before the controller is touched):
 * 0, or 11 when the file was refused, the chassis is not multi-node or the load failed.
 * Prints nothing; takes at least ten seconds. */
VKT_API int bmc_MCUUpdate(const char* path);
/* Writes a chassis field (name in any case): systemname (20 characters), systempn,
 * systemsn, chassispn, chassissn, backplanepn, backplanesn (24 each; longer texts are cut),
 * bpnID (hexadecimal byte), configid (decimal 0-255), nodepn, nodesn (the current node's,
 * 24 characters). bmc_SetPXField2 takes "bpnrevision" with major and minor in hexadecimal.
 * 0; 12 for an unknown field or a malformed value; 11 when the controller refused the write
 * or the current node ID is not one of the chassis's nodes (nothing is written then); 13
 * with "Not Pairex" on standard error when the chassis is not multi-node. */
VKT_API int bmc_SetPXField(const char* name, const char* value);
VKT_API int bmc_SetPXField2(const char* name, const char* value1, const char* value2);
/* Reads a field named as above (also "bpnrevision"); prints nothing. Codes as above. */
VKT_API int bmc_GetPXField(const char* name);
/* Backplane location: "1" right-hand (01h), "2" left-hand (10h), otherwise the code in
 * hexadecimal. */
VKT_API int bmc_SetBPLocation(const char* text);
VKT_API int bmc_GetBPLocation(void);
/* Chassis location: argv[3] to argv[7], each a hexadecimal byte, to the controller's five
 * location bytes; arguments beyond argc write 00h. Nothing is written when one is malformed. */
VKT_API int bmc_SetChassisLocation(int argc, char* const argv[]);
VKT_API int bmc_GetChassisLocation(void);


#ifdef __cplusplus
}
#endif

#endif
