/*
 * cmpimacs.h - convenience macros over the CMPI 2.0 function tables.
 *
 * Each macro is a plain call through the object's table, so it works the
 * same from C and C++ and with any broker.  Value arguments are cast to
 * const CMPIValue *: for CMPI_chars the value is the char pointer itself
 * (CMSetProperty(inst, "Name", "text", CMPI_chars)), for every other type
 * it is a pointer to a variable of the matching type or to a CMPIValue.
 */
#ifndef _CMPIMACS_H_
#define _CMPIMACS_H_

#include "cmpidt.h"
#include "cmpift.h"

/* ------------------------------------------------------------------ */
/* Status                                                             */
/* ------------------------------------------------------------------ */

/* The Return macros leave the enclosing function; they are statements. */
#define CMReturn(code)                                                      \
    do {                                                                  \
        CMPIStatus cmpi_stat_;                                            \
        cmpi_stat_.rc = (CMPIrc)(code);                                     \
        cmpi_stat_.msg = NULL;                                            \
        return cmpi_stat_;                                                \
    } while (0)

#define CMReturnWithString(code, str)                                       \
    do {                                                                  \
        CMPIStatus cmpi_stat_;                                            \
        cmpi_stat_.rc = (CMPIrc)(code);                                     \
        cmpi_stat_.msg = (str);                                           \
        return cmpi_stat_;                                                \
    } while (0)

/* A NULL broker (e.g. during a failed load) yields no message. */
#define CMReturnWithChars(b, code, chars)                                   \
    do {                                                                  \
        const CMPIBroker *cmpi_mb_ = (b);                                 \
        CMPIStatus cmpi_stat_;                                            \
        cmpi_stat_.rc = (CMPIrc)(code);                                     \
        cmpi_stat_.msg =                                                  \
            cmpi_mb_ ? cmpi_mb_->eft->newString(cmpi_mb_, (chars), NULL)  \
                     : NULL;                                              \
        return cmpi_stat_;                                                \
    } while (0)

/*
 * Status out-parameters are optional everywhere, so the Set macros accept
 * NULL.  The pointer goes through a local first: testing &local directly
 * would trip -Waddress in callers.
 */
#define CMSetStatus(st, code)                                               \
    do {                                                                  \
        CMPIStatus *cmpi_st_ = (st);                                      \
        if (cmpi_st_) {                                                   \
            cmpi_st_->rc = (CMPIrc)(code);                                  \
            cmpi_st_->msg = NULL;                                         \
        }                                                                 \
    } while (0)

#define CMSetStatusWithString(st, code, string)                             \
    do {                                                                  \
        CMPIStatus *cmpi_st_ = (st);                                      \
        if (cmpi_st_) {                                                   \
            cmpi_st_->rc = (CMPIrc)(code);                                  \
            cmpi_st_->msg = (string);                                     \
        }                                                                 \
    } while (0)

#define CMSetStatusWithChars(b, st, code, chars)                            \
    do {                                                                  \
        const CMPIBroker *cmpi_mb_ = (b);                                 \
        CMPIStatus *cmpi_st_ = (st);                                      \
        if (cmpi_st_) {                                                   \
            cmpi_st_->rc = (CMPIrc)(code);                                  \
            cmpi_st_->msg =                                               \
                cmpi_mb_ ? cmpi_mb_->eft->newString(cmpi_mb_, (chars),    \
                                                    NULL)                 \
                         : NULL;                                          \
        }                                                                 \
    } while (0)

/* ------------------------------------------------------------------ */
/* Generic object and data helpers                                    */
/* ------------------------------------------------------------------ */

#define CMIsNullObject(o) ((o) == NULL || (o)->hdl == NULL)
#define CMIsNullValue(d) (((d).state) & CMPI_nullValue)
#define CMIsKeyValue(d) (((d).state) & CMPI_keyValue)
#define CMIsArray(d) (((d).type) & CMPI_ARRAY)

#define CMClone(o, rc) ((o)->ft->clone((o), (rc)))
#define CMRelease(o) ((o)->ft->release((o)))

/* ------------------------------------------------------------------ */
/* Broker encapsulation services                                      */
/* ------------------------------------------------------------------ */

#define CMNewInstance(b, op, rc) ((b)->eft->newInstance((b), (op), (rc)))
#define CMNewObjectPath(b, ns, cn, rc)                                    \
    ((b)->eft->newObjectPath((b), (ns), (cn), (rc)))
#define CMNewArgs(b, rc) ((b)->eft->newArgs((b), (rc)))
#define CMNewString(b, s, rc) ((b)->eft->newString((b), (s), (rc)))
#define CMNewArray(b, n, type, rc)                                        \
    ((b)->eft->newArray((b), (n), (type), (rc)))
#define CMNewDateTime(b, rc) ((b)->eft->newDateTime((b), (rc)))
/* Binary time: microseconds since 1970-01-01 00:00 UTC, or an interval. */
#define CMNewDateTimeFromBinary(b, t, isInterval, rc)                     \
    ((b)->eft->newDateTimeFromBinary((b), (t), (isInterval), (rc)))
#define CMNewDateTimeFromChars(b, s, rc)                                  \
    ((b)->eft->newDateTimeFromChars((b), (s), (rc)))
#define CMNewSelectExp(b, query, lang, projection, rc)                    \
    ((b)->eft->newSelectExp((b), (query), (lang), (projection), (rc)))
#define CMClassPathIsA(b, op, cn, rc)                                     \
    ((b)->eft->classPathIsA((b), (op), (cn), (rc)))

#define CDToString(b, o, rc)                                              \
    ((b)->eft->toString((b), (const void *)(o), (rc)))
#define CDIsOfType(b, o, type, rc)                                        \
    ((b)->eft->isOfType((b), (const void *)(o), (type), (rc)))
#define CDGetType(b, o, rc)                                               \
    ((b)->eft->getType((b), (const void *)(o), (rc)))

#define CMLogMessage(b, severity, id, text, string)                       \
    ((b)->eft->logMessage((b), (severity), (id), (text), (string)))
#define CMTraceMessage(b, level, component, text, string)                 \
    ((b)->eft->trace((b), (level), (component), (text), (string)))

/*
 * Message lookup takes its inserts as a count followed by (type, value)
 * pairs: CMGetMessage(b, "ID", "Found $0 of $1", &rc,
 *                     CMFmtArgs2(CMFmtSint(n), CMFmtChars(name))).
 * Integers travel as long so a broker reading either int or long gets
 * the right value on both word sizes.
 */
#define CMGetMessage(b, id, def, rc, args)                                \
    ((b)->eft->getMessage((b), (id), (def), (rc), args))

#define CMFmtArgs0() 0
#define CMFmtArgs1(v1) 1, v1
#define CMFmtArgs2(v1, v2) 2, v1, v2
#define CMFmtArgs3(v1, v2, v3) 3, v1, v2, v3
#define CMFmtArgs4(v1, v2, v3, v4) 4, v1, v2, v3, v4
#define CMFmtArgs5(v1, v2, v3, v4, v5) 5, v1, v2, v3, v4, v5
#define CMFmtArgs6(v1, v2, v3, v4, v5, v6) 6, v1, v2, v3, v4, v5, v6
#define CMFmtArgs7(v1, v2, v3, v4, v5, v6, v7) 7, v1, v2, v3, v4, v5, v6, v7
#define CMFmtArgs8(v1, v2, v3, v4, v5, v6, v7, v8)                        \
    8, v1, v2, v3, v4, v5, v6, v7, v8
#define CMFmtArgs9(v1, v2, v3, v4, v5, v6, v7, v8, v9)                    \
    9, v1, v2, v3, v4, v5, v6, v7, v8, v9
#define CMFmtArgs10(v1, v2, v3, v4, v5, v6, v7, v8, v9, v10)              \
    10, v1, v2, v3, v4, v5, v6, v7, v8, v9, v10

#define CMFmtSint(v) CMPI_sint32, ((long int)(v))
#define CMFmtUint(v) CMPI_uint32, ((unsigned long int)(v))
#define CMFmtSint64(v) CMPI_sint64, ((long long int)(v))
#define CMFmtUint64(v) CMPI_uint64, ((unsigned long long int)(v))
#define CMFmtReal(v) CMPI_real64, ((double)(v))
#define CMFmtBoolean(v) CMPI_boolean, ((int)(v))
#define CMFmtChars(v) CMPI_chars, ((const char *)(v))
#define CMFmtString(v) CMPI_string, ((CMPIString *)(v))

#ifdef CMPI_VER_200
#define CMNewCMPIError(b, owner, msgID, msg, sev, pc, cimrc, rc)          \
    ((b)->eft->newCMPIError((b), (owner), (msgID), (msg), (sev), (pc),    \
                            (cimrc), (rc)))
#define CMOpenMessageFile(b, msgFile, msgFileHandle)                      \
    ((b)->eft->openMessageFile((b), (msgFile), (msgFileHandle)))
#define CMCloseMessageFile(b, msgFileHandle)                              \
    ((b)->eft->closeMessageFile((b), (msgFileHandle)))
#define CMGetMessage2(b, id, msgFileHandle, def, rc, args)                \
    ((b)->eft->getMessage2((b), (id), (msgFileHandle), (def), (rc), args))
#endif

/* ------------------------------------------------------------------ */
/* Instance                                                           */
/* ------------------------------------------------------------------ */

#define CMGetProperty(inst, name, rc)                                     \
    ((inst)->ft->getProperty((inst), (name), (rc)))
#define CMGetPropertyAt(inst, index, name, rc)                            \
    ((inst)->ft->getPropertyAt((inst), (index), (name), (rc)))
#define CMGetPropertyCount(inst, rc)                                      \
    ((inst)->ft->getPropertyCount((inst), (rc)))
#define CMSetProperty(inst, name, v, type)                                \
    ((inst)->ft->setProperty((inst), (name), (const CMPIValue *)(v), (type)))
#define CMGetObjectPath(inst, rc) ((inst)->ft->getObjectPath((inst), (rc)))
#define CMSetObjectPath(inst, op) ((inst)->ft->setObjectPath((inst), (op)))
/* props: NULL (no filter) or a NULL-terminated list; keys likewise. */
#define CMSetPropertyFilter(inst, props, keys)                            \
    ((inst)->ft->setPropertyFilter((inst), (props), (keys)))
#ifdef CMPI_VER_200
#define CMSetPropertyWithOrigin(inst, name, v, type, origin)              \
    ((inst)->ft->setPropertyWithOrigin((inst), (name),                    \
                                       (const CMPIValue *)(v), (type),    \
                                       (origin)))
#endif

/* ------------------------------------------------------------------ */
/* Object path                                                        */
/* ------------------------------------------------------------------ */

#define CMSetHostname(op, hn) ((op)->ft->setHostname((op), (hn)))
#define CMGetHostname(op, rc) ((op)->ft->getHostname((op), (rc)))
#define CMSetNameSpace(op, ns) ((op)->ft->setNameSpace((op), (ns)))
#define CMGetNameSpace(op, rc) ((op)->ft->getNameSpace((op), (rc)))
#define CMSetClassName(op, cn) ((op)->ft->setClassName((op), (cn)))
#define CMGetClassName(op, rc) ((op)->ft->getClassName((op), (rc)))
#define CMAddKey(op, name, v, type)                                       \
    ((op)->ft->addKey((op), (name), (const CMPIValue *)(v), (type)))
#define CMGetKey(op, name, rc) ((op)->ft->getKey((op), (name), (rc)))
#define CMGetKeyAt(op, index, name, rc)                                   \
    ((op)->ft->getKeyAt((op), (index), (name), (rc)))
#define CMGetKeyCount(op, rc) ((op)->ft->getKeyCount((op), (rc)))
#define CMSetNameSpaceFromObjectPath(op, src)                             \
    ((op)->ft->setNameSpaceFromObjectPath((op), (src)))
#define CMSetHostAndNameSpaceFromObjectPath(op, src)                      \
    ((op)->ft->setHostAndNameSpaceFromObjectPath((op), (src)))
#define CMGetClassQualifier(op, qName, rc)                                \
    ((op)->ft->getClassQualifier((op), (qName), (rc)))
#define CMGetPropertyQualifier(op, pName, qName, rc)                      \
    ((op)->ft->getPropertyQualifier((op), (pName), (qName), (rc)))
#define CMGetMethodQualifier(op, mName, qName, rc)                        \
    ((op)->ft->getMethodQualifier((op), (mName), (qName), (rc)))
#define CMGetParameterQualifier(op, mName, pName, qName, rc)              \
    ((op)->ft->getParameterQualifier((op), (mName), (pName), (qName), (rc)))
#define CMObjectPathToString(op, rc) ((op)->ft->toString((op), (rc)))

/* ------------------------------------------------------------------ */
/* String, array, enumeration, date/time, arguments                   */
/* ------------------------------------------------------------------ */

/*
 * Both spellings go through getCharPtr: reading hdl directly only works
 * for brokers that happen to keep the text there.
 */
#define CMGetCharsPtr(s, rc) ((s)->ft->getCharPtr((s), (rc)))
#define CMGetCharPtr(s) ((s)->ft->getCharPtr((s), NULL))

#define CMGetArrayCount(a, rc) ((a)->ft->getSize((a), (rc)))
#define CMGetArrayType(a, rc) ((a)->ft->getSimpleType((a), (rc)))
#define CMGetArrayElementAt(a, n, rc) ((a)->ft->getElementAt((a), (n), (rc)))
#define CMSetArrayElementAt(a, n, v, type)                                \
    ((a)->ft->setElementAt((a), (n), (const CMPIValue *)(v), (type)))

#define CMGetNext(e, rc) ((e)->ft->getNext((e), (rc)))
#define CMHasNext(e, rc) ((e)->ft->hasNext((e), (rc)))
#define CMToArray(e, rc) ((e)->ft->toArray((e), (rc)))

#define CMGetBinaryFormat(dt, rc) ((dt)->ft->getBinaryFormat((dt), (rc)))
#define CMGetStringFormat(dt, rc) ((dt)->ft->getStringFormat((dt), (rc)))
#define CMIsInterval(dt, rc) ((dt)->ft->isInterval((dt), (rc)))

#define CMAddArg(as, name, v, type)                                       \
    ((as)->ft->addArg((as), (name), (const CMPIValue *)(v), (type)))
#define CMGetArg(as, name, rc) ((as)->ft->getArg((as), (name), (rc)))
#define CMGetArgAt(as, index, name, rc)                                   \
    ((as)->ft->getArgAt((as), (index), (name), (rc)))
#define CMGetArgCount(as, rc) ((as)->ft->getArgCount((as), (rc)))

/* ------------------------------------------------------------------ */
/* Result and context                                                 */
/* ------------------------------------------------------------------ */

/* These evaluate to the broker's CMPIStatus; they do not return. */
#define CMReturnData(r, v, type)                                          \
    ((r)->ft->returnData((r), (const CMPIValue *)(v), (type)))
#define CMReturnInstance(r, inst) ((r)->ft->returnInstance((r), (inst)))
#define CMReturnObjectPath(r, op) ((r)->ft->returnObjectPath((r), (op)))
#define CMReturnDone(r) ((r)->ft->returnDone((r)))
#ifdef CMPI_VER_200
#define CMReturnError(r, err) ((r)->ft->returnError((r), (err)))
#endif

#define CMGetContextEntry(ctx, name, rc)                                  \
    ((ctx)->ft->getEntry((ctx), (name), (rc)))
#define CMGetContextEntryAt(ctx, index, name, rc)                         \
    ((ctx)->ft->getEntryAt((ctx), (index), (name), (rc)))
#define CMGetContextEntryCount(ctx, rc) ((ctx)->ft->getEntryCount((ctx), (rc)))
#define CMAddContextEntry(ctx, name, v, type)                             \
    ((ctx)->ft->addEntry((ctx), (name), (const CMPIValue *)(v), (type)))

/* ------------------------------------------------------------------ */
/* Queries                                                            */
/* ------------------------------------------------------------------ */

#define CMGetSelExpString(se, rc) ((se)->ft->getString((se), (rc)))
#define CMEvaluateSelExp(se, inst, rc) ((se)->ft->evaluate((se), (inst), (rc)))
#define CMEvaluateSelExpUsingAccessor(se, accessor, parm, rc)             \
    ((se)->ft->evaluateUsingAccessor((se), (accessor), (parm), (rc)))
#define CMGetDoc(se, rc) ((se)->ft->getDOC((se), (rc)))
#define CMGetCod(se, rc) ((se)->ft->getCOD((se), (rc)))

#define CMGetSubCondCountAndType(sc, type, rc)                            \
    ((sc)->ft->getCountAndType((sc), (type), (rc)))
#define CMGetSubCondAt(sc, index, rc)                                      \
    ((sc)->ft->getSubCondAt((sc), (index), (rc)))

#define CMGetPredicateCount(sc, rc) ((sc)->ft->getCount((sc), (rc)))
#define CMGetPredicateAt(sc, index, rc)                                   \
    ((sc)->ft->getPredicateAt((sc), (index), (rc)))
#define CMGetPredicate(sc, name, rc)                                      \
    ((sc)->ft->getPredicate((sc), (name), (rc)))

#define CMGetPredicateData(pr, type, op, lhs, rhs)                        \
    ((pr)->ft->getData((pr), (type), (op), (lhs), (rhs)))
#define CMEvaluatePredicateUsingAccessor(pr, accessor, parm, rc)          \
    ((pr)->ft->evaluateUsingAccessor((pr), (accessor), (parm), (rc)))

/* ------------------------------------------------------------------ */
/* Broker up-calls                                                    */
/* ------------------------------------------------------------------ */

#define CBGetBrokerCapabilities(b) ((b)->bft->brokerCapabilities)
/* Older spellings of the same query, kept so existing code compiles. */
#define CBGetBrokerCapabilites(b) ((b)->bft->brokerCapabilities)
#define CBGetClassification(b) ((b)->bft->brokerCapabilities)
/* Not a reliable feature test: some brokers report 0 here. */
#define CBBrokerVersion(b) ((b)->bft->brokerVersion)
#define CBBrokerName(b) ((b)->bft->brokerName)

#define CBPrepareAttachThread(b, ctx)                                     \
    ((b)->bft->prepareAttachThread((b), (ctx)))
#define CBAttachThread(b, ctx) ((b)->bft->attachThread((b), (ctx)))
#define CBDetachThread(b, ctx) ((b)->bft->detachThread((b), (ctx)))
#define CBDeliverIndication(b, ctx, ns, ind)                              \
    ((b)->bft->deliverIndication((b), (ctx), (ns), (ind)))
#define CBEnumInstanceNames(b, ctx, op, rc)                               \
    ((b)->bft->enumerateInstanceNames((b), (ctx), (op), (rc)))
#define CBEnumInstances(b, ctx, op, props, rc)                            \
    ((b)->bft->enumerateInstances((b), (ctx), (op), (props), (rc)))
#define CBGetInstance(b, ctx, op, props, rc)                              \
    ((b)->bft->getInstance((b), (ctx), (op), (props), (rc)))
#define CBCreateInstance(b, ctx, op, inst, rc)                            \
    ((b)->bft->createInstance((b), (ctx), (op), (inst), (rc)))
#define CBModifyInstance(b, ctx, op, inst, props)                         \
    ((b)->bft->modifyInstance((b), (ctx), (op), (inst), (props)))
#define CBSetInstance(b, ctx, op, inst, props)                            \
    CBModifyInstance(b, ctx, op, inst, props)
#define CBDeleteInstance(b, ctx, op)                                      \
    ((b)->bft->deleteInstance((b), (ctx), (op)))
#define CBExecQuery(b, ctx, op, query, lang, rc)                          \
    ((b)->bft->execQuery((b), (ctx), (op), (query), (lang), (rc)))
#define CBAssociators(b, ctx, op, assocClass, resultClass, role,          \
                      resultRole, props, rc)                              \
    ((b)->bft->associators((b), (ctx), (op), (assocClass), (resultClass), \
                           (role), (resultRole), (props), (rc)))
#define CBAssociatorNames(b, ctx, op, assocClass, resultClass, role,      \
                          resultRole, rc)                                 \
    ((b)->bft->associatorNames((b), (ctx), (op), (assocClass),            \
                               (resultClass), (role), (resultRole), (rc)))
#define CBReferences(b, ctx, op, resultClass, role, props, rc)            \
    ((b)->bft->references((b), (ctx), (op), (resultClass), (role),        \
                          (props), (rc)))
#define CBReferenceNames(b, ctx, op, resultClass, role, rc)               \
    ((b)->bft->referenceNames((b), (ctx), (op), (resultClass), (role),    \
                              (rc)))
#define CBInvokeMethod(b, ctx, op, method, in, out, rc)                   \
    ((b)->bft->invokeMethod((b), (ctx), (op), (method), (in), (out), (rc)))
#define CBSetProperty(b, ctx, op, name, v, type)                          \
    ((b)->bft->setProperty((b), (ctx), (op), (name),                      \
                           (const CMPIValue *)(v), (type)))
#define CBGetProperty(b, ctx, op, name, rc)                               \
    ((b)->bft->getProperty((b), (ctx), (op), (name), (rc)))

/* ------------------------------------------------------------------ */
/* Instance MI boilerplate                                            */
/* ------------------------------------------------------------------ */

/* Placeholder for the stub's hook argument. */
#define CMNoHook

/* Slot 8 of the instance table; its entry point is pfx##ModifyInstance. */
#define CMInstanceMIStubChange(pfx) pfx##ModifyInstance

/*
 * Defines the function table from the eight entry points pfx##Cleanup ...
 * pfx##ExecQuery and the exported factory pn##_Create_InstanceMI that a
 * CIMOM looks up with dlsym().  The factory records the broker in
 * `broker` (a const CMPIBroker * variable), runs `hook`, and reports
 * success in *rc itself rather than trusting the caller to have preset it.
 * The MI object and its table are static, so they outlive every call up
 * to cleanup().
 */
#define CMInstanceMIStub(pfx, pn, broker, hook)                           \
    static CMPIInstanceMIFT pn##_cmpiInstanceMIFT = {                     \
        CMPICurrentVersion,                                               \
        CMPICurrentVersion,                                               \
        "instance" #pn,                                                   \
        pfx##Cleanup,                                                     \
        pfx##EnumInstanceNames,                                           \
        pfx##EnumInstances,                                               \
        pfx##GetInstance,                                                 \
        pfx##CreateInstance,                                              \
        CMInstanceMIStubChange(pfx),                                      \
        pfx##DeleteInstance,                                              \
        pfx##ExecQuery};                                                  \
    CMPI_EXTERN_C CMPIInstanceMI *pn##_Create_InstanceMI(                 \
        const CMPIBroker *, const CMPIContext *, CMPIStatus *);           \
    CMPI_EXTERN_C CMPIInstanceMI *pn##_Create_InstanceMI(                 \
        const CMPIBroker *cmpi_broker_, const CMPIContext *cmpi_ctx_,     \
        CMPIStatus *cmpi_rc_)                                             \
    {                                                                     \
        static CMPIInstanceMI cmpi_mi_ = {NULL, &pn##_cmpiInstanceMIFT};  \
        (void)cmpi_ctx_;                                                  \
        broker = cmpi_broker_;                                            \
        hook;                                                             \
        if (cmpi_rc_) {                                                   \
            cmpi_rc_->rc = CMPI_RC_OK;                                    \
            cmpi_rc_->msg = NULL;                                         \
        }                                                                 \
        return &cmpi_mi_;                                                 \
    }

#endif /* _CMPIMACS_H_ */
