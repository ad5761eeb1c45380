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


/* ---- System event log ------------------------------------------------------------ */
/* Read the log's summary / all its entries (at most 1024, the first 512 of them decoded)
 * into the texts the SEL providers publish. 0, or 11 when a command failed (the message
 * is on standard error and the earlier texts stay in place). */
VKT_API int bmc_GetSELInfo(void);
VKT_API int bmc_GetSELList(void);


/* ---- FRU inventory ---------------------------------------------------------------- */


/* ---- LAN configuration ------------------------------------------------------------- */


/* ---- User accounts ----------------------------------------------------------------- */


#ifdef __cplusplus
}
#endif

#endif
