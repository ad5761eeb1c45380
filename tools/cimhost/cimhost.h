// cimhost: the broker side of CMPI, enough for the calls this library's providers make.
// It loads the provider library with dlopen (or uses the factories linked into the running
// program), finds each factory by name as a CIMOM does, and records what a provider
// returns: class, namespace, keys, properties in the order set (after the property
// filter) and how often the provider signalled the end of its results.
#ifndef TESTKIT_CIMHOST_H
#define TESTKIT_CIMHOST_H

#include <cmpi/cmpidt.h>
#include <cmpi/cmpift.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cimhost {

struct Instance {
    std::string nameSpace;
    std::string className;
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::pair<std::string, std::optional<std::string>>> properties;

    bool has(const std::string& name) const;
    // The property's text ("" when absent or null).
    std::string get(const std::string& name) const;
    std::vector<std::string> propertyNames() const;
    // "varkolt/cimv2:VKT_FRU.deviceID=\"FRU\"".
    std::string path() const;
};

struct EnumResult {
    CMPIrc rc = CMPI_RC_OK;
    std::vector<Instance> instances;
    std::vector<Instance> objectPaths;  // returned with returnObjectPath (keys only)
    int doneCount = 0;
    int dataCount = 0;
};

struct ProviderInfo {
    const char* prefix;
    const char* className;
    bool action;
};

// The library's 24 providers in the order of its documentation.
const std::vector<ProviderInfo>& providers();
// By class name (any case) or provider prefix; nullptr when unknown.
const ProviderInfo* findProvider(const std::string& name);

enum class Operation { EnumInstanceNames, GetInstance, CreateInstance, ModifyInstance, DeleteInstance, ExecQuery };

class Host {
public:
    // Loads the provider library at `path`; nullptr with *error set on failure.
    static std::unique_ptr<Host> load(const std::string& path, std::string* error);
    // Uses the factories of the running program (a test linked with the library's code).
    static std::unique_ptr<Host> inProcess();
    ~Host();

    // Calls {prefix}_Create_InstanceMI with this host's broker. `status` receives what
    // the factory wrote through its status pointer (rc 0xFFFF when it wrote nothing).
    CMPIInstanceMI* factory(const std::string& prefix, CMPIStatus* status = nullptr);
    bool hasSymbol(const std::string& name) const;

    EnumResult enumerate(const std::string& prefix, const char** properties = nullptr);
    EnumResult call(const std::string& prefix, Operation op);
    CMPIStatus cleanup(const std::string& prefix, bool terminating = false);

    const CMPIBroker* broker() const;
    // Object paths and instances made through this host's broker so far.
    size_t brokerObjectCount() const;
    // Lets go of every object the broker made so far, as a CIMOM does when a request ends
    // (results already handed out stay valid). No provider call may be running.
    void releaseBrokerObjects();
    const CMPIContext* context() const;

    struct Impl;

private:
    Host();
    std::unique_ptr<Impl> impl_;
};

}  // namespace cimhost

#endif
