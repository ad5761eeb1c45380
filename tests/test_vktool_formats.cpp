// vktool's documents for programs: the JSON of lists and shows (typed values, the layout
// the man page documents), the OpenMetrics exposition read by the format's rules, and the
// bash completion written from the action table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ipmisim_harness.h"
#include "test_support.h"

namespace {

using testkit::ipmisim::ProcessResult;

ProcessResult vktool(std::vector<std::string> args) {
    args.insert(args.begin(), VKT_TOOL);
    return testkit::ipmisim::runProgram(args, 60000, {"TZ=UTC"});
}

// ---- JSON ------------------------------------------------------------------------------

// A JSON value, read strictly (RFC 8259): anything else is a parse failure.
struct JsonValue {
    enum Type { null, boolean, number, string, array, object } type = null;
    std::string text;  // the string's characters, or the number's or literal's text
    std::vector<std::pair<std::string, JsonValue>> members;
    std::vector<JsonValue> items;
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s_(text) {}

    // The one value the text holds, or false with *problem set.
    bool document(JsonValue* v, std::string* problem) {
        const bool ok = value(v) && (space(), at_ == s_.size());
        if (!ok) *problem = "malformed at byte " + std::to_string(at_) + ": " + s_.substr(at_, 40);
        return ok;
    }

private:
    void space() {
        while (at_ < s_.size() && strchr(" \t\r\n", s_[at_]) != nullptr) ++at_;
    }
    bool literal(const char* word) {
        const size_t n = strlen(word);
        if (s_.compare(at_, n, word) != 0) return false;
        at_ += n;
        return true;
    }
    bool stringValue(std::string* out) {
        if (s_[at_] != '"') return false;
        for (++at_; at_ < s_.size(); ++at_) {
            const char c = s_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\') {
                if (++at_ >= s_.size()) return false;
                if (s_[at_] == 'u') {
                    if (at_ + 4 >= s_.size()) return false;
                    for (int i = 1; i <= 4; ++i)
                        if (!isxdigit(static_cast<unsigned char>(s_[at_ + i]))) return false;
                    at_ += 4;
                    *out += '?';
                    continue;
                }
                if (strchr("\"\\/bfnrt", s_[at_]) == nullptr) return false;
            }
            *out += c;
        }
        return false;
    }
    bool value(JsonValue* v) {
        space();
        if (at_ >= s_.size()) return false;
        const char c = s_[at_];
        if (c == '{') {
            v->type = JsonValue::object;
            ++at_;
            space();
            if (s_[at_] == '}') return ++at_, true;
            for (;;) {
                space();
                std::string key;
                JsonValue member;
                if (!stringValue(&key)) return false;
                space();
                if (s_[at_++] != ':' || !value(&member)) return false;
                v->members.emplace_back(key, member);
                space();
                if (s_[at_] == '}') return ++at_, true;
                if (s_[at_++] != ',') return false;
            }
        }
        if (c == '[') {
            v->type = JsonValue::array;
            ++at_;
            space();
            if (s_[at_] == ']') return ++at_, true;
            for (;;) {
                JsonValue item;
                if (!value(&item)) return false;
                v->items.push_back(item);
                space();
                if (s_[at_] == ']') return ++at_, true;
                if (s_[at_++] != ',') return false;
            }
        }
        if (c == '"') return v->type = JsonValue::string, stringValue(&v->text);
        if (literal("null")) return v->type = JsonValue::null, true;
        if (literal("true")) return v->type = JsonValue::boolean, v->text = "true", true;
        if (literal("false")) return v->type = JsonValue::boolean, v->text = "false", true;
        static const std::regex number("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?");
        std::smatch m;
        const std::string rest = s_.substr(at_, 64);
        if (!std::regex_search(rest, m, number)) return false;
        v->type = JsonValue::number;
        v->text = m.str();
        at_ += v->text.size();
        return true;
    }

    const std::string& s_;
    size_t at_ = 0;
};

// Every reading object {"value", "unit", "text"} holds a number or null, a unit or null,
// and the library's text; "" when all do.
std::string measureProblem(const JsonValue& v, const std::string& where) {
    if (v.type == JsonValue::object && v.members.size() == 3 && v.members[0].first == "value") {
        const JsonValue& value = v.members[0].second;
        const JsonValue& unit = v.members[1].second;
        const JsonValue& text = v.members[2].second;
        if (v.members[1].first != "unit" || v.members[2].first != "text") return where + ": member names";
        if (value.type != JsonValue::number && value.type != JsonValue::null) return where + ": value";
        if (unit.type != JsonValue::string && unit.type != JsonValue::null) return where + ": unit";
        if (text.type != JsonValue::string) return where + ": text";
        if (value.type == JsonValue::null && unit.type != JsonValue::null) return where + ": a unit without a value";
    }
    for (const auto& [key, member] : v.members)
        if (std::string p = measureProblem(member, where + "." + key); !p.empty()) return p;
    for (size_t i = 0; i < v.items.size(); ++i)
        if (std::string p = measureProblem(v.items[i], where + "[" + std::to_string(i) + "]"); !p.empty()) return p;
    return "";
}

TEST(VktoolJson, EveryListAndShowIsOneTypedJsonDocument) {
    const std::vector<std::vector<std::string>> shows = {
        {"--simulate", "lan", "show"},          {"--simulate", "lan", "show", "vlan"},
        {"--simulate", "user", "list"},         {"--simulate", "fru", "show"},
        {"--simulate", "fru", "get", "pat"},    {"--simulate", "sel", "info"},
        {"--simulate", "sel", "list"},          {"--simulate", "sensor", "list"},
        {"--simulate", "power", "modules"},     {"--simulate", "power", "batteries"},
        {"--simulate", "nm", "show"},           {"--simulate", "fan", "mode"},
        {"--simulate", "chassis", "intrusion"}, {"--simulate=multinode", "chassis", "show"},
        {"--simulate=multinode", "chassis", "nodes"},
        {"--simulate=multinode", "chassis", "node-id"},
        {"--simulate=multinode", "chassis", "get", "systemsn"},
        {"--simulate=multinode", "chassis", "backplane-location"},
        {"--simulate=multinode", "chassis", "location"},
    };
    for (std::vector<std::string> args : shows) {
        args.insert(args.begin() + 1, "--json");
        ProcessResult r = vktool(args);
        EXPECT_EQ(r.status, 0) << r.command << "\n" << r.err;
        JsonValue document;
        std::string problem;
        EXPECT_TRUE(JsonReader(r.out).document(&document, &problem)) << r.command << "\n" << problem;
        EXPECT_TRUE(document.type == JsonValue::object || document.type == JsonValue::array) << r.command;
        EXPECT_EQ(measureProblem(document, args[3]), "") << r.command;
    }
}

// The documents the man page describes, whole: numbers as numbers with their unit beside,
// the library's text kept, absent values null.
TEST(VktoolJson, WholeDocuments) {
    EXPECT_EQ(vktool({"--simulate", "--json", "sel", "info"}).out,
              "{\n"
              "  \"entries\": 39,\n"
              "  \"freeSpace\": {\"value\": 47376, \"unit\": \"bytes\", \"text\": \"47376 bytes\"},\n"
              "  \"lastAddition\": \"Thu Mar  7 18:00:00 2024\",\n"
              "  \"lastErase\": \"Pre-Init\"\n"
              "}\n");
    EXPECT_EQ(vktool({"--simulate", "--json", "power", "batteries"}).out,
              "[\n"
              "  {\n"
              "    \"module\": {\"number\": 3, \"address\": 116, \"text\": \" [SlaveAddress = 74h] [Module 3]\"},\n"
              "    \"manufacturer\": \"Kestrel Power Co.\",\n"
              "    \"model\": \"BBP-2U-LI\",\n"
              "    \"serialNumber\": \"BBP2U2309001234\",\n"
              "    \"productVersion\": \"1.1\",\n"
              "    \"firmwareVersion\": \"2.01\",\n"
              "    \"voltage\": {\"value\": 12.60, \"unit\": \"volts\", \"text\": \"12.60 V\"},\n"
              "    \"current\": {\"value\": 200, \"unit\": \"milliamperes\", \"text\": \"200 mA\"},\n"
              "    \"packTemperature\": {\"value\": 27, \"unit\": \"degrees C\", \"text\": \"27C/81F\"},\n"
              "    \"boardTemperature\": {\"value\": 31, \"unit\": \"degrees C\", \"text\": \"31C/88F\"},\n"
              "    \"power\": {\"value\": 3, \"unit\": \"watts\", \"text\": \"3W\"},\n"
              "    \"cycleCount\": 37,\n"
              "    \"powerStatus\": \"Normal\",\n"
              "    \"remainingEnergy\": {\"value\": 85, \"unit\": \"percent\", \"text\": \"85%\"},\n"
              "    \"dischargeStatus\": \"None\",\n"
              "    \"dischargeSetting\": \"Auto (30 days)\",\n"
              "    \"dischargeRemainingDays\": {\"value\": 28, \"unit\": \"days\", \"text\": \"28 days\"},\n"
              "    \"statusWord\": {\"value\": 160, \"unit\": null, \"text\": \"0x00A0\"},\n"
              "    \"status\": \"[FULLY CHARGED]\"\n"
              "  }\n"
              "]\n");
    // A node slot that is empty or off: null texts and null values.
    ProcessResult r = vktool({"--simulate=multinode", "--json", "chassis", "nodes"});
    EXPECT_NE(r.out.find("  {\n"
                         "    \"node\": \"3\",\n"
                         "    \"power\": \"Inact\",\n"
                         "    \"ip\": \"192.0.2.33\",\n"
                         "    \"watts\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"current\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"cpu1Temperature\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"cpu2Temperature\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"systemTemperature\": {\"value\": null, \"unit\": null, \"text\": \"N/A\"},\n"
                         "    \"nodepn\": \"NODE-X11C\",\n"
                         "    \"nodesn\": \"SNX11C0042\"\n"
                         "  },\n"
                         "  {\n"
                         "    \"node\": \"4\",\n"
                         "    \"power\": null,\n"
                         "    \"ip\": null,\n"
                         "    \"watts\": {\"value\": null, \"unit\": null, \"text\": \"\"},\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"watts\": {\"value\": 212, \"unit\": \"watts\", \"text\": \"212W\"},\n"
                         "    \"current\": {\"value\": 1.8, \"unit\": \"amperes\", \"text\": \"1.8A\"},\n"
                         "    \"cpu1Temperature\": {\"value\": 46, \"unit\": \"degrees C\", \"text\": \"46C\"},\n"),
              std::string::npos)
        << r.out;
    r = vktool({"--simulate=multinode", "--json", "chassis", "show"});
    EXPECT_NE(r.out.find("  \"backplanesn\": null,\n"), std::string::npos) << r.out;  // "(Empty)"
    EXPECT_NE(r.out.find("  \"configid\": 4,\n"), std::string::npos) << r.out;
}

// ---- OpenMetrics ------------------------------------------------------------------------

bool metricName(const std::string& s) { return std::regex_match(s, std::regex("[a-zA-Z_:][a-zA-Z0-9_:]*")); }

// The first rule of the OpenMetrics text format that `text` breaks, "" when none: lines of
// metadata (TYPE, UNIT, HELP, once each, before the family's samples) and samples, each
// family in one piece, unique label sets, well-formed names, escapes and numbers, a unit
// that ends its family's name, "# EOF" as the last line.
std::string openMetricsProblem(const std::string& text) {
    if (text.empty() || text.back() != '\n') return "the text does not end with a line end";
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.empty() || lines.back() != "# EOF") return "# EOF is not the last line";
    struct Family {
        std::string type = "unknown";
        std::set<std::string> metadata;
        std::set<std::string> series;
        bool sampled = false;
    };
    std::map<std::string, Family> families;
    std::set<std::string> finished;
    std::string current;
    auto enter = [&](const std::string& name) -> std::string {
        if (name == current) return "";
        if (finished.count(name) != 0) return "family " + name + " is split";
        if (!current.empty()) finished.insert(current);
        current = name;
        return "";
    };
    static const std::set<std::string> types = {"counter", "gauge", "stateset", "info", "histogram",
                                                "gaugehistogram", "summary", "unknown"};
    static const std::regex number("[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?|[+-]?Inf|NaN");
    for (size_t n = 0; n + 1 < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::string at = "line " + std::to_string(n + 1) + ": ";
        if (line.empty()) return at + "empty line";
        if (line[0] == '#') {
            std::istringstream words(line);
            std::string hash, kind, name;
            words >> hash >> kind >> name;
            if (hash != "#" || (kind != "TYPE" && kind != "UNIT" && kind != "HELP")) return at + "not metadata";
            if (!metricName(name)) return at + "bad family name";
            const std::string prefix = "# " + kind + " " + name;
            if (line.compare(0, prefix.size(), prefix) != 0 || line.size() <= prefix.size() + 1 ||
                line[prefix.size()] != ' ')
                return at + "bad spacing";
            const std::string rest = line.substr(prefix.size() + 1);
            if (std::string p = enter(name); !p.empty()) return at + p;
            Family& f = families[name];
            if (f.sampled) return at + "metadata after samples";
            if (!f.metadata.insert(kind).second) return at + "second " + kind;
            if (kind == "TYPE") {
                if (types.count(rest) == 0) return at + "unknown type";
                f.type = rest;
            }
            if (kind == "UNIT" && (name.size() <= rest.size() || name.compare(name.size() - rest.size() - 1,
                                                                               std::string::npos, "_" + rest) != 0))
                return at + "the unit does not end the family name";
            if (kind == "HELP") {
                for (size_t k = 0; k < rest.size(); ++k)
                    if (rest[k] == '\\' && (++k >= rest.size() || strchr("\\n\"", rest[k]) == nullptr))
                        return at + "bad escape in HELP";
            }
            continue;
        }
        // name [{labels}] value
        size_t i = 0;
        while (i < line.size() && line[i] != '{' && line[i] != ' ') ++i;
        const std::string name = line.substr(0, i);
        if (!metricName(name)) return at + "bad metric name";
        std::vector<std::pair<std::string, std::string>> labels;
        if (i < line.size() && line[i] == '{') {
            ++i;
            while (i < line.size() && line[i] != '}') {
                size_t eq = line.find('=', i);
                if (eq == std::string::npos) return at + "label without =";
                const std::string label = line.substr(i, eq - i);
                if (!std::regex_match(label, std::regex("[a-zA-Z_][a-zA-Z0-9_]*"))) return at + "bad label name";
                i = eq + 1;
                if (i >= line.size() || line[i] != '"') return at + "label value not quoted";
                std::string value;
                for (++i; i < line.size() && line[i] != '"'; ++i) {
                    if (line[i] == '\\') {
                        if (++i >= line.size() || (line[i] != '\\' && line[i] != '"' && line[i] != 'n'))
                            return at + "bad escape in a label value";
                    }
                    value += line[i];
                }
                if (i >= line.size()) return at + "label value not closed";
                ++i;
                for (const auto& l : labels)
                    if (l.first == label) return at + "label " + label + " given twice";
                labels.emplace_back(label, value);
                if (i < line.size() && line[i] == ',') {
                    ++i;
                    if (i < line.size() && line[i] == '}') return at + "trailing comma";
                } else if (i >= line.size() || line[i] != '}') {
                    return at + "labels not separated";
                }
            }
            if (i >= line.size()) return at + "labels not closed";
            ++i;
        }
        if (i >= line.size() || line[i] != ' ') return at + "no value";
        const std::string value = line.substr(i + 1);
        if (!std::regex_match(value, number)) return at + "bad value " + value;
        // The family: the current one when the name belongs to it, else a new unknown one.
        std::string family = current;
        const Family* f = families.count(current) != 0 ? &families[current] : nullptr;
        const bool belongs = f != nullptr && (name == current || (f->type == "counter" && name == current + "_total") ||
                                              (f->type == "info" && name == current + "_info"));
        if (!belongs) {
            if (std::string p = enter(name); !p.empty()) return at + p;
            family = name;
        }
        Family& fam = families[family];
        if (fam.type == "gauge" || fam.type == "unknown" || fam.type == "stateset")
            if (name != family) return at + "sample name is not its family's";
        fam.sampled = true;
        std::sort(labels.begin(), labels.end());
        std::string key = name;
        for (const auto& l : labels) key += "|" + l.first + "=" + l.second;
        if (!fam.series.insert(key).second) return at + "the same series twice";
    }
    return "";
}

TEST(VktoolOpenMetrics, TheCheckerKnowsTheRules) {
    const std::string good = "# TYPE a_volts gauge\n# UNIT a_volts volts\n# HELP a_volts H \\\\ \\n\n"
                             "a_volts{x=\"1\",y=\"q\\\"\\\\\\n\"} 1.5\na_volts{x=\"2\"} -3e2\nb 1\n# EOF\n";
    EXPECT_EQ(openMetricsProblem(good), "");
    const std::vector<std::string> bad = {
        "a 1\n",                                        // no EOF
        "a 1\n# EOF\nb 2\n",                            // EOF not last
        "a 1\n# EOF",                                   // no final line end
        "a 1\n\n# EOF\n",                               // empty line
        "# TYPE a gauge\na 1\n# HELP a late\n# EOF\n",  // metadata after samples
        "# TYPE a gauge\n# TYPE a gauge\na 1\n# EOF\n",
        "# TYPE a gauge\na 1\nb 1\na 2\n# EOF\n",       // split family
        "# TYPE a gauge\n# UNIT a volts\na 1\n# EOF\n", // unit not in the name
        "a{x=\"1\"} 1\na{x=\"1\"} 2\n# EOF\n",          // same series twice
        "a{x=\"1\",x=\"2\"} 1\n# EOF\n",
        "a{x=\"1\",} 1\n# EOF\n",
        "a{x=\"\\t\"} 1\n# EOF\n",
        "a{1x=\"1\"} 1\n# EOF\n",
        "a 1,5\n# EOF\n",
        "a-b 1\n# EOF\n",
        "# TYPE a meter\na 1\n# EOF\n",
        "# comment\na 1\n# EOF\n",
    };
    for (const std::string& doc : bad) EXPECT_NE(openMetricsProblem(doc), "") << doc;
}

TEST(VktoolOpenMetrics, SensorsPowerModulesAndBatteriesFollowTheFormat) {
    const std::vector<std::vector<std::string>> expositions = {
        {"sensor", "list"}, {"power", "modules"}, {"power", "batteries"}};
    std::map<std::string, std::string> out;
    for (const std::vector<std::string>& what : expositions) {
        ProcessResult r = vktool({"--simulate", what[0], what[1], "--format", "openmetrics"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(openMetricsProblem(r.out), "") << what[0] << " " << what[1] << "\n" << r.out;
        out[what[0] + " " + what[1]] = r.out;
    }
    // Stable names and labels, readings in base units, the status as a label.
    const std::string& sensors = out["sensor list"];
    for (const char* line :
         {"# TYPE vkt_sensor_reading gauge\n",
          "\nvkt_sensor_reading{sensor=\"CPU1 Temp\",type=\"Temperature\",unit=\"celsius\"} 45\n",
          "\nvkt_sensor_reading{sensor=\"12V\",type=\"Voltage\",unit=\"volts\"} 12.03\n",
          "\nvkt_sensor_reading{sensor=\"FAN1\",type=\"Fan\",unit=\"rpm\"} 8300\n",
          "\nvkt_sensor_reading{sensor=\"PS1 Curr Out\",type=\"Others\",unit=\"amperes\"} 14.60\n",
          "\nvkt_sensor_lower_critical{sensor=\"System Temp\",type=\"Temperature\",unit=\"celsius\"} -7\n",
          "\nvkt_sensor_upper_critical{sensor=\"PW Consumption\",type=\"Others\",unit=\"watts\"} 920\n",
          "\nvkt_sensor_status{sensor=\"PS2 Status\",type=\"Power Supply\",status=\"Fail\"} 1\n",
          "\nvkt_sensor_status{sensor=\"FAN4\",type=\"Fan\",status=\"\"} 1\n"})
        EXPECT_NE(sensors.find(line), std::string::npos) << line;
    // No number, no sample: a discrete sensor or one that could not be read.
    EXPECT_EQ(sensors.find("vkt_sensor_reading{sensor=\"FAN4\""), std::string::npos);
    EXPECT_EQ(sensors.find("vkt_sensor_reading{sensor=\"PS2 Status\""), std::string::npos);
    EXPECT_EQ(sensors.find("vkt_sensor_lower_critical{sensor=\"PS1 Curr Out\""), std::string::npos);

    const std::string& modules = out["power modules"];
    for (const char* line :
         {"# TYPE vkt_power_module_input_volts gauge\n# UNIT vkt_power_module_input_volts volts\n",
          "\nvkt_power_module_input_volts{module=\"1\",address=\"0x78\"} 230.5\n",
          "\nvkt_power_module_output_watts{module=\"2\",address=\"0xB2\"} 115\n",
          "\nvkt_power_module_temperature_celsius{module=\"1\",address=\"0x78\",sensor=\"2\"} 41\n",
          "\nvkt_power_module_fan_rpm{module=\"2\",address=\"0xB2\",fan=\"1\"} 6144\n",
          "\nvkt_power_module_status{module=\"1\",address=\"0x78\",status=\"[STATUS OK](00h)\"} 1\n",
          "\nvkt_power_module_info{module=\"2\",address=\"0xB2\",model=\"AXR-1600-T\",serial=\"AXR16T2312000457\","
          "revision=\"A02\",pmbus_revision=\"0x0011\"} 1\n"})
        EXPECT_NE(modules.find(line), std::string::npos) << line;

    const std::string& batteries = out["power batteries"];
    for (const char* line : {"\nvkt_battery_current_amperes{module=\"3\",address=\"0x74\"} 0.2\n",
                             "\nvkt_battery_remaining_energy_ratio{module=\"3\",address=\"0x74\"} 0.85\n",
                             "\nvkt_battery_temperature_celsius{module=\"3\",address=\"0x74\",sensor=\"board\"} 31\n",
                             "\nvkt_battery_status_word{module=\"3\",address=\"0x74\"} 160\n",
                             "\nvkt_battery_cycle_count{module=\"3\",address=\"0x74\"} 37\n"})
        EXPECT_NE(batteries.find(line), std::string::npos) << line;

    // Other shows have no exposition; the refusal sends nothing and says which do.
    ProcessResult r = vktool({"--simulate", "--format", "openmetrics", "user", "list"});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(vktool({"--simulate", "sensor", "list", "--format", "yaml"}).status, 12);
    // A collector's failure leaves standard output empty: a textfile collector keeps the last file.
    r = vktool({"--simulate=failing", "sensor", "list", "--format", "openmetrics"});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(r.out, "");
}

// ---- bash completion ------------------------------------------------------------------

// What the completion offers for the words of a command line (the last is being typed).
std::vector<std::string> complete(const std::vector<std::string>& words, const std::string& dir = "/") {
    std::string script = "source '" + std::string(VKT_TOOL_COMPLETION) + "' || exit 3; cd '" + dir +
                         "'; COMP_WORDS=(";
    for (const std::string& w : words) script += " '" + w + "'";
    script += " ); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _vktool; printf '%s\\n' \"${COMPREPLY[@]}\"";
    testkit::ipmisim::ProcessResult r = testkit::ipmisim::runProgram({"/bin/bash", "--norc", "-c", script});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    std::sort(out.begin(), out.end());
    return out;
}

// The first words of the indented lines of a help section ("Subjects:", "Actions:").
std::vector<std::string> helpSection(const std::string& help, const std::string& heading) {
    std::vector<std::string> names;
    const size_t start = help.find("\n" + heading + "\n");
    if (start == std::string::npos) return names;
    std::istringstream in(help.substr(start + heading.size() + 2));
    for (std::string line; std::getline(in, line) && !line.empty();)
        if (line.size() > 2 && line[0] == ' ' && line[2] != ' ') names.push_back(line.substr(2, line.find(' ', 2) - 2));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(VktoolCompletion, OffersWhatTheHelpLists) {
    std::vector<std::string> subjects = helpSection(vktool({"--help"}).out, "Subjects:");
    ASSERT_GE(subjects.size(), 14u);
    std::vector<std::string> withHelp = subjects;
    withHelp.push_back("help");
    std::sort(withHelp.begin(), withHelp.end());
    EXPECT_EQ(complete({"vktool", ""}), withHelp);
    for (const std::string& subject : subjects) {
        const std::vector<std::string> actions = helpSection(vktool({subject, "--help"}).out, "Actions:");
        EXPECT_FALSE(actions.empty()) << subject;
        EXPECT_EQ(complete({"vktool", "--simulate", subject, ""}), actions) << subject;
        for (const std::string& action : actions) {
            const std::string help = vktool({subject, action, "--help"}).out;
            const std::vector<std::string> offered = complete({"vktool", subject, action, "--"});
            for (const std::string& option : helpSection(help, "Options:"))
                EXPECT_NE(std::find(offered.begin(), offered.end(), option), offered.end())
                    << subject << " " << action << " " << option;
            EXPECT_NE(std::find(offered.begin(), offered.end(), "--help"), offered.end()) << subject << " " << action;
        }
    }
    EXPECT_EQ(complete({"vktool", "lan", "set", ""}),
              (std::vector<std::string>{"arp", "dhcp", "gateway", "ip", "mac", "mask", "vlan"}));
    EXPECT_EQ(complete({"vktool", "lan", "set", "dhcp", ""}), (std::vector<std::string>{"off", "on"}));
    EXPECT_EQ(complete({"vktool", "lan", "set", "ip", ""}), std::vector<std::string>{});
    EXPECT_EQ(complete({"vktool", "fan", "mode", "p"}), (std::vector<std::string>{"pue2", "pue3"}));
    EXPECT_EQ(complete({"vktool", "user", "add", "6", "alice", "--level", "o"}),
              (std::vector<std::string>{"oem", "operator"}));
    EXPECT_EQ(complete({"vktool", "--format", ""}), (std::vector<std::string>{"json", "openmetrics", "text"}));
    EXPECT_EQ(complete({"vktool", "help", "fa"}), std::vector<std::string>{"fan"});
    testkit::ScratchDir dir("vktool-completion");
    testkit::writeFile(dir.file("backup.bin"), "");
    EXPECT_EQ(complete({"vktool", "--yes", "fru", "restore", "ba"}, dir.path()), std::vector<std::string>{"backup.bin"});
}

}  // namespace
