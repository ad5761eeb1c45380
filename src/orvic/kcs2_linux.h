// The Linux OpenIPMI device channel. It knows nothing above itself: the channel selector
// hands it request images, and it answers through its parameters.
#ifndef VKT_KCS2_LINUX_H
#define VKT_KCS2_LINUX_H

#include <stdint.h>

struct ipmi_rs;
struct ipmi_rq;

struct ipmi_intf {
    char name[16];
    char desc[128];
    int fd;
    int opened;
    int abort;
    int noanswer;
    void* session;
    void* oem;
    void* cmdlist;
    uint32_t my_addr;
    uint32_t target_addr;
    uint8_t target_lun;
    uint8_t target_channel;
    uint32_t transit_addr;
    uint8_t transit_channel;
    uint8_t devnum;
    int (*setup)(ipmi_intf* intf);
    int (*open)(ipmi_intf* intf);
    void (*close)(ipmi_intf* intf);
    ipmi_rs* (*sendrecv)(ipmi_intf* intf, ipmi_rq* req);
    int (*sendrsp)(ipmi_intf* intf, void* rsp);
    void* (*recv_sol)(ipmi_intf* intf);
    void* (*send_sol)(ipmi_intf* intf, void* payload);
    int (*keepalive)(ipmi_intf* intf);
};

struct ipmi_rq {
    struct {
        uint8_t netfn : 6;
        uint8_t lun : 2;
        uint8_t cmd;
        uint8_t target_cmd;
        uint16_t data_len;
        uint8_t* data;
    } msg;
};

struct ipmi_rs {
    uint8_t ccode;
    uint8_t data[1024];
    int data_len;
    struct {
        uint8_t netfn;
        uint8_t cmd;
        uint8_t seq;
        uint8_t lun;
    } msg;
};

// 0 with the response image in ResponseBuf (room for 128 bytes) and its length in
// *kcs_CurLength, or -1 when the device cannot carry the request.
int ipmiCmd(unsigned char* RequestCmd, unsigned char* ResponseBuf, int kcs_ReqLength, int* kcs_CurLength);
// Sends the request image `request` through the interface's send operation and turns its
// answer into a response image (room for 128 bytes): 0 with the length in *responseLength,
// or -1.
int ipmi_send(ipmi_intf* intf, const unsigned char* request, int requestLength, unsigned char* response,
              int* responseLength);
int ipmi_openipmi_open(ipmi_intf* intf);
void ipmi_openipmi_close(ipmi_intf* intf);
ipmi_rs* ipmi_openipmi_send_cmd(ipmi_intf* intf, ipmi_rq* req);

namespace vkt {

// True once the device has been opened and configured: from then on the kernel driver owns
// the system interface, so its failures must not be answered by driving the ports.
bool openIpmiDeviceOwnsInterface();

}  // namespace vkt

#endif
