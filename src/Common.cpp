// Shared provider helpers.
#include "Common.h"

#include <cctype>

CMPIStatus clearEnv(const CMPIContext* /*ctx*/, const CMPIBroker* /*broker*/) { return vkt::status(CMPI_RC_OK); }

char* trim(char* str) {
    if (str == nullptr) return str;
    auto blank = [](char c) { return isspace(static_cast<unsigned char>(c)) != 0; };
    char* out = str;
    const char* in = str;
    while (blank(*in)) ++in;
    while (*in != '\0') {
        if (blank(*in)) {
            while (blank(*in)) ++in;
            if (*in == '\0') break;  // trailing run
            *out++ = ' ';
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
    return str;
}

namespace vkt {

InstanceBuilder::InstanceBuilder(const CMPIBroker* broker, const char* className, const char* keyName,
                                 const char* keyValue, const char** properties, const char* const* filterKeys) {
    if (broker == nullptr || broker->eft == nullptr) return;
    CMPIStatus st = status(CMPI_RC_OK);
    CMPIObjectPath* op = CMNewObjectPath(broker, VKT_NAMESPACE, className, &st);
    if (op == nullptr) return;
    if (keyName != nullptr) CMAddKey(op, keyName, keyValue, CMPI_chars);
    inst_ = CMNewInstance(broker, op, &st);
    if (inst_ == nullptr) return;
    // Some CIMOMs leave the property list to the provider and others apply it themselves;
    // filtering in every provider makes both answer a list alike. The key is always kept,
    // or a CIMOM that builds the path from the instance would lose it.
    keyOnly_[0] = keyName;
    CMSetPropertyFilter(inst_, properties, const_cast<const char**>(filterKeys != nullptr ? filterKeys : keyOnly_));
    // A key only on the path shows as a null property in CIMOMs that do not copy the path's
    // keys into the instance; a CIM instance's key is never null.
    if (keyName != nullptr) set(keyName, keyValue);
}

void InstanceBuilder::set(const char* name, const char* value) {
    if (inst_ != nullptr) CMSetProperty(inst_, name, value, CMPI_chars);
}

void InstanceBuilder::returnTo(const CMPIResult* rslt) {
    if (inst_ != nullptr && rslt != nullptr) CMReturnInstance(rslt, inst_);
}

void finishEnumeration(const CMPIContext* ctx, const CMPIBroker* broker, const CMPIResult* rslt) {
    if (rslt != nullptr) CMReturnDone(rslt);
    clearEnv(ctx, broker);
}

void publishActionResult(const CMPIBroker* broker, const CMPIContext* ctx, const CMPIResult* rslt,
                         const char* className, const char** properties, unsigned char completionCode) {
    InstanceBuilder inst(broker, className, nullptr, nullptr, properties, nullptr);
    inst.set("VKT_Result", completionCode == 0 ? "True" : "False");
    inst.returnTo(rslt);
    finishEnumeration(ctx, broker, rslt);
}

}  // namespace vkt
