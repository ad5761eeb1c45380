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
/* Copies the FRU image into a binary file / writes such a file back into the FRU. */
VKT_API int bmc_BackupFRU(const char* path);
VKT_API int bmc_RestoreFRU(const char* path);
/* The same with an annotated text listing of the image's bytes. */
VKT_API int bmc_BackupFRUToText(const char* path);
VKT_API int bmc_RestoreFRUFromText(const char* path);
/* Changes one field and rewrites the image. Codes (any case): ct cp cs (chassis type in
 * hexadecimal, part, serial), bdt bm bpn bs bp bv (board date YYYYMMDDhhmm, manufacturer,
 * product, serial, part, custom), pm pn ppm pv ps pat (product manufacturer, name,
 * part/model, version, serial, asset tag). 12 for an unknown code or a malformed value. */
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
 * 4 Administrator, 3 Operator, 2 User, 1 Callback, 15 No Access. */
VKT_API int bmc_GetUserList(void);
VKT_API int bmc_AddUser(unsigned char uid, const char* name, const char* password, int level);
VKT_API int bmc_DelUser(unsigned char uid);
VKT_API int bmc_SetUserPassword(unsigned char uid, const char* password);
VKT_API int bmc_SetUserLevel(unsigned char uid, unsigned char level);
VKT_API int bmc_GetUserLevel(void);


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
