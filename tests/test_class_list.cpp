// The one list of classes and properties (src/class_properties.h): what every provider
// publishes must be in it, and the generated class definitions and CIMOM registrations must
// carry exactly what it holds.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cimhost.h"
#include "class_properties.h"
#include "test_support.h"

namespace {

constexpr size_t notListed = static_cast<size_t>(-1);

size_t positionOf(const vkt::ClassProperties& c, const std::string& name) {
    for (size_t i = 0; i < c.count; ++i)
        if (name == c.properties[i]) return i;
    return notListed;
}

std::string withoutTrailingBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::vector<std::string> generatedLines(const std::string& file) {
    std::ifstream in(std::string(VKT_MOF_DIR) + "/" + file);
    EXPECT_TRUE(in.good()) << "missing generated file " << file;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// ---- providers against the list -------------------------------------------------------------

class ClassList : public testkit::SimTest {};

// Every instance of every class, in every scenario of the simulated server: the key the
// list names (or none), the key again as the first property with the key's value, then only
// listed properties in the listed order; a name that ends in a blank holds the value of its
// twin. A class starts being checked as soon as its provider publishes an instance in some
// scenario, and every listed property must be published somewhere.
TEST_F(ClassList, EveryPublishedInstanceFollowsTheList) {
    std::set<std::string> checked;
    std::map<std::string, std::set<std::string>> seen;
    for (const std::string& scenario : testkit::scenarioNames()) {
        useServer(testkit::makeScenario(scenario));
        auto host = cimhost::Host::inProcess();
        for (const cimhost::ProviderInfo& p : cimhost::providers()) {
            const vkt::ClassProperties* c = vkt::findClassProperties(p.className);
            ASSERT_NE(c, nullptr) << p.className << " is not in the list";
            cimhost::EnumResult r = host->enumerate(p.prefix);
            for (const cimhost::Instance& inst : r.instances) {
                SCOPED_TRACE(scenario + ": " + inst.path());
                EXPECT_EQ(inst.className, c->className);
                std::vector<std::pair<std::string, std::optional<std::string>>> rest = inst.properties;
                if (c->key == nullptr) {
                    EXPECT_TRUE(inst.keys.empty());
                } else {
                    ASSERT_EQ(inst.keys.size(), 1u);
                    EXPECT_EQ(inst.keys[0].first, c->key);
                    ASSERT_FALSE(rest.empty());
                    EXPECT_EQ(rest[0].first, c->key);
                    EXPECT_EQ(rest[0].second, std::optional<std::string>(inst.keys[0].second));
                    rest.erase(rest.begin());
                }
                size_t previous = notListed;
                for (const auto& property : rest) {
                    size_t at = positionOf(*c, property.first);
                    EXPECT_NE(at, notListed) << "unlisted property \"" << property.first << "\"";
                    if (at == notListed) continue;
                    if (previous != notListed) {
                        EXPECT_GT(at, previous) << "\"" << property.first << "\" published out of the listed order";
                    }
                    previous = at;
                    seen[c->className].insert(property.first);
                    const std::string twin = withoutTrailingBlanks(property.first);
                    if (twin != property.first) {
                        EXPECT_TRUE(inst.has(twin)) << "\"" << property.first << "\" without \"" << twin << "\"";
                        EXPECT_EQ(inst.get(twin), inst.get(property.first));
                    }
                }
                checked.insert(p.className);
            }
        }
    }
    // The classes whose collectors every build has must really have been compared.
    for (const char* cls : {"VKT_FRU", "VKT_Sensors", "VKT_SELInfo", "VKT_SELList", "VKT_LAN", "VKT_BMCIP",
                            "VKT_UserList", "VKT_PMBus", "VKT_PMBusFRU", "VKT_PMBusBBP", "VKT_NM", "VKT_OPEN_LED",
                            "VKT_SetFanModeToPUE3"})
        EXPECT_EQ(checked.count(cls), 1u) << cls << " published nothing in any scenario";
    // A listed property no provider sets would be a class property a CIMOM always shows null.
    for (const std::string& cls : checked) {
        const vkt::ClassProperties* c = vkt::findClassProperties(cls.c_str());
        for (size_t i = 0; i < c->count; ++i) {
            const std::string name = c->properties[i];
            if (name.rfind("VKT_SYSTEM_MAC_Address", 0) == 0) continue;  // one per host interface, up to 20
            EXPECT_EQ(seen[cls].count(name), 1u) << cls << ": \"" << name << "\" never published";
        }
    }
}

// ---- generated class definitions -------------------------------------------------------------

struct MofClass {
    std::string name;
    std::string key;
    std::vector<std::string> declared;
    std::map<std::string, std::string> alsoPublishedAs;  // declared name -> name in a Description
};

bool isIdentifier(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (char ch : s)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
    return true;
}

std::set<std::string> qualifierDeclarations(const std::string& file) {
    std::set<std::string> names;
    for (const std::string& raw : generatedLines(file)) {
        const std::string line = trimmed(raw);
        if (line.rfind("Qualifier ", 0) == 0) names.insert(line.substr(10, line.find(' ', 10) - 10));
    }
    return names;
}

// Reads the class blocks of a generated class file: "class X", "[Key] string k;",
// "string p;", with the Description line that names another published name before its
// property.
std::vector<MofClass> readMofClasses(const std::string& file) {
    std::vector<MofClass> classes;
    std::string pendingPublished;
    int depth = 0;
    for (const std::string& raw : generatedLines(file)) {
        const std::string line = trimmed(raw);
        if (line.rfind("//", 0) == 0 || line.empty()) continue;
        if (line.rfind("class ", 0) == 0) classes.push_back({line.substr(6), "", {}, {}});
        depth += (line == "{") - (line == "};");
        EXPECT_GE(depth, 0);
        const std::string marker = "Also published under the name \\\"";
        size_t m = line.find(marker);
        if (m != std::string::npos) {
            size_t end = line.find("\\\"", m + marker.size());
            pendingPublished = line.substr(m + marker.size(), end - m - marker.size());
        }
        size_t s = line.find("string ");
        if (depth == 1 && s != std::string::npos && line.back() == ';' && !classes.empty()) {
            std::string name = line.substr(s + 7, line.size() - s - 8);
            EXPECT_TRUE(isIdentifier(name)) << "\"" << name << "\" is no MOF identifier";
            if (line.rfind("[Key]", 0) == 0) {
                classes.back().key = name;
            } else {
                classes.back().declared.push_back(name);
                if (!pendingPublished.empty()) classes.back().alsoPublishedAs[name] = pendingPublished;
            }
            pendingPublished.clear();
        }
    }
    EXPECT_EQ(depth, 0) << "unbalanced class blocks";
    return classes;
}

// The class files hold no qualifier declaration (sfcb's schema has them and its compiler
// refuses a second one); the qualifier file holds exactly the two the classes use. The data
// classes and the action classes are in separate files, each class with its key and every
// listed name a class can hold; a name that ends in a blank is named by its twin's
// Description.
TEST(GeneratedMof, DeclaresExactlyTheListedClassesAndProperties) {
    EXPECT_EQ(qualifierDeclarations("varkolt-qualifiers.mof"), (std::set<std::string>{"Key", "Description"}));
    EXPECT_TRUE(qualifierDeclarations("varkolt.mof").empty());
    EXPECT_TRUE(qualifierDeclarations("varkolt-actions.mof").empty());
    std::vector<MofClass> data = readMofClasses("varkolt.mof");
    std::vector<MofClass> actions = readMofClasses("varkolt-actions.mof");
    size_t nextData = 0, nextAction = 0;
    for (size_t i = 0; i < cimhost::providers().size(); ++i) {
        const cimhost::ProviderInfo& p = cimhost::providers()[i];
        const vkt::ClassProperties& c = vkt::classProperties[i];
        std::vector<MofClass>& file = p.action ? actions : data;
        size_t& next = p.action ? nextAction : nextData;
        SCOPED_TRACE(p.className);
        ASSERT_LT(next, file.size());
        const MofClass& m = file[next++];
        EXPECT_EQ(m.name, p.className);
        EXPECT_EQ(m.key, c.key == nullptr ? "" : c.key);
        std::vector<std::string> declarable;
        std::map<std::string, std::string> twins;
        for (size_t k = 0; k < c.count; ++k) {
            const std::string published = c.properties[k];
            if (published == withoutTrailingBlanks(published))
                declarable.push_back(published);
            else
                twins[withoutTrailingBlanks(published)] = published;
        }
        EXPECT_EQ(m.declared, declarable);
        EXPECT_EQ(m.alsoPublishedAs, twins);
    }
    EXPECT_EQ(nextData, data.size());
    EXPECT_EQ(nextAction, actions.size());
    EXPECT_EQ(actions.size(), 10u);
    // The two power-module readings are declared without the blank, named with it.
    for (const MofClass& m : data) {
        if (m.name != "VKT_PMBus") continue;
        EXPECT_EQ(m.alsoPublishedAs, (std::map<std::string, std::string>{
                                         {"VKT_PMBus_InputVoltage", "VKT_PMBus_InputVoltage "},
                                         {"VKT_PMBus_InputCurrent", "VKT_PMBus_InputCurrent "}}));
    }
}

// ---- generated registrations ---------------------------------------------------------------------

std::vector<std::pair<std::string, std::map<std::string, std::string>>> sfcbStanzas(const std::string& file) {
    std::vector<std::pair<std::string, std::map<std::string, std::string>>> stanzas;
    for (const std::string& raw : generatedLines(file)) {
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            stanzas.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        size_t colon = line.find(": ");
        EXPECT_NE(colon, std::string::npos) << line;
        EXPECT_FALSE(stanzas.empty()) << "entry before the first class: " << line;
        if (colon == std::string::npos || stanzas.empty()) continue;
        stanzas.back().second[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return stanzas;
}

// The data classes in one file, the action classes in another; all in one provider group
// and run as root.
TEST(GeneratedRegistrations, SfcbHasOneStanzaPerClassInOneGroup) {
    auto data = sfcbStanzas("varkolt.reg");
    auto actions = sfcbStanzas("varkolt-actions.reg");
    size_t nextData = 0, nextAction = 0;
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        auto& stanzas = p.action ? actions : data;
        size_t& next = p.action ? nextAction : nextData;
        ASSERT_LT(next, stanzas.size()) << p.className;
        EXPECT_EQ(stanzas[next].first, p.className);
        EXPECT_EQ(stanzas[next].second, (std::map<std::string, std::string>{{"provider", p.prefix},
                                                                             {"location", "varkoltprovider"},
                                                                             {"type", "instance"},
                                                                             {"namespace", "varkolt/cimv2"},
                                                                             {"group", "varkolt"},
                                                                             {"user", "root"}}));
        ++next;
    }
    EXPECT_EQ(nextData, data.size());
    EXPECT_EQ(nextAction, actions.size());
}

struct MofInstance {
    std::string className;
    std::map<std::string, std::string> values;
};

std::vector<MofInstance> readMofInstances(const std::string& file) {
    std::vector<MofInstance> out;
    bool inside = false;
    for (const std::string& raw : generatedLines(file)) {
        const std::string line = trimmed(raw);
        if (line.rfind("instance of ", 0) == 0) {
            EXPECT_FALSE(inside) << "nested instance";
            out.push_back({line.substr(12), {}});
        } else if (line == "{") {
            inside = true;
        } else if (line == "};") {
            inside = false;
        } else if (inside) {
            size_t eq = line.find(" = ");
            EXPECT_TRUE(eq != std::string::npos && line.back() == ';') << line;
            if (eq != std::string::npos) out.back().values[line.substr(0, eq)] = line.substr(eq + 3, line.size() - eq - 4);
        }
    }
    return out;
}

// One module, declared with the data classes; a provider and its capabilities per class, the
// action classes in their own file.
TEST(GeneratedRegistrations, PegasusRegistersOneModuleAndEveryProvider) {
    std::vector<MofInstance> data = readMofInstances("varkolt-pegasus.mof");
    std::vector<MofInstance> actions = readMofInstances("varkolt-actions-pegasus.mof");
    ASSERT_FALSE(data.empty());
    const MofInstance& module = data[0];
    EXPECT_EQ(module.className, "PG_ProviderModule");
    EXPECT_EQ(module.values.at("Name"), "\"varkoltprovider\"");
    EXPECT_EQ(module.values.at("Location"), "\"varkoltprovider\"");
    EXPECT_EQ(module.values.at("InterfaceType"), "\"CMPI\"");
    EXPECT_EQ(module.values.at("InterfaceVersion"), "\"2.0.0\"");
    // Builds without provider user contexts refuse any UserContext but 5; without one, the
    // others run the module privileged.
    EXPECT_EQ(module.values.count("UserContext"), 0u);
    size_t nextData = 1, nextAction = 0;
    for (const cimhost::ProviderInfo& p : cimhost::providers()) {
        std::vector<MofInstance>& file = p.action ? actions : data;
        size_t& next = p.action ? nextAction : nextData;
        SCOPED_TRACE(p.className);
        ASSERT_LE(next + 2, file.size());
        const std::string prefix = std::string("\"") + p.prefix + "\"";
        const std::string cls = std::string("\"") + p.className + "\"";
        const MofInstance& provider = file[next];
        const MofInstance& caps = file[next + 1];
        next += 2;
        EXPECT_EQ(provider.className, "PG_Provider");
        EXPECT_EQ(provider.values.at("Name"), prefix);
        EXPECT_EQ(provider.values.at("ProviderModuleName"), "\"varkoltprovider\"");
        EXPECT_EQ(caps.className, "PG_ProviderCapabilities");
        EXPECT_EQ(caps.values.at("ProviderName"), prefix);
        EXPECT_EQ(caps.values.at("ProviderModuleName"), "\"varkoltprovider\"");
        EXPECT_EQ(caps.values.at("ClassName"), cls);
        EXPECT_EQ(caps.values.at("CapabilityID"), cls);
        EXPECT_EQ(caps.values.at("Namespaces"), "{\"varkolt/cimv2\"}");
        EXPECT_EQ(caps.values.at("ProviderType"), "{2}");
    }
    EXPECT_EQ(nextData, data.size());
    EXPECT_EQ(nextAction, actions.size());
}

}  // namespace
