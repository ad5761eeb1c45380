// vkt-mofgen: writes the class definitions and the CIMOM registrations of the library from
// its one list of classes and properties (src/class_properties.h), at build time.
//
//   vkt-mofgen OUTDIR VERSION
//
// OUTDIR receives
//   varkolt-qualifiers.mof        the qualifier declarations the classes use, for a CIMOM
//                                 whose new namespace starts without any (OpenPegasus)
//   varkolt.mof                   the 14 data classes, for the namespace varkolt/cimv2
//   varkolt.reg                   their sfcb provider registration (sfcbstage -r)
//   varkolt-pegasus.mof           their OpenPegasus registration, for the interop namespace
//   varkolt-actions.mof           the 10 action classes, whose enumeration acts on the BMC
//   varkolt-actions.reg           their sfcb registration
//   varkolt-actions-pegasus.mof   their OpenPegasus registration (after varkolt-pegasus.mof,
//                                 which declares the provider module)
//
// The class files declare no qualifier: sfcb compiles every namespace after its CIM schema,
// which declares the standard qualifiers already, and its compiler refuses a second
// declaration even when it is identical. The action classes are in files of their own so
// that a client walking every class, or a query that the CIMOM answers by enumerating, does
// not reset the BMC or change its fans unless the integrator registered them on purpose.
//
// Property names that end in a blank. Two VKT_PMBus properties are published under names
// with a trailing blank ("VKT_PMBus_InputVoltage "). A MOF property name is an identifier,
// so no class can declare them; the provider publishes the same values under the names
// without the blank as well, which the class declares (with a Description that names the
// other). The generator refuses any other name that is not an identifier, so a slip in the
// list cannot produce a MOF that compilers reject.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "class_properties.h"
#include "provider_list.h"

namespace {

const char* const nameSpace = "varkolt/cimv2";
const char* const moduleName = "varkoltprovider";   // sfcb "location", Pegasus module and Location
const char* const providerGroup = "varkolt";

struct ProviderEntry {
    const char* prefix;
    const char* className;
    bool action;
};

#define VKT_PROVIDER_ENTRY(Prefix, className, action) {#Prefix, className, action},
const ProviderEntry providerEntries[] = {VKT_PROVIDER_LIST(VKT_PROVIDER_ENTRY)};
#undef VKT_PROVIDER_ENTRY

bool isIdentifier(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

std::string withoutTrailingBlanks(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

bool endsInBlank(const std::string& name) { return !name.empty() && name.back() == ' '; }

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string mofString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool isActionClass(const vkt::ClassProperties& c) {
    for (const ProviderEntry& p : providerEntries)
        if (std::string(p.className) == c.className) return p.action;
    return false;
}

// The published name that ends in a blank and stands for `declared`; empty when none does.
std::string blankTwinOf(const vkt::ClassProperties& c, const std::string& declared) {
    for (std::size_t i = 0; i < c.count; ++i) {
        const std::string name = c.properties[i];
        if (endsInBlank(name) && withoutTrailingBlanks(name) == declared) return name;
    }
    return std::string();
}

// Checks one class of the list: names MOF can declare, unique in any case (CIM names are
// case-insensitive), a key that is not also a property, and a name that ends in a blank
// only beside its twin without the blank.
bool checkClass(const vkt::ClassProperties& c) {
    bool ok = isIdentifier(c.className);
    if (!ok) fprintf(stderr, "vkt-mofgen: class name \"%s\" is not a MOF identifier\n", c.className);
    std::set<std::string> seen;
    if (c.key != nullptr) {
        if (!isIdentifier(c.key)) {
            fprintf(stderr, "vkt-mofgen: %s: key \"%s\" is not a MOF identifier\n", c.className, c.key);
            ok = false;
        }
        seen.insert(lowerCase(c.key));
    }
    std::set<std::string> declared;
    for (std::size_t i = 0; i < c.count; ++i)
        if (isIdentifier(c.properties[i])) declared.insert(c.properties[i]);
    for (std::size_t i = 0; i < c.count; ++i) {
        const std::string name = c.properties[i];
        if (endsInBlank(name)) {
            if (declared.count(withoutTrailingBlanks(name)) == 0) {
                fprintf(stderr, "vkt-mofgen: %s: property \"%s\" has no twin without the blank to declare\n",
                        c.className, name.c_str());
                ok = false;
            }
        } else if (!isIdentifier(name)) {
            fprintf(stderr, "vkt-mofgen: %s: property \"%s\" cannot be declared in MOF\n", c.className, name.c_str());
            ok = false;
        } else if (!seen.insert(lowerCase(name)).second) {
            fprintf(stderr, "vkt-mofgen: %s: property \"%s\" is declared twice\n", c.className, name.c_str());
            ok = false;
        }
    }
    return ok;
}

void writeClass(std::ostream& out, const vkt::ClassProperties& c) {
    out << "[Description(" << mofString(c.description) << ")]\n";
    out << "class " << c.className << "\n{\n";
    if (c.key != nullptr) out << "    [Key] string " << c.key << ";\n";
    for (std::size_t i = 0; i < c.count; ++i) {
        const std::string name = c.properties[i];
        if (endsInBlank(name)) continue;
        const std::string twin = blankTwinOf(c, name);
        if (!twin.empty())
            out << "    [Description(" << mofString("Also published under the name \"" + twin + "\"") << ")]\n";
        out << "    string " << name << ";\n";
    }
    out << "};\n\n";
}

std::string qualifierDeclarations() {
    return "// Qualifier declarations of the libvarkoltprovider classes (generated by vkt-mofgen; do not\n"
           "// edit). For a CIMOM whose new namespace starts without qualifier declarations\n"
           "// (OpenPegasus, namespace made by cimmof -n): compile this file into " +
           std::string(nameSpace) +
           "\n"
           "// before the class files. Not for sfcb, whose CIM schema declares them already.\n\n"
           "Qualifier Key : boolean = false, Scope(property, reference),\n"
           "    Flavor(DisableOverride, ToSubclass);\n"
           "Qualifier Description : string = null, Scope(any),\n"
           "    Flavor(EnableOverride, ToSubclass, Translatable);\n";
}

std::string classDefinitions(bool actions) {
    std::ostringstream out;
    if (actions)
        out << "// Action classes of libvarkoltprovider (generated by vkt-mofgen; do not edit).\n"
               "// Enumerating one of these classes performs its action on the BMC (identify LED, BMC\n"
               "// cold reset, chassis intrusion clear, fan mode), every time.\n";
    else
        out << "// Class definitions of libvarkoltprovider (generated by vkt-mofgen; do not edit).\n";
    out << "// Compile them into the namespace " << nameSpace << ". Every property is a string.\n"
        << "// The qualifiers they use are declared in varkolt-qualifiers.mof, for CIMOMs that\n"
           "// need that.\n\n";
    for (const vkt::ClassProperties& c : vkt::classProperties)
        if (isActionClass(c) == actions) writeClass(out, c);
    return out.str();
}

std::string sfcbRegistration(bool actions) {
    std::ostringstream out;
    out << "# sfcb provider registration of libvarkoltprovider"
        << (actions ? " action classes" : "") << " (generated by vkt-mofgen; do not edit).\n"
        << "# All classes share one provider group, so one provider process serves them: the\n"
           "# library's providers share one BMC connection and its tables. The library must run\n"
           "# as root (otherwise its first command ends the provider process), hence \"user: root\".\n";
    for (const ProviderEntry& p : providerEntries) {
        if (p.action != actions) continue;
        out << "\n[" << p.className << "]\n"
            << "   provider: " << p.prefix << "\n"
            << "   location: " << moduleName << "\n"
            << "   type: instance\n"
            << "   namespace: " << nameSpace << "\n"
            << "   group: " << providerGroup << "\n"
            << "   user: root\n";
    }
    return out.str();
}

std::string pegasusRegistration(bool actions, const std::string& version) {
    std::ostringstream out;
    if (actions)
        out << "// OpenPegasus registration of the libvarkoltprovider action classes (generated by\n"
               "// vkt-mofgen; do not edit). Compile it into the interop namespace after\n"
               "// varkolt-pegasus.mof, which declares the provider module.\n";
    else
        out << "// OpenPegasus registration of libvarkoltprovider (generated by vkt-mofgen; do not edit).\n"
               "// Compile it into the interop namespace (root/PG_InterOp, or interop or root/interop\n"
               "// in builds that use the DMTF name) after the class definitions have been compiled into\n"
            << "// " << nameSpace << ".\n"
            << "\ninstance of PG_ProviderModule\n{\n"
            << "    Name = " << mofString(moduleName) << ";\n"
            << "    Location = " << mofString(moduleName) << ";\n"
            << "    Vendor = \"varkolt\";\n"
            << "    Version = " << mofString(version) << ";\n"
            << "    InterfaceType = \"CMPI\";\n"
            << "    InterfaceVersion = \"2.0.0\";\n"
            << "};\n";
    for (const ProviderEntry& p : providerEntries) {
        if (p.action != actions) continue;
        out << "\ninstance of PG_Provider\n{\n"
            << "    Name = " << mofString(p.prefix) << ";\n"
            << "    ProviderModuleName = " << mofString(moduleName) << ";\n"
            << "};\n"
            << "\ninstance of PG_ProviderCapabilities\n{\n"
            << "    CapabilityID = " << mofString(p.className) << ";\n"
            << "    ProviderModuleName = " << mofString(moduleName) << ";\n"
            << "    ProviderName = " << mofString(p.prefix) << ";\n"
            << "    ClassName = " << mofString(p.className) << ";\n"
            << "    Namespaces = {" << mofString(nameSpace) << "};\n"
            << "    ProviderType = {2};\n"  // instance provider
            << "    SupportedProperties = NULL;\n"
            << "    SupportedMethods = NULL;\n"
            << "};\n";
    }
    return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        fprintf(stderr, "vkt-mofgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: vkt-mofgen OUTDIR VERSION\n", stderr);
        return 2;
    }
    bool ok = true;
    for (const vkt::ClassProperties& c : vkt::classProperties) ok = checkClass(c) && ok;
    if (!ok) return 1;
    const std::string dir = argv[1];
    ok = writeFile(dir + "/varkolt-qualifiers.mof", qualifierDeclarations()) && ok;
    ok = writeFile(dir + "/varkolt.mof", classDefinitions(false)) && ok;
    ok = writeFile(dir + "/varkolt.reg", sfcbRegistration(false)) && ok;
    ok = writeFile(dir + "/varkolt-pegasus.mof", pegasusRegistration(false, argv[2])) && ok;
    ok = writeFile(dir + "/varkolt-actions.mof", classDefinitions(true)) && ok;
    ok = writeFile(dir + "/varkolt-actions.reg", sfcbRegistration(true)) && ok;
    ok = writeFile(dir + "/varkolt-actions-pegasus.mof", pegasusRegistration(true, argv[2])) && ok;
    return ok ? 0 : 1;
}
