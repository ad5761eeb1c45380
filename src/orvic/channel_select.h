// The channel selector: offers each request image to the OpenIPMI device channel and falls
// back to the KCS port channel. It sits between dispatch and the two channels.
#ifndef VKT_CHANNEL_SELECT_H
#define VKT_CHANNEL_SELECT_H

// Carries one request image over the OpenIPMI device, else over the KCS ports. Returns 0
// with the response image in ResponseBuf (room for 128 bytes) and its length in
// resp_data_len. When no channel can carry the request, the image holds a completion code
// of its own (C3h once the current call gave up on a silent BMC, FFh when the kernel's
// driver owns the interface, C0h while another process holds the ports, C7h for an image
// that does not fit). Ends the process when not running as root (status 42) and when the
// port exchange times out or breaks the KCS protocol (status 21).
int kcs_Interface(unsigned char* RequestCmd, unsigned char* ResponseBuf, int kcs_ReqLength, int kcs_CurLength);

// Root check, cached for the life of the process: ends it with status 42 when not root.
void checkRootPermission();

#endif
