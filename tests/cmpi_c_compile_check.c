/*
 * Brokers are C programs and so are many providers; the CMPI headers must
 * stay plain C.  This file is only compiled (as C99 with -pedantic), never
 * run: it includes every header, expands the macros a provider uses, and
 * checks the layouts that a C compiler computes on its own.
 */
#include <cmpi/cmpidt.h>
#include <cmpi/cmpift.h>
#include <cmpi/cmpimacs.h>
#include <cmpi/cmpios.h>

#include <stddef.h>

/* C99 has no static_assert; a negative array size stops the build. */
#define C_CHECK(name, cond) typedef char c_check_##name[(cond) ? 1 : -1]

#if defined(__x86_64__)
C_CHECK(status_size, sizeof(CMPIStatus) == 16);
C_CHECK(data_size, sizeof(CMPIData) == 24);
C_CHECK(data_value, offsetof(CMPIData, value) == 8);
C_CHECK(broker_size, sizeof(CMPIBroker) == 40);
C_CHECK(instance_mift_size, sizeof(CMPIInstanceMIFT) == 80);
C_CHECK(instance_mift_cleanup, offsetof(CMPIInstanceMIFT, cleanup) == 16);
C_CHECK(broker_enc_size, sizeof(CMPIBrokerEncFT) == 168);
#elif defined(__i386__)
C_CHECK(status_size, sizeof(CMPIStatus) == 8);
C_CHECK(data_size, sizeof(CMPIData) == 12);
C_CHECK(data_value, offsetof(CMPIData, value) == 4);
C_CHECK(broker_size, sizeof(CMPIBroker) == 20);
C_CHECK(instance_mift_size, sizeof(CMPIInstanceMIFT) == 44);
C_CHECK(instance_mift_cleanup, offsetof(CMPIInstanceMIFT, cleanup) == 12);
C_CHECK(broker_enc_size, sizeof(CMPIBrokerEncFT) == 84);
#endif
C_CHECK(rc_size, sizeof(CMPIrc) == 4);
C_CHECK(type_size, sizeof(CMPIType) == 2);

static const CMPIBroker *cBroker;

static CMPIStatus CCheckCleanup(CMPIInstanceMI *mi, const CMPIContext *ctx,
                                CMPIBoolean terminating)
{
    (void)mi;
    (void)ctx;
    if (terminating)
        CMReturn(CMPI_RC_OK);
    else
        CMReturn(CMPI_RC_DO_NOT_UNLOAD);
}

static CMPIStatus CCheckEnumInstanceNames(CMPIInstanceMI *mi,
                                          const CMPIContext *ctx,
                                          const CMPIResult *rslt,
                                          const CMPIObjectPath *ref)
{
    CMPIStatus st = {CMPI_RC_OK, NULL};
    CMPIObjectPath *op;
    const char *ns;
    CMPIUint16 id = 7;
    (void)mi;
    (void)ctx;
    ns = CMGetCharsPtr(CMGetNameSpace(ref, NULL), NULL);
    op = CMNewObjectPath(cBroker, ns, "VKT_Example", &st);
    if (CMIsNullObject(op))
        CMReturnWithChars(cBroker, CMPI_RC_ERR_FAILED, "no object path");
    CMAddKey(op, "Name", "example", CMPI_chars);
    CMAddKey(op, "Id", &id, CMPI_uint16);
    CMReturnObjectPath(rslt, op);
    CMReturnDone(rslt);
    CMReturn(CMPI_RC_OK);
}

static CMPIStatus CCheckEnumInstances(CMPIInstanceMI *mi,
                                      const CMPIContext *ctx,
                                      const CMPIResult *rslt,
                                      const CMPIObjectPath *ref,
                                      const char **properties)
{
    static const char *keys[] = {"Name", NULL};
    CMPIStatus st = {CMPI_RC_OK, NULL};
    CMPIObjectPath *op;
    const char *ns;
    CMPIInstance *inst;
    CMPIData flags;
    CMPIBoolean on = 1;
    CMPIString *msg;
    (void)mi;
    ns = CMGetCharsPtr(CMGetNameSpace(ref, NULL), NULL);
    op = CMNewObjectPath(cBroker, ns, CMGetCharPtr(CMGetClassName(ref, NULL)),
                         &st);
    inst = CMNewInstance(cBroker, op, &st);
    if (st.rc != CMPI_RC_OK)
        return st;
    flags = CMGetContextEntry(ctx, CMPIInvocationFlags, NULL);
    if (!CMIsNullValue(flags) && (flags.value.uint32 & CMPI_FLAG_LocalOnly))
        CMSetStatus(&st, CMPI_RC_OK);
    CMSetPropertyFilter(inst, properties, keys);
    CMSetProperty(inst, "Name", "example", CMPI_chars);
    CMSetProperty(inst, "Enabled", &on, CMPI_boolean);
    msg = CMGetMessage(cBroker, "VKT001", "found $0 in $1", NULL,
                       CMFmtArgs2(CMFmtSint(1), CMFmtChars("slot")));
    (void)msg;
    CMReturnInstance(rslt, inst);
    CMReturnDone(rslt);
    return st;
}

static CMPIStatus CCheckGetInstance(CMPIInstanceMI *mi, const CMPIContext *ctx,
                                    const CMPIResult *rslt,
                                    const CMPIObjectPath *ref,
                                    const char **properties)
{
    CMPIStatus st;
    CMPIData key = CMGetKey(ref, "Name", &st);
    (void)mi;
    (void)ctx;
    (void)rslt;
    (void)properties;
    if (st.rc != CMPI_RC_OK || key.type != CMPI_string)
        CMReturn(CMPI_RC_ERR_NOT_FOUND);
    CMReturn(CMPI_RC_ERR_NOT_FOUND);
}

static CMPIStatus CCheckCreateInstance(CMPIInstanceMI *mi,
                                       const CMPIContext *ctx,
                                       const CMPIResult *rslt,
                                       const CMPIObjectPath *ref,
                                       const CMPIInstance *inst)
{
    (void)mi;
    (void)ctx;
    (void)rslt;
    (void)ref;
    (void)inst;
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

static CMPIStatus CCheckModifyInstance(CMPIInstanceMI *mi,
                                       const CMPIContext *ctx,
                                       const CMPIResult *rslt,
                                       const CMPIObjectPath *ref,
                                       const CMPIInstance *inst,
                                       const char **properties)
{
    (void)mi;
    (void)ctx;
    (void)rslt;
    (void)ref;
    (void)inst;
    (void)properties;
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

static CMPIStatus CCheckDeleteInstance(CMPIInstanceMI *mi,
                                       const CMPIContext *ctx,
                                       const CMPIResult *rslt,
                                       const CMPIObjectPath *ref)
{
    (void)mi;
    (void)ctx;
    (void)rslt;
    (void)ref;
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

static CMPIStatus CCheckExecQuery(CMPIInstanceMI *mi, const CMPIContext *ctx,
                                  const CMPIResult *rslt,
                                  const CMPIObjectPath *ref, const char *query,
                                  const char *lang)
{
    (void)mi;
    (void)ctx;
    (void)rslt;
    (void)ref;
    (void)query;
    (void)lang;
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMInstanceMIStub(CCheck, CCheck_Example, cBroker, CMNoHook)
