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


/* ---- FRU inventory ---------------------------------------------------------------- */


/* ---- LAN configuration ------------------------------------------------------------- */


/* ---- User accounts ----------------------------------------------------------------- */


#ifdef __cplusplus
}
#endif

#endif
