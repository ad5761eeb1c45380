// The channel selector and the KCS port channel.
#ifndef VKT_KCS_LINUX_H
#define VKT_KCS_LINUX_H

constexpr int kcsDataPortA = 0xCA2;
constexpr int kcsStatusPortA = 0xCA3;
constexpr int kcsDataPortB = 0xCA8;
constexpr int kcsStatusPortB = 0xCAC;

extern int KCS_DATA;
extern int KCS_STATUS;

// Carries one request image over the OpenIPMI device, else over the KCS ports. Returns 0
// with the response image in ResponseBuf and its length in resp_data_len. Ends the process
// when not running as root.
int kcs_Interface(unsigned char* RequestCmd, unsigned char* ResponseBuf, int kcs_ReqLength, int kcs_CurLength);

// The interface probe chooses the port pair before each of its attempts.
void kcs_SelectPorts(int dataPort, int statusPort);
// Called when no probe attempt found a BMC.
void kcs_ProbeFailed();

// Root check, cached for the life of the process: ends it with status 42 when not root.
void checkRootPermission();

#endif
