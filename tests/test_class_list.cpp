// The one list of classes and properties (src/class_properties.h): what every provider
// publishes must be in it, and the generated class definitions and CIMOM registrations must
// carry exactly what it holds.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
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
// list names (or none), and only listed properties in the listed order. A class starts
// being checked as soon as its provider publishes an instance in some scenario.
TEST_F(ClassList, EveryPublishedInstanceFollowsTheList) {
    std::set<std::string> checked;
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
                if (c->key == nullptr) {
                    EXPECT_TRUE(inst.keys.empty());
                } else {
                    ASSERT_EQ(inst.keys.size(), 1u);
                    EXPECT_EQ(inst.keys[0].first, c->key);
                }
                size_t previous = notListed;
                for (const auto& property : inst.properties) {
                    size_t at = positionOf(*c, property.first);
                    EXPECT_NE(at, notListed) << "unlisted property \"" << property.first << "\"";
                    if (at == notListed) continue;
                    if (previous != notListed) {
                        EXPECT_GT(at, previous) << "\"" << property.first << "\" published out of the listed order";
                    }
                    previous = at;
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
}

// ---- generated class definitions -------------------------------------------------------------

struct MofClass {
    std::string name;
    std::string key;
    std::vector<std::string> declared;
    std::map<std::string, std::string> publishedAs;  // declared name -> name in a Description
};

bool isIdentifier(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (char ch : s)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
    return true;
}

// Reads the class blocks of the generated MOF: "class X", "[Key] string k;", "string p;",
// with the Description line that names a published name before its property.
std::vector<MofClass> readMofClasses(std::set<std::string>* qualifiers) {
    std::vector<MofClass> classes;
    std::string pendingPublished;
    int depth = 0;
    for (const std::string& raw : generatedLines("varkolt.mof")) {
        const std::string line = trimmed(raw);
        if (line.rfind("//", 0) == 0 || line.empty()) continue;
        if (line.rfind("Qualifier ", 0) == 0) qualifiers->insert(line.substr(10, line.find(' ', 10) - 10));
        if (line.rfind("class ", 0) == 0) classes.push_back({line.substr(6), "", {}, {}});
        depth += (line == "{") - (line == "};");
        EXPECT_GE(depth, 0);
        const std::string marker = "Published under the name \\\"";
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
                if (!pendingPublished.empty()) classes.back().publishedAs[name] = pendingPublished;
            }
            pendingPublished.clear();
        }
    }
    EXPECT_EQ(depth, 0) << "unbalanced class blocks";
    return classes;
}

TEST(GeneratedMof, DeclaresExactlyTheListedClassesAndProperties) {
    std::set<std::string> qualifiers;
    std::vector<MofClass> classes = readMofClasses(&qualifiers);
    EXPECT_EQ(qualifiers, (std::set<std::string>{"Key", "Description"}));
    ASSERT_EQ(classes.size(), cimhost::providers().size());
    for (size_t i = 0; i < classes.size(); ++i) {
        const vkt::ClassProperties& c = vkt::classProperties[i];
        const MofClass& m = classes[i];
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.name, cimhost::providers()[i].className);
        EXPECT_EQ(m.key, c.key == nullptr ? "" : c.key);
        ASSERT_EQ(m.declared.size(), c.count);
        for (size_t k = 0; k < c.count; ++k) {
            const std::string published = c.properties[k];
            EXPECT_EQ(m.declared[k], withoutTrailingBlanks(published));
            // A name MOF cannot hold is named in full by its Description; others have none.
            auto described = m.publishedAs.find(m.declared[k]);
            if (published == m.declared[k]) {
                EXPECT_EQ(described, m.publishedAs.end()) << published;
            } else if (described == m.publishedAs.end()) {
                ADD_FAILURE() << "no Description gives the published name \"" << published << "\"";
            } else {
                EXPECT_EQ(described->second, published);
            }
        }
    }
    // The two power-module names that end in a blank are the ones that need it.
    const MofClass& pmBus = classes[5];
    ASSERT_EQ(pmBus.name, "VKT_PMBus");
    EXPECT_EQ(pmBus.publishedAs.size(), 2u);
    EXPECT_EQ(pmBus.publishedAs.at("VKT_PMBus_InputVoltage"), "VKT_PMBus_InputVoltage ");
    EXPECT_EQ(pmBus.publishedAs.at("VKT_PMBus_InputCurrent"), "VKT_PMBus_InputCurrent ");
}

// ---- generated registrations ---------------------------------------------------------------------

TEST(GeneratedRegistrations, SfcbHasOneStanzaPerClassInOneGroup) {
    std::vector<std::pair<std::string, std::map<std::string, std::string>>> stanzas;
    for (const std::string& raw : generatedLines("varkolt.reg")) {
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            stanzas.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        size_t colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        ASSERT_FALSE(stanzas.empty()) << "entry before the first class: " << line;
        stanzas.back().second[line.substr(0, colon)] = line.substr(colon + 2);
    }
    ASSERT_EQ(stanzas.size(), cimhost::providers().size());
    for (size_t i = 0; i < stanzas.size(); ++i) {
        const cimhost::ProviderInfo& p = cimhost::providers()[i];
        EXPECT_EQ(stanzas[i].first, p.className);
        EXPECT_EQ(stanzas[i].second, (std::map<std::string, std::string>{{"provider", p.prefix},
                                                                           {"location", "varkoltprovider"},
                                                                           {"type", "instance"},
                                                                           {"namespace", "varkolt/cimv2"},
                                                                           {"group", "varkolt"}}));
    }
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

TEST(GeneratedRegistrations, PegasusRegistersOneModuleAndEveryProvider) {
    std::vector<MofInstance> instances = readMofInstances("varkolt-pegasus.mof");
    ASSERT_EQ(instances.size(), 1 + 2 * cimhost::providers().size());
    const MofInstance& module = instances[0];
    EXPECT_EQ(module.className, "PG_ProviderModule");
    EXPECT_EQ(module.values.at("Name"), "\"varkoltprovider\"");
    EXPECT_EQ(module.values.at("Location"), "\"varkoltprovider\"");
    EXPECT_EQ(module.values.at("InterfaceType"), "\"CMPI\"");
    EXPECT_EQ(module.values.at("InterfaceVersion"), "\"2.0.0\"");
    for (size_t i = 0; i < cimhost::providers().size(); ++i) {
        const cimhost::ProviderInfo& p = cimhost::providers()[i];
        const std::string prefix = std::string("\"") + p.prefix + "\"";
        const std::string cls = std::string("\"") + p.className + "\"";
        const MofInstance& provider = instances[1 + 2 * i];
        const MofInstance& caps = instances[2 + 2 * i];
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
}

}  // namespace
