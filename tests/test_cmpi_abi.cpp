// Pins the binary layout of our CMPI 2.0 headers to what CIMOMs built
// against other CMPI header sets expect.  A CIMOM calls straight through
// these tables, so a member out of place, a wrong size or a wrong type
// code would not fail to compile anywhere: it would call the wrong
// function or misread a value at run time.  Offsets and sizes are given
// for x86_64 and i386; the build checks whichever it targets.

#include <cmpi/cmpidt.h>
#include <cmpi/cmpift.h>
#include <cmpi/cmpimacs.h>
#include <cmpi/cmpios.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>

// ---------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------

#if defined(__x86_64__)
#define PIN_SIZE(T, s64, s32) \
    static_assert(sizeof(T) == (s64), "sizeof(" #T ") on x86_64")
#define PIN_OFF(T, m, o64, o32) \
    static_assert(offsetof(T, m) == (o64), "offset of " #T "." #m " on x86_64")
#elif defined(__i386__)
#define PIN_SIZE(T, s64, s32) \
    static_assert(sizeof(T) == (s32), "sizeof(" #T ") on i386")
#define PIN_OFF(T, m, o64, o32) \
    static_assert(offsetof(T, m) == (o32), "offset of " #T "." #m " on i386")
#else
// No reference figures for other targets; the runtime tests still apply.
#define PIN_SIZE(T, s64, s32) static_assert(sizeof(T) > 0, #T)
#define PIN_OFF(T, m, o64, o32) \
    static_assert(offsetof(T, m) < sizeof(T), #T "." #m)
#endif

// Scalars: size, signedness, and alignment inside a struct (64-bit
// integers and doubles are only 4-aligned in i386 structs).
template <typename T>
struct AlignProbe {
    char c;
    T v;
};
#define PIN_SCALAR(T, size, sign, a64, a32)                        \
    static_assert(sizeof(T) == (size), "sizeof(" #T ")");              \
    static_assert(std::is_signed<T>::value == (sign), #T " sign");      \
    PIN_OFF(AlignProbe<T>, v, a64, a32)

PIN_SCALAR(CMPIBoolean, 1, false, 1, 1);
PIN_SCALAR(CMPIChar16, 2, false, 2, 2);
PIN_SCALAR(CMPIUint8, 1, false, 1, 1);
PIN_SCALAR(CMPIUint16, 2, false, 2, 2);
PIN_SCALAR(CMPIUint32, 4, false, 4, 4);
PIN_SCALAR(CMPIUint64, 8, false, 8, 4);
PIN_SCALAR(CMPISint8, 1, true, 1, 1);
PIN_SCALAR(CMPISint16, 2, true, 2, 2);
PIN_SCALAR(CMPISint32, 4, true, 4, 4);
PIN_SCALAR(CMPISint64, 8, true, 8, 4);
PIN_SCALAR(CMPIReal32, 4, true, 4, 4);
PIN_SCALAR(CMPIReal64, 8, true, 8, 4);
PIN_SCALAR(CMPIType, 2, false, 2, 2);
PIN_SCALAR(CMPIValueState, 2, false, 2, 2);
PIN_SCALAR(CMPICount, 4, false, 4, 4);
PIN_SCALAR(CMPIFlags, 4, false, 4, 4);
PIN_SIZE(CMPIMsgFileHandle, 8, 4);
static_assert(std::is_same<CMPIGcStat, void>::value, "CMPIGcStat");
static_assert(sizeof(CMPI_THREAD_KEY_TYPE) == 4, "thread key is 4 bytes");

// Enums travel as 4-byte values; GCC gives CMPIrc an unsigned type as it
// does for every other header set (all codes are >= 0).
static_assert(sizeof(CMPIrc) == 4, "CMPIrc");
static_assert(std::is_unsigned<std::underlying_type<CMPIrc>::type>::value,
              "CMPIrc underlying type");
static_assert(sizeof(CMPIPredOp) == 4, "CMPIPredOp");
static_assert(sizeof(CMPISeverity) == 4, "CMPISeverity");
static_assert(sizeof(CMPILevel) == 4, "CMPILevel");
static_assert(sizeof(CMPISelectCondType) == 4, "CMPISelectCondType");
static_assert(sizeof(CMPIErrorType) == 4, "CMPIErrorType");
static_assert(sizeof(CMPIErrorSeverity) == 4, "CMPIErrorSeverity");
static_assert(sizeof(CMPIErrorProbableCause) == 4, "CMPIErrorProbableCause");
static_assert(sizeof(CMPIErrorSrcFormat) == 4, "CMPIErrorSrcFormat");

// Data structures.
PIN_SIZE(CMPIStatus, 16, 8);
PIN_OFF(CMPIStatus, rc, 0, 0);
PIN_OFF(CMPIStatus, msg, 8, 4);

PIN_SIZE(CMPIValuePtr, 16, 8);
PIN_OFF(CMPIValuePtr, ptr, 0, 0);
PIN_OFF(CMPIValuePtr, length, 8, 4);

PIN_SIZE(CMPIValue, 16, 8);
PIN_OFF(AlignProbe<CMPIValue>, v, 8, 4);
#define PIN_UNION(m) static_assert(offsetof(CMPIValue, m) == 0, "CMPIValue." #m)
PIN_UNION(uint64);
PIN_UNION(uint32);
PIN_UNION(uint16);
PIN_UNION(uint8);
PIN_UNION(sint64);
PIN_UNION(sint32);
PIN_UNION(sint16);
PIN_UNION(sint8);
PIN_UNION(real64);
PIN_UNION(real32);
PIN_UNION(boolean);
PIN_UNION(char16);
PIN_UNION(inst);
PIN_UNION(ref);
PIN_UNION(args);
PIN_UNION(filter);
PIN_UNION(Enum);
PIN_UNION(array);
PIN_UNION(string);
PIN_UNION(chars);
PIN_UNION(dateTime);
PIN_UNION(dataPtr);
PIN_UNION(Byte);
PIN_UNION(Short);
PIN_UNION(Int);
PIN_UNION(Long);
PIN_UNION(Float);
PIN_UNION(Double);
static_assert(std::is_same<decltype(CMPIValue::chars), char *>::value,
              "CMPIValue.chars");
static_assert(std::is_same<decltype(CMPIValue::dataPtr), CMPIValuePtr>::value,
              "CMPIValue.dataPtr is held by value");

PIN_SIZE(CMPIData, 24, 12);
PIN_OFF(CMPIData, type, 0, 0);
PIN_OFF(CMPIData, state, 2, 2);
PIN_OFF(CMPIData, value, 8, 4);

// The structures must stay plain aggregates: anything non-trivial makes
// g++ return CMPIStatus/CMPIData differently from a C broker.
static_assert(std::is_trivial<CMPIStatus>::value, "CMPIStatus trivial");
static_assert(std::is_trivial<CMPIData>::value, "CMPIData trivial");
static_assert(std::is_trivial<CMPIValue>::value, "CMPIValue trivial");
static_assert(std::is_standard_layout<CMPIData>::value, "CMPIData layout");

// Encapsulated objects: hdl, then the function table.
#define PIN_HANDLE(T)                                                   \
    PIN_SIZE(T, 16, 8);                                                 \
    PIN_OFF(T, hdl, 0, 0);                                              \
    PIN_OFF(T, ft, 8, 4);                                               \
    static_assert(std::is_same<decltype(T::hdl), void *>::value,        \
                  #T ".hdl");                                           \
    static_assert(std::is_same<decltype(T::ft), T##FT *>::value, #T ".ft")
PIN_HANDLE(CMPIContext);
PIN_HANDLE(CMPIResult);
PIN_HANDLE(CMPIError);
PIN_HANDLE(CMPIInstance);
PIN_HANDLE(CMPIObjectPath);
PIN_HANDLE(CMPISelectExp);
PIN_HANDLE(CMPISelectCond);
PIN_HANDLE(CMPISubCond);
PIN_HANDLE(CMPIPredicate);
PIN_HANDLE(CMPIArgs);
PIN_HANDLE(CMPIString);
PIN_HANDLE(CMPIArray);
PIN_HANDLE(CMPIEnumeration);
PIN_HANDLE(CMPIDateTime);
PIN_HANDLE(CMPIInstanceMI);
PIN_HANDLE(CMPIAssociationMI);
PIN_HANDLE(CMPIMethodMI);
PIN_HANDLE(CMPIPropertyMI);
PIN_HANDLE(CMPIIndicationMI);

// Function tables and the broker, member by member.
PIN_SIZE(CMPIBrokerEncFT, 168, 84);
PIN_OFF(CMPIBrokerEncFT, ftVersion, 0, 0);
PIN_OFF(CMPIBrokerEncFT, newInstance, 8, 4);
PIN_OFF(CMPIBrokerEncFT, newObjectPath, 16, 8);
PIN_OFF(CMPIBrokerEncFT, newArgs, 24, 12);
PIN_OFF(CMPIBrokerEncFT, newString, 32, 16);
PIN_OFF(CMPIBrokerEncFT, newArray, 40, 20);
PIN_OFF(CMPIBrokerEncFT, newDateTime, 48, 24);
PIN_OFF(CMPIBrokerEncFT, newDateTimeFromBinary, 56, 28);
PIN_OFF(CMPIBrokerEncFT, newDateTimeFromChars, 64, 32);
PIN_OFF(CMPIBrokerEncFT, newSelectExp, 72, 36);
PIN_OFF(CMPIBrokerEncFT, classPathIsA, 80, 40);
PIN_OFF(CMPIBrokerEncFT, toString, 88, 44);
PIN_OFF(CMPIBrokerEncFT, isOfType, 96, 48);
PIN_OFF(CMPIBrokerEncFT, getType, 104, 52);
PIN_OFF(CMPIBrokerEncFT, getMessage, 112, 56);
PIN_OFF(CMPIBrokerEncFT, logMessage, 120, 60);
PIN_OFF(CMPIBrokerEncFT, trace, 128, 64);
PIN_OFF(CMPIBrokerEncFT, newCMPIError, 136, 68);
PIN_OFF(CMPIBrokerEncFT, openMessageFile, 144, 72);
PIN_OFF(CMPIBrokerEncFT, closeMessageFile, 152, 76);
PIN_OFF(CMPIBrokerEncFT, getMessage2, 160, 80);

PIN_SIZE(CMPIBrokerFT, 160, 84);
PIN_OFF(CMPIBrokerFT, brokerCapabilities, 0, 0);
PIN_OFF(CMPIBrokerFT, brokerVersion, 4, 4);
PIN_OFF(CMPIBrokerFT, brokerName, 8, 8);
PIN_OFF(CMPIBrokerFT, prepareAttachThread, 16, 12);
PIN_OFF(CMPIBrokerFT, attachThread, 24, 16);
PIN_OFF(CMPIBrokerFT, detachThread, 32, 20);
PIN_OFF(CMPIBrokerFT, deliverIndication, 40, 24);
PIN_OFF(CMPIBrokerFT, enumerateInstanceNames, 48, 28);
PIN_OFF(CMPIBrokerFT, getInstance, 56, 32);
PIN_OFF(CMPIBrokerFT, createInstance, 64, 36);
PIN_OFF(CMPIBrokerFT, modifyInstance, 72, 40);
PIN_OFF(CMPIBrokerFT, deleteInstance, 80, 44);
PIN_OFF(CMPIBrokerFT, execQuery, 88, 48);
PIN_OFF(CMPIBrokerFT, enumerateInstances, 96, 52);
PIN_OFF(CMPIBrokerFT, associators, 104, 56);
PIN_OFF(CMPIBrokerFT, associatorNames, 112, 60);
PIN_OFF(CMPIBrokerFT, references, 120, 64);
PIN_OFF(CMPIBrokerFT, referenceNames, 128, 68);
PIN_OFF(CMPIBrokerFT, invokeMethod, 136, 72);
PIN_OFF(CMPIBrokerFT, setProperty, 144, 76);
PIN_OFF(CMPIBrokerFT, getProperty, 152, 80);

PIN_SIZE(CMPIBrokerExtFT, 168, 84);
PIN_OFF(CMPIBrokerExtFT, ftVersion, 0, 0);
PIN_OFF(CMPIBrokerExtFT, resolveFileName, 8, 4);
PIN_OFF(CMPIBrokerExtFT, newThread, 16, 8);
PIN_OFF(CMPIBrokerExtFT, joinThread, 24, 12);
PIN_OFF(CMPIBrokerExtFT, exitThread, 32, 16);
PIN_OFF(CMPIBrokerExtFT, cancelThread, 40, 20);
PIN_OFF(CMPIBrokerExtFT, threadSleep, 48, 24);
PIN_OFF(CMPIBrokerExtFT, threadOnce, 56, 28);
PIN_OFF(CMPIBrokerExtFT, createThreadKey, 64, 32);
PIN_OFF(CMPIBrokerExtFT, destroyThreadKey, 72, 36);
PIN_OFF(CMPIBrokerExtFT, getThreadSpecific, 80, 40);
PIN_OFF(CMPIBrokerExtFT, setThreadSpecific, 88, 44);
PIN_OFF(CMPIBrokerExtFT, newMutex, 96, 48);
PIN_OFF(CMPIBrokerExtFT, destroyMutex, 104, 52);
PIN_OFF(CMPIBrokerExtFT, lockMutex, 112, 56);
PIN_OFF(CMPIBrokerExtFT, unlockMutex, 120, 60);
PIN_OFF(CMPIBrokerExtFT, newCondition, 128, 64);
PIN_OFF(CMPIBrokerExtFT, destroyCondition, 136, 68);
PIN_OFF(CMPIBrokerExtFT, condWait, 144, 72);
PIN_OFF(CMPIBrokerExtFT, timedCondWait, 152, 76);
PIN_OFF(CMPIBrokerExtFT, signalCondition, 160, 80);

PIN_SIZE(CMPIBrokerMemFT, 120, 60);
PIN_OFF(CMPIBrokerMemFT, ftVersion, 0, 0);
PIN_OFF(CMPIBrokerMemFT, mark, 8, 4);
PIN_OFF(CMPIBrokerMemFT, release, 16, 8);
PIN_OFF(CMPIBrokerMemFT, cmpiMalloc, 24, 12);
PIN_OFF(CMPIBrokerMemFT, cmpiCalloc, 32, 16);
PIN_OFF(CMPIBrokerMemFT, cmpiRealloc, 40, 20);
PIN_OFF(CMPIBrokerMemFT, cmpiStrDup, 48, 24);
PIN_OFF(CMPIBrokerMemFT, cmpiFree, 56, 28);
PIN_OFF(CMPIBrokerMemFT, freeInstance, 64, 32);
PIN_OFF(CMPIBrokerMemFT, freeObjectPath, 72, 36);
PIN_OFF(CMPIBrokerMemFT, freeArgs, 80, 40);
PIN_OFF(CMPIBrokerMemFT, freeString, 88, 44);
PIN_OFF(CMPIBrokerMemFT, freeArray, 96, 48);
PIN_OFF(CMPIBrokerMemFT, freeDateTime, 104, 52);
PIN_OFF(CMPIBrokerMemFT, freeSelectExp, 112, 56);

PIN_SIZE(CMPIBroker, 40, 20);
PIN_OFF(CMPIBroker, hdl, 0, 0);
PIN_OFF(CMPIBroker, bft, 8, 4);
PIN_OFF(CMPIBroker, eft, 16, 8);
PIN_OFF(CMPIBroker, xft, 24, 12);
PIN_OFF(CMPIBroker, mft, 32, 16);

PIN_SIZE(CMPIContextFT, 56, 28);
PIN_OFF(CMPIContextFT, ftVersion, 0, 0);
PIN_OFF(CMPIContextFT, release, 8, 4);
PIN_OFF(CMPIContextFT, clone, 16, 8);
PIN_OFF(CMPIContextFT, getEntry, 24, 12);
PIN_OFF(CMPIContextFT, getEntryAt, 32, 16);
PIN_OFF(CMPIContextFT, getEntryCount, 40, 20);
PIN_OFF(CMPIContextFT, addEntry, 48, 24);

PIN_SIZE(CMPIResultFT, 64, 32);
PIN_OFF(CMPIResultFT, ftVersion, 0, 0);
PIN_OFF(CMPIResultFT, release, 8, 4);
PIN_OFF(CMPIResultFT, clone, 16, 8);
PIN_OFF(CMPIResultFT, returnData, 24, 12);
PIN_OFF(CMPIResultFT, returnInstance, 32, 16);
PIN_OFF(CMPIResultFT, returnObjectPath, 40, 20);
PIN_OFF(CMPIResultFT, returnDone, 48, 24);
PIN_OFF(CMPIResultFT, returnError, 56, 28);

PIN_SIZE(CMPIErrorFT, 216, 108);
PIN_OFF(CMPIErrorFT, ftVersion, 0, 0);
PIN_OFF(CMPIErrorFT, release, 8, 4);
PIN_OFF(CMPIErrorFT, clone, 16, 8);
PIN_OFF(CMPIErrorFT, getErrorType, 24, 12);
PIN_OFF(CMPIErrorFT, getOtherErrorType, 32, 16);
PIN_OFF(CMPIErrorFT, getOwningEntity, 40, 20);
PIN_OFF(CMPIErrorFT, getMessageID, 48, 24);
PIN_OFF(CMPIErrorFT, getMessage, 56, 28);
PIN_OFF(CMPIErrorFT, getPerceivedSeverity, 64, 32);
PIN_OFF(CMPIErrorFT, getProbableCause, 72, 36);
PIN_OFF(CMPIErrorFT, getProbableCauseDescription, 80, 40);
PIN_OFF(CMPIErrorFT, getRecommendedActions, 88, 44);
PIN_OFF(CMPIErrorFT, getErrorSource, 96, 48);
PIN_OFF(CMPIErrorFT, getErrorSourceFormat, 104, 52);
PIN_OFF(CMPIErrorFT, getOtherErrorSourceFormat, 112, 56);
PIN_OFF(CMPIErrorFT, getCIMStatusCode, 120, 60);
PIN_OFF(CMPIErrorFT, getCIMStatusCodeDescription, 128, 64);
PIN_OFF(CMPIErrorFT, getMessageArguments, 136, 68);
PIN_OFF(CMPIErrorFT, setErrorType, 144, 72);
PIN_OFF(CMPIErrorFT, setOtherErrorType, 152, 76);
PIN_OFF(CMPIErrorFT, setProbableCauseDescription, 160, 80);
PIN_OFF(CMPIErrorFT, setRecommendedActions, 168, 84);
PIN_OFF(CMPIErrorFT, setErrorSource, 176, 88);
PIN_OFF(CMPIErrorFT, setErrorSourceFormat, 184, 92);
PIN_OFF(CMPIErrorFT, setOtherErrorSourceFormat, 192, 96);
PIN_OFF(CMPIErrorFT, setCIMStatusCodeDescription, 200, 100);
PIN_OFF(CMPIErrorFT, setMessageArguments, 208, 104);

PIN_SIZE(CMPIInstanceFT, 88, 44);
PIN_OFF(CMPIInstanceFT, ftVersion, 0, 0);
PIN_OFF(CMPIInstanceFT, release, 8, 4);
PIN_OFF(CMPIInstanceFT, clone, 16, 8);
PIN_OFF(CMPIInstanceFT, getProperty, 24, 12);
PIN_OFF(CMPIInstanceFT, getPropertyAt, 32, 16);
PIN_OFF(CMPIInstanceFT, getPropertyCount, 40, 20);
PIN_OFF(CMPIInstanceFT, setProperty, 48, 24);
PIN_OFF(CMPIInstanceFT, getObjectPath, 56, 28);
PIN_OFF(CMPIInstanceFT, setPropertyFilter, 64, 32);
PIN_OFF(CMPIInstanceFT, setObjectPath, 72, 36);
PIN_OFF(CMPIInstanceFT, setPropertyWithOrigin, 80, 40);

PIN_SIZE(CMPIObjectPathFT, 160, 80);
PIN_OFF(CMPIObjectPathFT, ftVersion, 0, 0);
PIN_OFF(CMPIObjectPathFT, release, 8, 4);
PIN_OFF(CMPIObjectPathFT, clone, 16, 8);
PIN_OFF(CMPIObjectPathFT, setNameSpace, 24, 12);
PIN_OFF(CMPIObjectPathFT, getNameSpace, 32, 16);
PIN_OFF(CMPIObjectPathFT, setHostname, 40, 20);
PIN_OFF(CMPIObjectPathFT, getHostname, 48, 24);
PIN_OFF(CMPIObjectPathFT, setClassName, 56, 28);
PIN_OFF(CMPIObjectPathFT, getClassName, 64, 32);
PIN_OFF(CMPIObjectPathFT, addKey, 72, 36);
PIN_OFF(CMPIObjectPathFT, getKey, 80, 40);
PIN_OFF(CMPIObjectPathFT, getKeyAt, 88, 44);
PIN_OFF(CMPIObjectPathFT, getKeyCount, 96, 48);
PIN_OFF(CMPIObjectPathFT, setNameSpaceFromObjectPath, 104, 52);
PIN_OFF(CMPIObjectPathFT, setHostAndNameSpaceFromObjectPath, 112, 56);
PIN_OFF(CMPIObjectPathFT, getClassQualifier, 120, 60);
PIN_OFF(CMPIObjectPathFT, getPropertyQualifier, 128, 64);
PIN_OFF(CMPIObjectPathFT, getMethodQualifier, 136, 68);
PIN_OFF(CMPIObjectPathFT, getParameterQualifier, 144, 72);
PIN_OFF(CMPIObjectPathFT, toString, 152, 76);

PIN_SIZE(CMPISelectExpFT, 64, 32);
PIN_OFF(CMPISelectExpFT, ftVersion, 0, 0);
PIN_OFF(CMPISelectExpFT, release, 8, 4);
PIN_OFF(CMPISelectExpFT, clone, 16, 8);
PIN_OFF(CMPISelectExpFT, evaluate, 24, 12);
PIN_OFF(CMPISelectExpFT, getString, 32, 16);
PIN_OFF(CMPISelectExpFT, getDOC, 40, 20);
PIN_OFF(CMPISelectExpFT, getCOD, 48, 24);
PIN_OFF(CMPISelectExpFT, evaluateUsingAccessor, 56, 28);

PIN_SIZE(CMPISelectCondFT, 40, 20);
PIN_OFF(CMPISelectCondFT, ftVersion, 0, 0);
PIN_OFF(CMPISelectCondFT, release, 8, 4);
PIN_OFF(CMPISelectCondFT, clone, 16, 8);
PIN_OFF(CMPISelectCondFT, getCountAndType, 24, 12);
PIN_OFF(CMPISelectCondFT, getSubCondAt, 32, 16);

PIN_SIZE(CMPISubCondFT, 48, 24);
PIN_OFF(CMPISubCondFT, ftVersion, 0, 0);
PIN_OFF(CMPISubCondFT, release, 8, 4);
PIN_OFF(CMPISubCondFT, clone, 16, 8);
PIN_OFF(CMPISubCondFT, getCount, 24, 12);
PIN_OFF(CMPISubCondFT, getPredicateAt, 32, 16);
PIN_OFF(CMPISubCondFT, getPredicate, 40, 20);

PIN_SIZE(CMPIPredicateFT, 40, 20);
PIN_OFF(CMPIPredicateFT, ftVersion, 0, 0);
PIN_OFF(CMPIPredicateFT, release, 8, 4);
PIN_OFF(CMPIPredicateFT, clone, 16, 8);
PIN_OFF(CMPIPredicateFT, getData, 24, 12);
PIN_OFF(CMPIPredicateFT, evaluateUsingAccessor, 32, 16);

PIN_SIZE(CMPIArgsFT, 56, 28);
PIN_OFF(CMPIArgsFT, ftVersion, 0, 0);
PIN_OFF(CMPIArgsFT, release, 8, 4);
PIN_OFF(CMPIArgsFT, clone, 16, 8);
PIN_OFF(CMPIArgsFT, addArg, 24, 12);
PIN_OFF(CMPIArgsFT, getArg, 32, 16);
PIN_OFF(CMPIArgsFT, getArgAt, 40, 20);
PIN_OFF(CMPIArgsFT, getArgCount, 48, 24);

PIN_SIZE(CMPIStringFT, 32, 16);
PIN_OFF(CMPIStringFT, ftVersion, 0, 0);
PIN_OFF(CMPIStringFT, release, 8, 4);
PIN_OFF(CMPIStringFT, clone, 16, 8);
PIN_OFF(CMPIStringFT, getCharPtr, 24, 12);

PIN_SIZE(CMPIArrayFT, 56, 28);
PIN_OFF(CMPIArrayFT, ftVersion, 0, 0);
PIN_OFF(CMPIArrayFT, release, 8, 4);
PIN_OFF(CMPIArrayFT, clone, 16, 8);
PIN_OFF(CMPIArrayFT, getSize, 24, 12);
PIN_OFF(CMPIArrayFT, getSimpleType, 32, 16);
PIN_OFF(CMPIArrayFT, getElementAt, 40, 20);
PIN_OFF(CMPIArrayFT, setElementAt, 48, 24);

PIN_SIZE(CMPIEnumerationFT, 48, 24);
PIN_OFF(CMPIEnumerationFT, ftVersion, 0, 0);
PIN_OFF(CMPIEnumerationFT, release, 8, 4);
PIN_OFF(CMPIEnumerationFT, clone, 16, 8);
PIN_OFF(CMPIEnumerationFT, getNext, 24, 12);
PIN_OFF(CMPIEnumerationFT, hasNext, 32, 16);
PIN_OFF(CMPIEnumerationFT, toArray, 40, 20);

PIN_SIZE(CMPIDateTimeFT, 48, 24);
PIN_OFF(CMPIDateTimeFT, ftVersion, 0, 0);
PIN_OFF(CMPIDateTimeFT, release, 8, 4);
PIN_OFF(CMPIDateTimeFT, clone, 16, 8);
PIN_OFF(CMPIDateTimeFT, getBinaryFormat, 24, 12);
PIN_OFF(CMPIDateTimeFT, getStringFormat, 32, 16);
PIN_OFF(CMPIDateTimeFT, isInterval, 40, 20);

PIN_SIZE(CMPIInstanceMIFT, 80, 44);
PIN_OFF(CMPIInstanceMIFT, ftVersion, 0, 0);
PIN_OFF(CMPIInstanceMIFT, miVersion, 4, 4);
PIN_OFF(CMPIInstanceMIFT, miName, 8, 8);
PIN_OFF(CMPIInstanceMIFT, cleanup, 16, 12);
PIN_OFF(CMPIInstanceMIFT, enumerateInstanceNames, 24, 16);
PIN_OFF(CMPIInstanceMIFT, enumerateInstances, 32, 20);
PIN_OFF(CMPIInstanceMIFT, getInstance, 40, 24);
PIN_OFF(CMPIInstanceMIFT, createInstance, 48, 28);
PIN_OFF(CMPIInstanceMIFT, modifyInstance, 56, 32);
PIN_OFF(CMPIInstanceMIFT, deleteInstance, 64, 36);
PIN_OFF(CMPIInstanceMIFT, execQuery, 72, 40);

PIN_SIZE(CMPIAssociationMIFT, 56, 32);
PIN_OFF(CMPIAssociationMIFT, ftVersion, 0, 0);
PIN_OFF(CMPIAssociationMIFT, miVersion, 4, 4);
PIN_OFF(CMPIAssociationMIFT, miName, 8, 8);
PIN_OFF(CMPIAssociationMIFT, cleanup, 16, 12);
PIN_OFF(CMPIAssociationMIFT, associators, 24, 16);
PIN_OFF(CMPIAssociationMIFT, associatorNames, 32, 20);
PIN_OFF(CMPIAssociationMIFT, references, 40, 24);
PIN_OFF(CMPIAssociationMIFT, referenceNames, 48, 28);

PIN_SIZE(CMPIMethodMIFT, 32, 20);
PIN_OFF(CMPIMethodMIFT, ftVersion, 0, 0);
PIN_OFF(CMPIMethodMIFT, miVersion, 4, 4);
PIN_OFF(CMPIMethodMIFT, miName, 8, 8);
PIN_OFF(CMPIMethodMIFT, cleanup, 16, 12);
PIN_OFF(CMPIMethodMIFT, invokeMethod, 24, 16);

PIN_SIZE(CMPIPropertyMIFT, 48, 28);
PIN_OFF(CMPIPropertyMIFT, ftVersion, 0, 0);
PIN_OFF(CMPIPropertyMIFT, miVersion, 4, 4);
PIN_OFF(CMPIPropertyMIFT, miName, 8, 8);
PIN_OFF(CMPIPropertyMIFT, cleanup, 16, 12);
PIN_OFF(CMPIPropertyMIFT, setProperty, 24, 16);
PIN_OFF(CMPIPropertyMIFT, getProperty, 32, 20);
PIN_OFF(CMPIPropertyMIFT, setPropertyWithOrigin, 40, 24);

PIN_SIZE(CMPIIndicationMIFT, 72, 40);
PIN_OFF(CMPIIndicationMIFT, ftVersion, 0, 0);
PIN_OFF(CMPIIndicationMIFT, miVersion, 4, 4);
PIN_OFF(CMPIIndicationMIFT, miName, 8, 8);
PIN_OFF(CMPIIndicationMIFT, cleanup, 16, 12);
PIN_OFF(CMPIIndicationMIFT, authorizeFilter, 24, 16);
PIN_OFF(CMPIIndicationMIFT, mustPoll, 32, 20);
PIN_OFF(CMPIIndicationMIFT, activateFilter, 40, 24);
PIN_OFF(CMPIIndicationMIFT, deActivateFilter, 48, 28);
PIN_OFF(CMPIIndicationMIFT, enableIndications, 56, 32);
PIN_OFF(CMPIIndicationMIFT, disableIndications, 64, 36);

// Signatures of the entries a provider implements or calls.  Offsets alone
// would not notice a parameter of the wrong type.
#define PIN_SIG(T, m, ...) \
    static_assert(std::is_same<decltype(T::m), __VA_ARGS__>::value, #T "." #m)

PIN_SIG(CMPIInstanceMIFT, cleanup,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *, CMPIBoolean));
PIN_SIG(CMPIInstanceMIFT, enumerateInstanceNames,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *));
PIN_SIG(CMPIInstanceMIFT, enumerateInstances,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *,
                       const char **));
PIN_SIG(CMPIInstanceMIFT, getInstance,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *,
                       const char **));
PIN_SIG(CMPIInstanceMIFT, createInstance,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *,
                       const CMPIInstance *));
PIN_SIG(CMPIInstanceMIFT, modifyInstance,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *,
                       const CMPIInstance *, const char **));
PIN_SIG(CMPIInstanceMIFT, deleteInstance,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *));
PIN_SIG(CMPIInstanceMIFT, execQuery,
        CMPIStatus (*)(CMPIInstanceMI *, const CMPIContext *,
                       const CMPIResult *, const CMPIObjectPath *,
                       const char *, const char *));
static_assert(std::is_same<decltype(CMPIInstanceMIFT::ftVersion), int>::value,
              "ftVersion is a plain int");
static_assert(std::is_same<decltype(CMPIInstanceMIFT::miVersion), int>::value,
              "miVersion is a plain int");

PIN_SIG(CMPIBrokerEncFT, newInstance,
        CMPIInstance *(*)(const CMPIBroker *, const CMPIObjectPath *,
                          CMPIStatus *));
PIN_SIG(CMPIBrokerEncFT, newObjectPath,
        CMPIObjectPath *(*)(const CMPIBroker *, const char *, const char *,
                            CMPIStatus *));
PIN_SIG(CMPIBrokerEncFT, newString,
        CMPIString *(*)(const CMPIBroker *, const char *, CMPIStatus *));
PIN_SIG(CMPIBrokerEncFT, newArray,
        CMPIArray *(*)(const CMPIBroker *, CMPICount, CMPIType, CMPIStatus *));
PIN_SIG(CMPIBrokerEncFT, newDateTimeFromBinary,
        CMPIDateTime *(*)(const CMPIBroker *, CMPIUint64, CMPIBoolean,
                          CMPIStatus *));
PIN_SIG(CMPIBrokerEncFT, getMessage,
        CMPIString *(*)(const CMPIBroker *, const char *, const char *,
                        CMPIStatus *, CMPICount, ...));
PIN_SIG(CMPIBrokerEncFT, logMessage,
        CMPIStatus (*)(const CMPIBroker *, int, const char *, const char *,
                       const CMPIString *));
PIN_SIG(CMPIBrokerExtFT, createThreadKey,
        int (*)(unsigned int *, void (*)(void *)));

PIN_SIG(CMPIObjectPathFT, addKey,
        CMPIStatus (*)(CMPIObjectPath *, const char *, const CMPIValue *,
                       CMPIType));
PIN_SIG(CMPIObjectPathFT, getKey,
        CMPIData (*)(const CMPIObjectPath *, const char *, CMPIStatus *));
PIN_SIG(CMPIObjectPathFT, getNameSpace,
        CMPIString *(*)(const CMPIObjectPath *, CMPIStatus *));
PIN_SIG(CMPIObjectPathFT, getClassName,
        CMPIString *(*)(const CMPIObjectPath *, CMPIStatus *));
PIN_SIG(CMPIInstanceFT, setProperty,
        CMPIStatus (*)(const CMPIInstance *, const char *, const CMPIValue *,
                       CMPIType));
PIN_SIG(CMPIInstanceFT, setPropertyFilter,
        CMPIStatus (*)(CMPIInstance *, const char **, const char **));
PIN_SIG(CMPIResultFT, returnInstance,
        CMPIStatus (*)(const CMPIResult *, const CMPIInstance *));
PIN_SIG(CMPIResultFT, returnObjectPath,
        CMPIStatus (*)(const CMPIResult *, const CMPIObjectPath *));
PIN_SIG(CMPIResultFT, returnDone, CMPIStatus (*)(const CMPIResult *));
PIN_SIG(CMPIStringFT, getCharPtr,
        const char *(*)(const CMPIString *, CMPIStatus *));
PIN_SIG(CMPIContextFT, getEntry,
        CMPIData (*)(const CMPIContext *, const char *, CMPIStatus *));
PIN_SIG(CMPIArrayFT, setElementAt,
        CMPIStatus (*)(CMPIArray *, CMPICount, const CMPIValue *, CMPIType));

// ---------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------

TEST(CmpiConstants, TypeCodes)
{
    EXPECT_EQ(0x0000, CMPI_null);
    EXPECT_EQ(0x0002, CMPI_boolean);
    EXPECT_EQ(0x0003, CMPI_char16);
    EXPECT_EQ(0x0008, CMPI_real32);
    EXPECT_EQ(0x000C, CMPI_real64);
    EXPECT_EQ(0x0080, CMPI_uint8);
    EXPECT_EQ(0x0090, CMPI_uint16);
    EXPECT_EQ(0x00A0, CMPI_uint32);
    EXPECT_EQ(0x00B0, CMPI_uint64);
    EXPECT_EQ(0x00C0, CMPI_sint8);
    EXPECT_EQ(0x00D0, CMPI_sint16);
    EXPECT_EQ(0x00E0, CMPI_sint32);
    EXPECT_EQ(0x00F0, CMPI_sint64);
    EXPECT_EQ(0x1000, CMPI_instance);
    EXPECT_EQ(0x1100, CMPI_ref);
    EXPECT_EQ(0x1200, CMPI_args);
    EXPECT_EQ(0x1300, CMPI_class);
    EXPECT_EQ(0x1400, CMPI_filter);
    EXPECT_EQ(0x1500, CMPI_enumeration);
    EXPECT_EQ(0x1600, CMPI_string);
    EXPECT_EQ(0x1700, CMPI_chars);
    EXPECT_EQ(0x1800, CMPI_dateTime);
    EXPECT_EQ(0x1900, CMPI_ptr);
    EXPECT_EQ(0x1A00, CMPI_charsptr);
    EXPECT_EQ(0x2000, CMPI_ARRAY);

    // Masks.
    EXPECT_EQ(0x0002, CMPI_SIMPLE);
    EXPECT_EQ(0x0008, CMPI_REAL);
    EXPECT_EQ(0x0080, CMPI_UINT);
    EXPECT_EQ(0x00C0, CMPI_SINT);
    EXPECT_EQ(0x00C0, CMPI_INTEGER);
    EXPECT_EQ(0x1000, CMPI_ENC);
}

TEST(CmpiConstants, ArrayCodesSetBit13OnTheElementCode)
{
    EXPECT_EQ(0x2002, CMPI_SIMPLEA);
    EXPECT_EQ(0x2002, CMPI_booleanA);
    EXPECT_EQ(0x2003, CMPI_char16A);
    EXPECT_EQ(0x2008, CMPI_REALA);
    EXPECT_EQ(0x2008, CMPI_real32A);
    EXPECT_EQ(0x200C, CMPI_real64A);
    EXPECT_EQ(0x2080, CMPI_UINTA);
    EXPECT_EQ(0x2080, CMPI_uint8A);
    EXPECT_EQ(0x2090, CMPI_uint16A);
    EXPECT_EQ(0x20A0, CMPI_uint32A);
    EXPECT_EQ(0x20B0, CMPI_uint64A);
    EXPECT_EQ(0x20C0, CMPI_SINTA);
    EXPECT_EQ(0x20C0, CMPI_sint8A);
    EXPECT_EQ(0x20D0, CMPI_sint16A);
    EXPECT_EQ(0x20E0, CMPI_sint32A);
    EXPECT_EQ(0x20F0, CMPI_sint64A);
    EXPECT_EQ(0x20C0, CMPI_INTEGERA);
    EXPECT_EQ(0x3000, CMPI_ENCA);
    EXPECT_EQ(0x3000, CMPI_instanceA);
    EXPECT_EQ(0x3100, CMPI_refA);
    EXPECT_EQ(0x3600, CMPI_stringA);
    EXPECT_EQ(0x3700, CMPI_charsA);
    EXPECT_EQ(0x3800, CMPI_dateTimeA);
    EXPECT_EQ(0x3A00, CMPI_charsptrA);
}

TEST(CmpiConstants, SynonymsAndQueryOperandTypes)
{
    EXPECT_EQ(0x00F0, CMPI_keyInteger);
    EXPECT_EQ(0x1600, CMPI_keyString);
    EXPECT_EQ(0x0002, CMPI_keyBoolean);
    EXPECT_EQ(0x1100, CMPI_keyRef);

    EXPECT_EQ(CMPI_sint8, CMPI_Byte);
    EXPECT_EQ(CMPI_sint16, CMPI_Short);
    EXPECT_EQ(CMPI_sint32, CMPI_Int);
    EXPECT_EQ(CMPI_sint64, CMPI_Long);
    EXPECT_EQ(CMPI_real32, CMPI_Float);
    EXPECT_EQ(CMPI_real64, CMPI_Double);
    EXPECT_EQ(CMPI_sint8A, CMPI_ByteA);
    EXPECT_EQ(CMPI_real64A, CMPI_DoubleA);

    EXPECT_EQ(0x1600, CMPI_charString);
    EXPECT_EQ(0x16F0, CMPI_integerString);
    EXPECT_EQ(0x160C, CMPI_realString);
    EXPECT_EQ(0x16FC, CMPI_numericString);
    EXPECT_EQ(0x1602, CMPI_booleanString);
    EXPECT_EQ(0x1E00, CMPI_dateTimeString);
    EXPECT_EQ(0x1700, CMPI_classNameString);
    EXPECT_EQ(0x1E00, CMPI_nameString);
}

TEST(CmpiConstants, ReturnCodes)
{
    EXPECT_EQ(0, CMPI_RC_OK);
    EXPECT_EQ(1, CMPI_RC_ERR_FAILED);
    EXPECT_EQ(2, CMPI_RC_ERR_ACCESS_DENIED);
    EXPECT_EQ(3, CMPI_RC_ERR_INVALID_NAMESPACE);
    EXPECT_EQ(4, CMPI_RC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(5, CMPI_RC_ERR_INVALID_CLASS);
    EXPECT_EQ(6, CMPI_RC_ERR_NOT_FOUND);
    EXPECT_EQ(7, CMPI_RC_ERR_NOT_SUPPORTED);
    EXPECT_EQ(8, CMPI_RC_ERR_CLASS_HAS_CHILDREN);
    EXPECT_EQ(9, CMPI_RC_ERR_CLASS_HAS_INSTANCES);
    EXPECT_EQ(10, CMPI_RC_ERR_INVALID_SUPERCLASS);
    EXPECT_EQ(11, CMPI_RC_ERR_ALREADY_EXISTS);
    EXPECT_EQ(12, CMPI_RC_ERR_NO_SUCH_PROPERTY);
    EXPECT_EQ(13, CMPI_RC_ERR_TYPE_MISMATCH);
    EXPECT_EQ(14, CMPI_RC_ERR_QUERY_LANGUAGE_NOT_SUPPORTED);
    EXPECT_EQ(15, CMPI_RC_ERR_INVALID_QUERY);
    EXPECT_EQ(16, CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
    EXPECT_EQ(17, CMPI_RC_ERR_METHOD_NOT_FOUND);
    EXPECT_EQ(18, CMPI_RC_NO_MORE_ELEMENTS);
    EXPECT_EQ(27, CMPI_RC_ERR_SERVER_LIMITS_EXCEEDED);
    EXPECT_EQ(29, CMPI_RC_ERR_QUERY_FEATURE_NOT_SUPPORTED);
    EXPECT_EQ(50, CMPI_RC_DO_NOT_UNLOAD);
    EXPECT_EQ(51, CMPI_RC_NEVER_UNLOAD);
    EXPECT_EQ(60, CMPI_RC_ERR_INVALID_HANDLE);
    EXPECT_EQ(61, CMPI_RC_ERR_INVALID_DATA_TYPE);
    EXPECT_EQ(62, CMPI_RC_ERR_NOT_IN_CODEPAGE);
    EXPECT_EQ(100, CMPI_RC_ERROR_SYSTEM);
    EXPECT_EQ(200, CMPI_RC_ERROR);
}

TEST(CmpiConstants, StatesFlagsAndVersions)
{
    EXPECT_EQ(0x0000, CMPI_goodValue);
    EXPECT_EQ(0x0100, CMPI_nullValue);
    EXPECT_EQ(0x0200, CMPI_keyValue);
    EXPECT_EQ(0x0400, CMPI_notFound);
    EXPECT_EQ(0x8000, CMPI_badValue);

    EXPECT_EQ(1, CMPI_FLAG_LocalOnly);
    EXPECT_EQ(2, CMPI_FLAG_DeepInheritance);
    EXPECT_EQ(4, CMPI_FLAG_IncludeQualifiers);
    EXPECT_EQ(8, CMPI_FLAG_IncludeClassOrigin);

    EXPECT_STREQ("CMPIPrincipal", CMPIPrincipal);
    EXPECT_STREQ("CMPIInvocationFlags", CMPIInvocationFlags);
    EXPECT_STREQ("CMPIInitNameSpace", CMPIInitNameSpace);
    EXPECT_STREQ("CMPIRole", CMPIRole);
    EXPECT_STREQ("CMPIAcceptLanguage", CMPIAcceptLanguage);
    EXPECT_STREQ("CMPIContentLanguage", CMPIContentLanguage);

    EXPECT_EQ(0x7, CMPI_MB_Class_2);
    EXPECT_EQ(0x3000, CMPI_MB_Supports_Schema);
    EXPECT_EQ(0x8000, CMPI_MB_Supports_Extended_Error);
    EXPECT_EQ(0x47, CMPI_MB_BasicQualifierSupport);
    EXPECT_EQ(0x100, CMPI_MB_OSEncapsulationSupport);

    EXPECT_EQ(200, CMPI_VERSION);
    EXPECT_EQ(200, CMPICurrentVersion);
    EXPECT_EQ(200, CMPIVersion200);
    EXPECT_EQ(100, CMPIVersion100);

    EXPECT_EQ(1, CMPI_PredOp_Equals);
    EXPECT_EQ(10, CMPI_PredOp_NotLike);
    EXPECT_EQ(14, CMPI_PredOp_Or);
    EXPECT_EQ(4, CMPI_DEV_DEBUG);
    EXPECT_EQ(3, CMPI_LEV_VERBOSE);
    EXPECT_EQ(1, CMPI_COND_COD);
    EXPECT_EQ(5, ErrorSevFatal);
    EXPECT_EQ(2, CIMObjectHandle);
}

#define CMPI_TEST_STR2(x) #x
#define CMPI_TEST_STR(x) CMPI_TEST_STR2(x)

TEST(CmpiConstants, FactoriesGetDefaultVisibility)
{
    // The library is built with -fvisibility=hidden; an empty CMPI_EXPORT
    // would leave the CIMOM unable to find any factory.
    const std::string exported = CMPI_TEST_STR(CMPI_EXPORT);
    EXPECT_NE(std::string::npos, exported.find("visibility(\"default\")"))
        << exported;
    const std::string externC = CMPI_TEST_STR(CMPI_EXTERN_C);
    EXPECT_EQ(0u, externC.find("extern \"C\"")) << externC;
}

// ---------------------------------------------------------------------
// Macros, against a minimal fake broker
// ---------------------------------------------------------------------

namespace {

struct Recorded {
    int calls = 0;
    const char *name = nullptr;
    const CMPIValue *value = nullptr;
    CMPIType type = 0;
    const char *newStringText = nullptr;
};
Recorded rec;

CMPIStatus okStatus()
{
    CMPIStatus st;
    st.rc = CMPI_RC_OK;
    st.msg = nullptr;
    return st;
}

CMPIStatus fakeSetProperty(const CMPIInstance *, const char *name,
                           const CMPIValue *value, CMPIType type)
{
    ++rec.calls;
    rec.name = name;
    rec.value = value;
    rec.type = type;
    return okStatus();
}

CMPIStatus fakeAddKey(CMPIObjectPath *, const char *name,
                      const CMPIValue *value, CMPIType type)
{
    ++rec.calls;
    rec.name = name;
    rec.value = value;
    rec.type = type;
    return okStatus();
}

const char *fakeGetCharPtr(const CMPIString *s, CMPIStatus *rc)
{
    CMSetStatus(rc, CMPI_RC_OK);
    return static_cast<const char *>(s->hdl);
}

CMPIStringFT fakeStringFT = {200, nullptr, nullptr, fakeGetCharPtr};
char fakeStringText[] = "from the broker";
CMPIString fakeString = {fakeStringText, &fakeStringFT};

CMPIString *fakeNewString(const CMPIBroker *, const char *text, CMPIStatus *)
{
    rec.newStringText = text;
    return &fakeString;
}

CMPIBrokerEncFT makeEncFT()
{
    CMPIBrokerEncFT eft;
    std::memset(&eft, 0, sizeof eft);
    eft.ftVersion = 200;
    eft.newString = fakeNewString;
    return eft;
}
CMPIBrokerEncFT fakeEncFT = makeEncFT();
CMPIBroker fakeBroker = {nullptr, nullptr, &fakeEncFT, nullptr, nullptr};

CMPIStatus returnsNotFound()
{
    CMReturn(CMPI_RC_ERR_NOT_FOUND);
}

CMPIStatus returnsWithChars(const CMPIBroker *b)
{
    CMReturnWithChars(b, CMPI_RC_ERR_FAILED, "no BMC");
}

} // namespace

TEST(CmpiMacros, CharsValuesPassThePointerItself)
{
    CMPIInstanceFT ift;
    std::memset(&ift, 0, sizeof ift);
    ift.setProperty = fakeSetProperty;
    CMPIInstance inst = {nullptr, &ift};
    const char *text = "Fan 1";

    rec = Recorded();
    CMSetProperty(&inst, "ElementName", text, CMPI_chars);
    EXPECT_EQ(1, rec.calls);
    EXPECT_STREQ("ElementName", rec.name);
    // The broker reads the text at the value pointer, not a CMPIValue
    // holding a pointer to it.
    EXPECT_EQ(static_cast<const void *>(text),
              static_cast<const void *>(rec.value));
    EXPECT_EQ(CMPI_chars, rec.type);

    CMPIObjectPathFT oft;
    std::memset(&oft, 0, sizeof oft);
    oft.addKey = fakeAddKey;
    CMPIObjectPath op = {nullptr, &oft};
    CMPIUint16 id = 0x1234;
    rec = Recorded();
    CMAddKey(&op, "DeviceID", &id, CMPI_uint16);
    EXPECT_EQ(1, rec.calls);
    EXPECT_EQ(CMPI_uint16, rec.type);
    EXPECT_EQ(0x1234, rec.value->uint16);
}

TEST(CmpiMacros, StatusHelpers)
{
    CMPIStatus st = returnsNotFound();
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, st.rc);
    EXPECT_EQ(nullptr, st.msg);

    rec = Recorded();
    st = returnsWithChars(&fakeBroker);
    EXPECT_EQ(CMPI_RC_ERR_FAILED, st.rc);
    EXPECT_EQ(&fakeString, st.msg);
    EXPECT_STREQ("no BMC", rec.newStringText);

    // Without a broker there is nobody to make the message; no crash.
    st = returnsWithChars(nullptr);
    EXPECT_EQ(CMPI_RC_ERR_FAILED, st.rc);
    EXPECT_EQ(nullptr, st.msg);

    st.rc = CMPI_RC_ERR_FAILED;
    st.msg = &fakeString;
    CMSetStatus(&st, CMPI_RC_OK);
    EXPECT_EQ(CMPI_RC_OK, st.rc);
    EXPECT_EQ(nullptr, st.msg);
    CMSetStatusWithChars(&fakeBroker, &st, CMPI_RC_ERR_NOT_SUPPORTED, "x");
    EXPECT_EQ(CMPI_RC_ERR_NOT_SUPPORTED, st.rc);
    EXPECT_EQ(&fakeString, st.msg);

    // Status out-parameters are optional.
    CMPIStatus *none = nullptr;
    CMSetStatus(none, CMPI_RC_ERR_FAILED);
    CMSetStatusWithString(none, CMPI_RC_ERR_FAILED, &fakeString);
    CMSetStatusWithChars(&fakeBroker, none, CMPI_RC_ERR_FAILED, "x");
}

TEST(CmpiMacros, ObjectAndDataPredicates)
{
    EXPECT_STREQ("from the broker", CMGetCharPtr(&fakeString));
    CMPIStatus st = {CMPI_RC_ERR_FAILED, nullptr};
    EXPECT_STREQ("from the broker", CMGetCharsPtr(&fakeString, &st));
    EXPECT_EQ(CMPI_RC_OK, st.rc);

    const CMPIInstance *noInst = nullptr;
    CMPIInstance emptyInst = {nullptr, nullptr};
    EXPECT_TRUE(CMIsNullObject(noInst));
    EXPECT_TRUE(CMIsNullObject(&emptyInst));
    EXPECT_FALSE(CMIsNullObject(&fakeString));

    CMPIData d;
    std::memset(&d, 0, sizeof d);
    d.type = CMPI_stringA;
    d.state = CMPI_nullValue | CMPI_keyValue;
    EXPECT_TRUE(CMIsNullValue(d));
    EXPECT_TRUE(CMIsKeyValue(d));
    EXPECT_TRUE(CMIsArray(d));
    d.state = CMPI_goodValue;
    d.type = CMPI_string;
    EXPECT_FALSE(CMIsNullValue(d));
    EXPECT_FALSE(CMIsArray(d));
}

// ---------------------------------------------------------------------
// Instance MI stub: table slots and factory behaviour
// ---------------------------------------------------------------------

// Each entry answers a different code so a slot mix-up shows.
static CMPIStatus statusOf(CMPIrc rc)
{
    CMPIStatus st;
    st.rc = rc;
    st.msg = nullptr;
    return st;
}
static CMPIStatus StubProvCleanup(CMPIInstanceMI *, const CMPIContext *,
                                  CMPIBoolean)
{
    return statusOf(CMPI_RC_ERR_FAILED);
}
static CMPIStatus StubProvEnumInstanceNames(CMPIInstanceMI *,
                                            const CMPIContext *,
                                            const CMPIResult *,
                                            const CMPIObjectPath *)
{
    return statusOf(CMPI_RC_ERR_ACCESS_DENIED);
}
static CMPIStatus StubProvEnumInstances(CMPIInstanceMI *, const CMPIContext *,
                                        const CMPIResult *,
                                        const CMPIObjectPath *, const char **)
{
    return statusOf(CMPI_RC_ERR_INVALID_NAMESPACE);
}
static CMPIStatus StubProvGetInstance(CMPIInstanceMI *, const CMPIContext *,
                                      const CMPIResult *,
                                      const CMPIObjectPath *, const char **)
{
    return statusOf(CMPI_RC_ERR_INVALID_PARAMETER);
}
static CMPIStatus StubProvCreateInstance(CMPIInstanceMI *, const CMPIContext *,
                                         const CMPIResult *,
                                         const CMPIObjectPath *,
                                         const CMPIInstance *)
{
    return statusOf(CMPI_RC_ERR_INVALID_CLASS);
}
static CMPIStatus StubProvModifyInstance(CMPIInstanceMI *, const CMPIContext *,
                                         const CMPIResult *,
                                         const CMPIObjectPath *,
                                         const CMPIInstance *, const char **)
{
    return statusOf(CMPI_RC_ERR_NOT_FOUND);
}
static CMPIStatus StubProvDeleteInstance(CMPIInstanceMI *, const CMPIContext *,
                                         const CMPIResult *,
                                         const CMPIObjectPath *)
{
    return statusOf(CMPI_RC_ERR_NOT_SUPPORTED);
}
static CMPIStatus StubProvExecQuery(CMPIInstanceMI *, const CMPIContext *,
                                    const CMPIResult *, const CMPIObjectPath *,
                                    const char *, const char *)
{
    return statusOf(CMPI_RC_ERR_CLASS_HAS_CHILDREN);
}

static const CMPIBroker *stubBroker = nullptr;
static int stubHookRuns = 0;

CMInstanceMIStub(StubProv, StubProv_Test, stubBroker, ++stubHookRuns)

TEST(CmpiInstanceMIStub, FactoryFillsTableAndReportsSuccess)
{
    CMPIStatus rc = {CMPI_RC_ERR_FAILED, &fakeString};
    stubHookRuns = 0;
    CMPIInstanceMI *mi =
        StubProv_Test_Create_InstanceMI(&fakeBroker, nullptr, &rc);
    ASSERT_NE(nullptr, mi);
    EXPECT_EQ(CMPI_RC_OK, rc.rc);
    EXPECT_EQ(nullptr, rc.msg);
    EXPECT_EQ(&fakeBroker, stubBroker);
    EXPECT_EQ(1, stubHookRuns);
    EXPECT_EQ(nullptr, mi->hdl);

    const CMPIInstanceMIFT *ft = mi->ft;
    ASSERT_NE(nullptr, ft);
    EXPECT_EQ(200, ft->ftVersion);
    EXPECT_EQ(200, ft->miVersion);
    EXPECT_STREQ("instanceStubProv_Test", ft->miName);
    EXPECT_EQ(CMPI_RC_ERR_FAILED, ft->cleanup(mi, nullptr, 0).rc);
    EXPECT_EQ(CMPI_RC_ERR_ACCESS_DENIED,
              ft->enumerateInstanceNames(mi, nullptr, nullptr, nullptr).rc);
    EXPECT_EQ(CMPI_RC_ERR_INVALID_NAMESPACE,
              ft->enumerateInstances(mi, nullptr, nullptr, nullptr, nullptr)
                  .rc);
    EXPECT_EQ(CMPI_RC_ERR_INVALID_PARAMETER,
              ft->getInstance(mi, nullptr, nullptr, nullptr, nullptr).rc);
    EXPECT_EQ(CMPI_RC_ERR_INVALID_CLASS,
              ft->createInstance(mi, nullptr, nullptr, nullptr, nullptr).rc);
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND,
              ft->modifyInstance(mi, nullptr, nullptr, nullptr, nullptr,
                                 nullptr)
                  .rc);
    EXPECT_EQ(CMPI_RC_ERR_NOT_SUPPORTED,
              ft->deleteInstance(mi, nullptr, nullptr, nullptr).rc);
    EXPECT_EQ(CMPI_RC_ERR_CLASS_HAS_CHILDREN,
              ft->execQuery(mi, nullptr, nullptr, nullptr, nullptr, nullptr)
                  .rc);

    // A second load hands out the same object; a NULL status is allowed.
    EXPECT_EQ(mi,
              StubProv_Test_Create_InstanceMI(&fakeBroker, nullptr, nullptr));
    EXPECT_EQ(2, stubHookRuns);
}
