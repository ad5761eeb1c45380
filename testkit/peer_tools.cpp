#include "peer_tools.h"

#include <cstdlib>
#include <sstream>

namespace testkit::peers {

namespace {

// Peers run in UTC and the C locale, so dates and numbers print the same everywhere.
const std::vector<std::string> peerEnv = {"TZ=UTC", "LC_ALL=C", "LANG=C"};

bool yes(const std::string& s) { return s == "true" || s == "yes"; }

}  // namespace

ProcessResult ipmitool(const Simulator& sim, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"ipmitool", "-I", "lanplus", "-H", "127.0.0.1", "-p", std::to_string(sim.lanPort()),
                                     "-U", sim.user(), "-P", sim.password(), "-C", "3"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ipmisim::runProgram(argv, 60000, peerEnv);
}

ProcessResult freeipmi(const Simulator& sim, const std::string& tool, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {tool, "-h", "127.0.0.1:" + std::to_string(sim.lanPort()), "-u", sim.user(),
                                     "-p", sim.password(), "-D", "LAN_2_0", "-I", "3", "-l", "ADMIN",
                                     "-W", "opensesspriv"};
    if (tool != "ipmi-config")
        argv.insert(argv.end(), {"--sdr-cache-directory", sim.scratchDir(), "--sdr-cache-recreate"});
    argv.insert(argv.end(), args.begin(), args.end());
    return ipmisim::runProgram(argv, 60000, peerEnv);
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : line) {
        if (c == separator) {
            out.push_back(trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(trim(cur));
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string l; std::getline(ss, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

std::map<std::string, std::string> parseColonList(const std::string& text) {
    std::map<std::string, std::string> out;
    for (const std::string& l : lines(text)) {
        size_t colon = l.find(':');
        if (colon == std::string::npos) continue;
        std::string key = trim(l.substr(0, colon));
        if (key.empty()) continue;
        out.emplace(key, trim(l.substr(colon + 1)));
    }
    return out;
}

std::optional<double> parseNumber(const std::string& text) {
    std::string t = trim(text);
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    double v = strtod(t.c_str(), &end);
    if (end == t.c_str()) return std::nullopt;
    if (t.size() > 1 && (t[1] == 'x' || t[1] == 'X')) return std::nullopt;
    return v;
}

std::vector<SensorRow> parseIpmitoolSensor(const std::string& text) {
    std::vector<SensorRow> out;
    for (const std::string& l : lines(text)) {
        std::vector<std::string> f = split(l, '|');
        if (f.size() < 10) continue;
        SensorRow r;
        r.name = f[0];
        r.valueText = f[1];
        r.value = parseNumber(f[1]);
        r.unit = f[2];
        r.status = f[3];
        r.lnr = parseNumber(f[4]);
        r.lc = parseNumber(f[5]);
        r.lnc = parseNumber(f[6]);
        r.unc = parseNumber(f[7]);
        r.uc = parseNumber(f[8]);
        r.unr = parseNumber(f[9]);
        out.push_back(r);
    }
    return out;
}

std::vector<SdrRow> parseIpmitoolSdrElist(const std::string& text) {
    std::vector<SdrRow> out;
    for (const std::string& l : lines(text)) {
        std::vector<std::string> f = split(l, '|');
        if (f.size() < 5) continue;
        SdrRow r;
        r.name = f[0];
        r.number = static_cast<int>(strtol(f[1].c_str(), nullptr, 16));
        r.status = f[2];
        r.entity = f[3];
        r.text = f[4];
        out.push_back(r);
    }
    return out;
}

std::vector<SelRow> parseIpmitoolSel(const std::string& text) {
    std::vector<SelRow> out;
    for (const std::string& l : lines(text)) {
        std::vector<std::string> f = split(l, '|');
        if (f.size() < 4) continue;
        SelRow r;
        r.fields = f;
        r.id = static_cast<int>(strtol(f[0].c_str(), nullptr, 16));
        r.date = f[1];
        r.time = f.size() > 2 ? f[2] : "";
        r.sensor = f.size() > 3 ? f[3] : "";
        r.event = f.size() > 4 ? f[4] : "";
        r.direction = f.size() > 5 ? f[5] : "";
        out.push_back(r);
    }
    return out;
}

std::vector<UserRow> parseIpmitoolUsers(const std::string& text) {
    // ID  Name             Callin  Link Auth  IPMI Msg   Channel Priv Limit
    // The name column is 17 characters wide and may hold blanks; the rest are words.
    std::vector<UserRow> out;
    for (const std::string& l : lines(text)) {
        if (l.size() < 22 || l[0] < '0' || l[0] > '9') continue;
        UserRow r;
        r.id = atoi(l.substr(0, 4).c_str());
        r.name = trim(l.substr(4, 17));
        std::stringstream rest(l.substr(21));
        std::string callin, linkAuth, msg;
        rest >> callin >> linkAuth >> msg;
        std::string priv;
        std::getline(rest, priv);
        r.callin = yes(callin);
        r.linkAuth = yes(linkAuth);
        r.ipmiMsg = yes(msg);
        r.privilege = trim(priv);
        out.push_back(r);
    }
    return out;
}

int CsvTable::column(const std::string& name) const {
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return static_cast<int>(i);
    return -1;
}

std::string CsvTable::get(size_t row, const std::string& name) const {
    int c = column(name);
    if (c < 0 || row >= rows.size() || static_cast<size_t>(c) >= rows[row].size()) return "";
    return rows[row][static_cast<size_t>(c)];
}

CsvTable parseCsv(const std::string& text) {
    CsvTable t;
    bool first = true;
    for (const std::string& l : lines(text)) {
        if (trim(l).empty()) continue;
        std::vector<std::string> f = split(l, ',');
        if (first) {
            t.header = f;
            first = false;
        } else {
            t.rows.push_back(f);
        }
    }
    return t;
}

std::map<std::string, std::map<std::string, std::string>> parseConfigCheckout(const std::string& text) {
    std::map<std::string, std::map<std::string, std::string>> out;
    std::string section;
    for (const std::string& l : lines(text)) {
        std::string t = trim(l);
        if (t.empty() || t[0] == '#') continue;
        if (t.rfind("Section ", 0) == 0) {
            section = trim(t.substr(8));
            continue;
        }
        if (t == "EndSection") {
            section.clear();
            continue;
        }
        size_t gap = t.find_first_of(" \t");
        std::string key = t.substr(0, gap);
        std::string value = gap == std::string::npos ? "" : trim(t.substr(gap));
        out[section][key] = value;
    }
    return out;
}

}  // namespace testkit::peers
