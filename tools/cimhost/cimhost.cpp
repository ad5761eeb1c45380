#include "cimhost.h"

#include "provider_list.h"

#include <dlfcn.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace cimhost {

namespace {

const char* const kNameSpace = "varkolt/cimv2";

bool sameName(const std::string& a, const char* b) { return b != nullptr && strcasecmp(a.c_str(), b) == 0; }

CMPIStatus ok() {
    CMPIStatus st;
    st.rc = CMPI_RC_OK;
    st.msg = nullptr;
    return st;
}

CMPIStatus rcStatus(CMPIrc rc) {
    CMPIStatus st;
    st.rc = rc;
    st.msg = nullptr;
    return st;
}

void setStatus(CMPIStatus* st, CMPIrc rc) {
    if (st != nullptr) {
        st->rc = rc;
        st->msg = nullptr;
    }
}

// Text of a value as the broker receives it (CMPI_chars passes the text pointer itself).
std::optional<std::string> valueText(const CMPIValue* v, CMPIType type) {
    if (v == nullptr) return std::nullopt;
    char buf[64];
    switch (type) {
        case CMPI_chars:
            return std::string(reinterpret_cast<const char*>(v));
        case CMPI_string:
            if (v->string == nullptr || v->string->hdl == nullptr) return std::nullopt;
            return std::string(static_cast<const char*>(v->string->hdl));
        case CMPI_boolean:
            return std::string(v->boolean ? "true" : "false");
        case CMPI_uint8:
            return std::to_string(v->uint8);
        case CMPI_uint16:
            return std::to_string(v->uint16);
        case CMPI_uint32:
            return std::to_string(v->uint32);
        case CMPI_uint64:
            return std::to_string(v->uint64);
        case CMPI_sint8:
            return std::to_string(v->sint8);
        case CMPI_sint16:
            return std::to_string(v->sint16);
        case CMPI_sint32:
            return std::to_string(v->sint32);
        case CMPI_sint64:
            return std::to_string(v->sint64);
        default:
            snprintf(buf, sizeof buf, "<value of type %04Xh>", static_cast<unsigned>(type));
            return std::string(buf);
    }
}

}  // namespace

// ---- broker objects ------------------------------------------------------------------

struct ObjectPathObj {
    CMPIObjectPath base{};
    Instance data;  // namespace, class and keys
};

struct InstanceObj {
    CMPIInstance base{};
    Instance data;
    bool filtered = false;
    std::vector<std::string> filterProperties;
    std::vector<std::string> filterKeys;

    bool listed(const char* name) const {
        if (!filtered) return true;
        for (const std::string& p : filterProperties)
            if (sameName(p, name)) return true;
        return false;
    }
};

struct StringObj {
    CMPIString base{};
    std::string text;
};

struct ResultObj {
    CMPIResult base{};
    EnumResult* out = nullptr;
};

struct Host::Impl {
    void* library = nullptr;
    bool ownsLibrary = false;
    CMPIBroker broker{};
    CMPIBrokerFT brokerFt{};
    CMPIBrokerEncFT encFt{};
    CMPIContext context{};
    CMPIContextFT contextFt{};
    CMPIObjectPathFT pathFt{};
    CMPIInstanceFT instanceFt{};
    CMPIStringFT stringFt{};
    CMPIResultFT resultFt{};
    std::map<std::string, CMPIInstanceMI*> mis;

    // A CIMOM calls its providers from several threads with one broker; the host's own
    // records are guarded so that such callers can share it.
    std::recursive_mutex mutex;
    // Everything the broker made lives until the host goes away.
    std::vector<std::unique_ptr<ObjectPathObj>> paths;
    std::vector<std::unique_ptr<InstanceObj>> instances;
    std::vector<std::unique_ptr<StringObj>> strings;

    Impl();
    ObjectPathObj* newPath(const char* ns, const char* cn);
    static Impl* of(const CMPIBroker* b) { return static_cast<Impl*>(b->hdl); }
};

namespace {

ObjectPathObj* pathObj(const CMPIObjectPath* op) { return op == nullptr ? nullptr : static_cast<ObjectPathObj*>(op->hdl); }
InstanceObj* instObj(const CMPIInstance* ci) { return ci == nullptr ? nullptr : static_cast<InstanceObj*>(ci->hdl); }
ResultObj* resultObj(const CMPIResult* r) { return r == nullptr ? nullptr : static_cast<ResultObj*>(r->hdl); }

thread_local Host::Impl* currentHost = nullptr;  // for objects whose calls carry no broker

CMPIString* makeString(const std::string& text) {
    if (currentHost == nullptr) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(currentHost->mutex);
    auto s = std::make_unique<StringObj>();
    s->text = text;
    s->base.hdl = const_cast<char*>(s->text.c_str());
    s->base.ft = &currentHost->stringFt;
    CMPIString* out = &s->base;
    currentHost->strings.push_back(std::move(s));
    return out;
}

// ObjectPath functions.
CMPIStatus opRelease(CMPIObjectPath*) { return ok(); }
CMPIStatus opAddKey(CMPIObjectPath* op, const char* name, const CMPIValue* value, CMPIType type) {
    ObjectPathObj* p = pathObj(op);
    if (p == nullptr || name == nullptr) return rcStatus(CMPI_RC_ERR_INVALID_PARAMETER);
    std::optional<std::string> text = valueText(value, type);
    p->data.keys.emplace_back(name, text.value_or(""));
    return ok();
}
CMPIString* opGetNameSpace(const CMPIObjectPath* op, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return makeString(pathObj(op)->data.nameSpace);
}
CMPIString* opGetClassName(const CMPIObjectPath* op, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return makeString(pathObj(op)->data.className);
}
CMPICount opGetKeyCount(const CMPIObjectPath* op, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return static_cast<CMPICount>(pathObj(op)->data.keys.size());
}

// Instance functions.
CMPIStatus instRelease(CMPIInstance*) { return ok(); }
CMPIStatus instSetProperty(const CMPIInstance* ci, const char* name, const CMPIValue* value, CMPIType type) {
    InstanceObj* inst = instObj(ci);
    if (inst == nullptr || name == nullptr) return rcStatus(CMPI_RC_ERR_INVALID_PARAMETER);
    // Under a property list a key the list does not name stays on the path only: CIMOMs
    // answer such a request without it among the properties.
    if (!inst->listed(name)) return ok();
    std::optional<std::string> text = valueText(value, type);
    for (auto& p : inst->data.properties)
        if (p.first == name) {
            p.second = text;
            return ok();
        }
    inst->data.properties.emplace_back(name, text);
    return ok();
}
CMPIStatus instSetPropertyFilter(CMPIInstance* ci, const char** propertyList, const char** keys) {
    InstanceObj* inst = instObj(ci);
    if (inst == nullptr) return rcStatus(CMPI_RC_ERR_INVALID_PARAMETER);
    inst->filtered = propertyList != nullptr;
    inst->filterProperties.clear();
    inst->filterKeys.clear();
    for (const char** p = propertyList; p != nullptr && *p != nullptr; ++p) inst->filterProperties.emplace_back(*p);
    for (const char** k = keys; k != nullptr && *k != nullptr; ++k) inst->filterKeys.emplace_back(*k);
    return ok();
}
CMPICount instGetPropertyCount(const CMPIInstance* ci, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return static_cast<CMPICount>(instObj(ci)->data.properties.size());
}

// String functions.
CMPIStatus strRelease(CMPIString*) { return ok(); }
const char* strGetCharPtr(const CMPIString* s, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return s == nullptr ? nullptr : static_cast<const char*>(s->hdl);
}

// Result functions.
CMPIStatus resRelease(CMPIResult*) { return ok(); }
CMPIStatus resReturnInstance(const CMPIResult* r, const CMPIInstance* ci) {
    ResultObj* res = resultObj(r);
    InstanceObj* inst = instObj(ci);
    if (res == nullptr || inst == nullptr) return rcStatus(CMPI_RC_ERR_INVALID_PARAMETER);
    res->out->instances.push_back(inst->data);
    return ok();
}
CMPIStatus resReturnObjectPath(const CMPIResult* r, const CMPIObjectPath* op) {
    ResultObj* res = resultObj(r);
    if (res == nullptr || op == nullptr) return rcStatus(CMPI_RC_ERR_INVALID_PARAMETER);
    res->out->objectPaths.push_back(pathObj(op)->data);
    return ok();
}
CMPIStatus resReturnData(const CMPIResult* r, const CMPIValue*, CMPIType) {
    ResultObj* res = resultObj(r);
    if (res != nullptr) ++res->out->dataCount;
    return ok();
}
CMPIStatus resReturnDone(const CMPIResult* r) {
    ResultObj* res = resultObj(r);
    if (res != nullptr) ++res->out->doneCount;
    return ok();
}

// Broker encapsulated-object functions.
CMPIObjectPath* brNewObjectPath(const CMPIBroker* b, const char* ns, const char* cn, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return &Host::Impl::of(b)->newPath(ns, cn)->base;
}
CMPIInstance* brNewInstance(const CMPIBroker* b, const CMPIObjectPath* op, CMPIStatus* rc) {
    ObjectPathObj* p = pathObj(op);
    if (p == nullptr) {
        setStatus(rc, CMPI_RC_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    Host::Impl* host = Host::Impl::of(b);
    std::lock_guard<std::recursive_mutex> lock(host->mutex);
    auto inst = std::make_unique<InstanceObj>();
    inst->data = p->data;
    inst->base.hdl = inst.get();
    inst->base.ft = &host->instanceFt;
    CMPIInstance* out = &inst->base;
    host->instances.push_back(std::move(inst));
    setStatus(rc, CMPI_RC_OK);
    return out;
}
CMPIString* brNewString(const CMPIBroker*, const char* data, CMPIStatus* rc) {
    setStatus(rc, CMPI_RC_OK);
    return makeString(data != nullptr ? data : "");
}

}  // namespace

Host::Impl::Impl() {
    brokerFt.brokerName = "cimhost";
    brokerFt.brokerVersion = 200;
    encFt.ftVersion = 200;
    encFt.newInstance = brNewInstance;
    encFt.newObjectPath = brNewObjectPath;
    encFt.newString = brNewString;
    broker.hdl = this;
    broker.bft = &brokerFt;
    broker.eft = &encFt;
    context.hdl = this;
    context.ft = &contextFt;

    pathFt.ftVersion = 200;
    pathFt.release = opRelease;
    pathFt.addKey = opAddKey;
    pathFt.getNameSpace = opGetNameSpace;
    pathFt.getClassName = opGetClassName;
    pathFt.getKeyCount = opGetKeyCount;
    instanceFt.ftVersion = 200;
    instanceFt.release = instRelease;
    instanceFt.setProperty = instSetProperty;
    instanceFt.setPropertyFilter = instSetPropertyFilter;
    instanceFt.getPropertyCount = instGetPropertyCount;
    stringFt.ftVersion = 200;
    stringFt.release = strRelease;
    stringFt.getCharPtr = strGetCharPtr;
    resultFt.ftVersion = 200;
    resultFt.release = resRelease;
    resultFt.returnData = resReturnData;
    resultFt.returnInstance = resReturnInstance;
    resultFt.returnObjectPath = resReturnObjectPath;
    resultFt.returnDone = resReturnDone;
}

ObjectPathObj* Host::Impl::newPath(const char* ns, const char* cn) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto p = std::make_unique<ObjectPathObj>();
    p->data.nameSpace = ns != nullptr ? ns : "";
    p->data.className = cn != nullptr ? cn : "";
    p->base.hdl = p.get();
    p->base.ft = &pathFt;
    ObjectPathObj* out = p.get();
    paths.push_back(std::move(p));
    return out;
}

// ---- Instance ------------------------------------------------------------------------

bool Instance::has(const std::string& name) const {
    for (const auto& p : properties)
        if (p.first == name) return true;
    return false;
}

std::string Instance::get(const std::string& name) const {
    for (const auto& p : properties)
        if (p.first == name) return p.second.value_or("");
    return "";
}

std::vector<std::string> Instance::propertyNames() const {
    std::vector<std::string> out;
    for (const auto& p : properties) out.push_back(p.first);
    return out;
}

std::string Instance::path() const {
    std::string s = nameSpace + ":" + className;
    for (size_t i = 0; i < keys.size(); ++i) {
        s += i == 0 ? "." : ",";
        s += keys[i].first + "=\"";
        for (char c : keys[i].second) {
            if (c == '"' || c == '\\') s += '\\';
            s += c;
        }
        s += "\"";
    }
    return s;
}

// ---- provider table --------------------------------------------------------------------

const std::vector<ProviderInfo>& providers() {
    static const std::vector<ProviderInfo> table = {
#define VKT_PROVIDER_INFO(prefix, className, action) {#prefix, className, action},
        VKT_PROVIDER_LIST(VKT_PROVIDER_INFO)
#undef VKT_PROVIDER_INFO
    };
    return table;
}

const ProviderInfo* findProvider(const std::string& name) {
    for (const ProviderInfo& p : providers())
        if (sameName(name, p.className) || sameName(name, p.prefix)) return &p;
    return nullptr;
}

// ---- Host --------------------------------------------------------------------------------

Host::Host() : impl_(new Impl()) {}

Host::~Host() {
    if (currentHost == impl_.get()) currentHost = nullptr;
    if (impl_->ownsLibrary && impl_->library != nullptr) dlclose(impl_->library);
}

std::unique_ptr<Host> Host::load(const std::string& path, std::string* error) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        if (error != nullptr) *error = dlerror();
        return nullptr;
    }
    std::unique_ptr<Host> host(new Host());
    host->impl_->library = lib;
    host->impl_->ownsLibrary = true;
    return host;
}

std::unique_ptr<Host> Host::inProcess() {
    std::unique_ptr<Host> host(new Host());
    host->impl_->library = dlopen(nullptr, RTLD_NOW);
    host->impl_->ownsLibrary = false;
    return host;
}

bool Host::hasSymbol(const std::string& name) const {
    return impl_->library != nullptr && dlsym(impl_->library, name.c_str()) != nullptr;
}

CMPIInstanceMI* Host::factory(const std::string& prefix, CMPIStatus* status) {
    using Factory = CMPIInstanceMI* (*)(const CMPIBroker*, const CMPIContext*, CMPIStatus*);
    currentHost = impl_.get();
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    void* sym = impl_->library != nullptr ? dlsym(impl_->library, (prefix + "_Create_InstanceMI").c_str()) : nullptr;
    if (sym == nullptr) return nullptr;
    CMPIStatus st;
    st.rc = static_cast<CMPIrc>(0xFFFF);
    st.msg = nullptr;
    CMPIInstanceMI* mi = reinterpret_cast<Factory>(sym)(&impl_->broker, &impl_->context, &st);
    if (status != nullptr) *status = st;
    if (mi != nullptr) impl_->mis[prefix] = mi;
    return mi;
}

namespace {

CMPIInstanceMI* miFor(Host& host, std::recursive_mutex& mutex, std::map<std::string, CMPIInstanceMI*>& mis,
                      const std::string& prefix) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto it = mis.find(prefix);
    if (it != mis.end()) return it->second;
    return host.factory(prefix);
}

}  // namespace

EnumResult Host::enumerate(const std::string& prefix, const char** properties) {
    EnumResult out;
    currentHost = impl_.get();
    CMPIInstanceMI* mi = miFor(*this, impl_->mutex, impl_->mis, prefix);
    if (mi == nullptr || mi->ft == nullptr) {
        out.rc = CMPI_RC_ERR_NOT_FOUND;
        return out;
    }
    const ProviderInfo* info = findProvider(prefix);
    ObjectPathObj* ref = impl_->newPath(kNameSpace, info != nullptr ? info->className : prefix.c_str());
    ResultObj result;
    result.out = &out;
    result.base.hdl = &result;
    result.base.ft = &impl_->resultFt;
    CMPIStatus st = mi->ft->enumerateInstances(mi, &impl_->context, &result.base, &ref->base, properties);
    out.rc = st.rc;
    return out;
}

EnumResult Host::call(const std::string& prefix, Operation op) {
    EnumResult out;
    currentHost = impl_.get();
    CMPIInstanceMI* mi = miFor(*this, impl_->mutex, impl_->mis, prefix);
    if (mi == nullptr || mi->ft == nullptr) {
        out.rc = CMPI_RC_ERR_NOT_FOUND;
        return out;
    }
    const ProviderInfo* info = findProvider(prefix);
    ObjectPathObj* ref = impl_->newPath(kNameSpace, info != nullptr ? info->className : prefix.c_str());
    CMPIInstance* inst = brNewInstance(&impl_->broker, &ref->base, nullptr);
    ResultObj result;
    result.out = &out;
    result.base.hdl = &result;
    result.base.ft = &impl_->resultFt;
    const CMPIContext* ctx = &impl_->context;
    CMPIStatus st = ok();
    switch (op) {
        case Operation::EnumInstanceNames:
            st = mi->ft->enumerateInstanceNames(mi, ctx, &result.base, &ref->base);
            break;
        case Operation::GetInstance:
            st = mi->ft->getInstance(mi, ctx, &result.base, &ref->base, nullptr);
            break;
        case Operation::CreateInstance:
            st = mi->ft->createInstance(mi, ctx, &result.base, &ref->base, inst);
            break;
        case Operation::ModifyInstance:
            st = mi->ft->modifyInstance(mi, ctx, &result.base, &ref->base, inst, nullptr);
            break;
        case Operation::DeleteInstance:
            st = mi->ft->deleteInstance(mi, ctx, &result.base, &ref->base);
            break;
        case Operation::ExecQuery:
            st = mi->ft->execQuery(mi, ctx, &result.base, &ref->base, "SELECT * FROM x", "WQL");
            break;
    }
    out.rc = st.rc;
    return out;
}

CMPIStatus Host::cleanup(const std::string& prefix, bool terminating) {
    CMPIInstanceMI* mi = miFor(*this, impl_->mutex, impl_->mis, prefix);
    if (mi == nullptr || mi->ft == nullptr) return rcStatus(CMPI_RC_ERR_NOT_FOUND);
    return mi->ft->cleanup(mi, &impl_->context, terminating ? 1 : 0);
}

const CMPIBroker* Host::broker() const { return &impl_->broker; }
size_t Host::brokerObjectCount() const { return impl_->paths.size() + impl_->instances.size(); }

void Host::releaseBrokerObjects() {
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->paths.clear();
    impl_->instances.clear();
    impl_->strings.clear();
}
const CMPIContext* Host::context() const { return &impl_->context; }

}  // namespace cimhost
