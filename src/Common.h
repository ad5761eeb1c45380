// What every provider of the library shares: the function table and factory, the
// unsupported operations, and the steps that build and return an instance.
#ifndef VKT_COMMON_H
#define VKT_COMMON_H

#include <cmpi/cmpidt.h>
#include <cmpi/cmpift.h>
#include <cmpi/cmpimacs.h>

#include "entry_barrier.h"

#define VKT_NAMESPACE "varkolt/cimv2"

// Closing call of an enumeration; has no effect.
CMPIStatus clearEnv(const CMPIContext* ctx, const CMPIBroker* broker);
// Normalises blanks in place: no leading or trailing white space, inner runs become one
// space. Returns `str`.
char* trim(char* str);

namespace vkt {

inline CMPIStatus status(CMPIrc rc) {
    CMPIStatus st;
    st.rc = rc;
    st.msg = nullptr;
    return st;
}

// Builds one instance: object path in the library's namespace, optional key, instance,
// property filter; then the key as a property and the string properties in the order they
// are set. `filterKeys` is what the filter keeps besides the caller's list (nullptr: the key).
class InstanceBuilder {
public:
    InstanceBuilder(const CMPIBroker* broker, const char* className, const char* keyName, const char* keyValue,
                    const char** properties, const char* const* filterKeys);
    InstanceBuilder(const InstanceBuilder&) = delete;
    InstanceBuilder& operator=(const InstanceBuilder&) = delete;

    // Sets a string property (a null value sets it to null).
    void set(const char* name, const char* value);
    void returnTo(const CMPIResult* rslt);

private:
    CMPIInstance* inst_ = nullptr;
    const char* keyOnly_[2] = {nullptr, nullptr};
};

// CMReturnDone and the closing call, the end of every enumeration that returns data.
void finishEnumeration(const CMPIContext* ctx, const CMPIBroker* broker, const CMPIResult* rslt);

// Runs an enumeration body behind the library's entry barrier; every enumeration answers OK.
template <typename Body>
CMPIStatus runEnumeration(Body&& body) {
    providerBarrier(body);
    return status(CMPI_RC_OK);
}

// Publishes the one instance of an action class: "True" when the BMC accepted the action.
void publishActionResult(const CMPIBroker* broker, const CMPIContext* ctx, const CMPIResult* rslt,
                         const char* className, const char** properties, unsigned char completionCode);

}  // namespace vkt

// Defines everything of a provider but its enumeration body `{Prefix}Enumerate`:
// `{Prefix}broker`, the class and namespace names, the function table with the unsupported
// operations, the instance MI and the exported factory. `cleanupRc` is what Cleanup answers.
#define VKT_PROVIDER(Prefix, className, cleanupRc)                                                            \
    static const CMPIBroker* Prefix##broker = nullptr;                                                        \
    [[maybe_unused]] static const char* const _ClassName = className;                                         \
    [[maybe_unused]] static const char* const _NameSpace = VKT_NAMESPACE;                                     \
    static void Prefix##Enumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties);   \
    static void Prefix##Init() {}                                                                             \
    static CMPIStatus Prefix##Cleanup(CMPIInstanceMI*, const CMPIContext*, CMPIBoolean) {                     \
        return vkt::status(cleanupRc);                                                                        \
    }                                                                                                         \
    static CMPIStatus Prefix##EnumInstanceNames(CMPIInstanceMI*, const CMPIContext*, const CMPIResult*,       \
                                                const CMPIObjectPath*) {                                      \
        return vkt::status(CMPI_RC_ERR_NOT_SUPPORTED);                                                        \
    }                                                                                                         \
    static CMPIStatus Prefix##EnumInstances(CMPIInstanceMI*, const CMPIContext* ctx, const CMPIResult* rslt,  \
                                            const CMPIObjectPath*, const char** properties) {                 \
        return vkt::runEnumeration([&] { Prefix##Enumerate(ctx, rslt, properties); });                       \
    }                                                                                                         \
    static CMPIStatus Prefix##GetInstance(CMPIInstanceMI*, const CMPIContext*, const CMPIResult*,             \
                                          const CMPIObjectPath*, const char**) {                              \
        return vkt::status(CMPI_RC_ERR_NOT_SUPPORTED);                                                        \
    }                                                                                                         \
    static CMPIStatus Prefix##CreateInstance(CMPIInstanceMI*, const CMPIContext*, const CMPIResult*,          \
                                             const CMPIObjectPath*, const CMPIInstance*) {                    \
        return vkt::status(CMPI_RC_ERR_NOT_SUPPORTED);                                                        \
    }                                                                                                         \
    static CMPIStatus Prefix##ModifyInstance(CMPIInstanceMI*, const CMPIContext*, const CMPIResult*,          \
                                             const CMPIObjectPath*, const CMPIInstance*, const char**) {      \
        return vkt::status(CMPI_RC_ERR_NOT_SUPPORTED);                                                        \
    }                                                                                                         \
    static CMPIStatus Prefix##DeleteInstance(CMPIInstanceMI*, const CMPIContext*, const CMPIResult*,          \
                                             const CMPIObjectPath*) {                                         \
        return vkt::status(CMPI_RC_ERR_NOT_SUPPORTED);                                                        \
    }                                                                                                         \
    static CMPIStatus Prefix##ExecQuery(CMPIInstanceMI*, const CMPIContext*, const CMPIResult*,               \
                                        const CMPIObjectPath*, const char*, const char*) {                    \
        return vkt::status(CMPI_RC_ERR_NOT_SUPPORTED);                                                        \
    }                                                                                                         \
    static CMPIInstanceMIFT instMIFT__ = {                                                                    \
        CMPICurrentVersion,         CMPICurrentVersion,        "instance" #Prefix,                            \
        Prefix##Cleanup,            Prefix##EnumInstanceNames, Prefix##EnumInstances,                         \
        Prefix##GetInstance,        Prefix##CreateInstance,    Prefix##ModifyInstance,                        \
        Prefix##DeleteInstance,     Prefix##ExecQuery,                                                        \
    };                                                                                                        \
    static CMPIInstanceMI mi = {nullptr, &instMIFT__};                                                        \
    extern "C" CMPI_EXPORT CMPIInstanceMI* Prefix##_Create_InstanceMI(const CMPIBroker* brkr,                \
                                                                      const CMPIContext*, CMPIStatus* rc) {   \
        Prefix##broker = brkr;                                                                                \
        Prefix##Init();                                                                                       \
        if (rc != nullptr) *rc = vkt::status(CMPI_RC_OK);                                                     \
        return &mi;                                                                                           \
    }                                                                                                         \
    static_assert(true, "")

// A data provider: Cleanup succeeds.
#define VKT_DATA_PROVIDER(Prefix, className) VKT_PROVIDER(Prefix, className, CMPI_RC_OK)

// An action provider: enumerating the class performs `action` (an expression giving the
// completion code) and publishes "VKT_Result". Cleanup is not supported.
#define VKT_ACTION_PROVIDER(Prefix, className, action)                                              \
    VKT_PROVIDER(Prefix, className, CMPI_RC_ERR_NOT_SUPPORTED);                                     \
    static void Prefix##Enumerate(const CMPIContext* ctx, const CMPIResult* rslt,                   \
                                  const char** properties) {                                        \
        const unsigned char code = (action);                                                        \
        vkt::publishActionResult(Prefix##broker, ctx, rslt, _ClassName, properties, code);          \
    }                                                                                               \
    static_assert(true, "")

#endif
