/* A program of an integrator, linked against the shared library through its header: it asks
 * a reset routine to wait for the restarting BMC by setting the exported flag. The program
 * holds its own copy of the flag (a copy relocation), so this works only when the library
 * reads that copy. Run against the simulated server only: it refuses to run when the
 * simulator named by VKT_CONSUMER_SIMULATOR is not preloaded, so it never reaches a real BMC. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <varkolt/bmc.h>

int main(void) {
    const char* simulator = getenv("VKT_CONSUMER_SIMULATOR");
    if (simulator == NULL || dlopen(simulator, RTLD_LAZY | RTLD_NOLOAD) == NULL) {
        fputs("wait_flag: the simulated server is not preloaded\n", stderr);
        return 2;
    }
    waitBMCWakeupFlag = 1;
    int rc = bmc_ColdReset();
    printf("bmc_ColdReset: %d, waitBMCWakeupFlag: %d\n", rc, waitBMCWakeupFlag);
    /* Without the flag the reset returns at once. */
    rc = bmc_ColdReset();
    printf("bmc_ColdReset: %d, waitBMCWakeupFlag: %d\n", rc, waitBMCWakeupFlag);
    return 0;
}
