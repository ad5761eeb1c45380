/* A program of an integrator: calls an exported routine through the installed header and
 * library. Run against the simulated server; it refuses to run when the simulator named by
 * VKT_CONSUMER_SIMULATOR did not get preloaded, so it never reaches a real BMC. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <varkolt/bmc.h>

int main(void) {
    const char* simulator = getenv("VKT_CONSUMER_SIMULATOR");
    if (simulator == NULL || dlopen(simulator, RTLD_LAZY | RTLD_NOLOAD) == NULL) {
        fputs("consumer: the simulated server is not preloaded\n", stderr);
        return 2;
    }
    int rc = bmc_GetIPandMac();
    printf("bmc_GetIPandMac: %d\n", rc);
    return rc == VKT_BMC_OK ? 0 : 1;
}
