#include "values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vktool {

namespace {

struct UnitWord {
    const char* suffix;  // as the library writes it after the number
    const char* unit;
    const char* metricUnit;
    double toMetric;
};

// Every unit the library's readings use: sensors, power modules, batteries, the chassis's
// node table, the event log's free space.
constexpr UnitWord unitWords[] = {
    {"C", "degrees C", "celsius", 1},     {"F", "degrees F", "fahrenheit", 1}, {"K", "kelvin", "kelvin", 1},
    {"V", "volts", "volts", 1},           {"A", "amperes", "amperes", 1},      {"Amps", "amperes", "amperes", 1},
    {"mA", "milliamperes", "amperes", 0.001}, {"W", "watts", "watts", 1},      {"Watts", "watts", "watts", 1},
    {"RPM", "RPM", "rpm", 1},             {"%", "percent", "ratio", 0.01},     {"bytes", "bytes", "bytes", 1},
    {"days", "days", "days", 1},
};

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The decimal number at the start of `text`: its length, 0 when there is none.
size_t numberLength(const std::string& text) {
    size_t i = text[0] == '-' ? 1 : 0;
    const size_t digits = i;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == digits) return 0;
    if (i + 1 < text.size() && text[i] == '.' && isdigit(static_cast<unsigned char>(text[i + 1]))) {
        ++i;
        while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) ++i;
    }
    return i;
}

// The number as JSON writes it: no leading zeros, "-0" as "0".
std::string jsonNumber(const std::string& token) {
    std::string t = token;
    const bool negative = t[0] == '-';
    if (negative) t.erase(0, 1);
    while (t.size() > 1 && t[0] == '0' && t[1] != '.') t.erase(0, 1);
    const bool zero = t.find_first_not_of("0.") == std::string::npos;
    return (negative && !zero ? "-" : "") + t;
}

}  // namespace

std::string numberText(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
        char text[32];
        snprintf(text, sizeof text, "%.0f", value);
        return strcmp(text, "-0") == 0 ? "0" : text;
    }
    char text[32];
    snprintf(text, sizeof text, "%.10g", value);
    return text;
}

bool absentText(const std::string& text) {
    const std::string t = trimmed(text);
    return t.empty() || t == "NA" || t == "N/A" || t == "(Empty)";
}

Measure parseMeasure(const std::string& original) {
    Measure m;
    const std::string text = trimmed(original);
    if (text.empty()) return m;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        // A register or status word in hexadecimal.
        if (text.size() > 10 || text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) return m;
        m.value = static_cast<double>(strtoull(text.c_str() + 2, nullptr, 16));
        m.number = numberText(m.value);
        m.present = true;
        return m;
    }
    const size_t n = numberLength(text);
    if (n == 0) return m;
    const std::string token = text.substr(0, n);
    std::string suffix = trimmed(text.substr(n));
    // Temperatures read "45C/113F": Celsius, with Fahrenheit for the reader.
    const size_t slash = suffix.find('/');
    if (slash == 1 && suffix[0] == 'C' && suffix.back() == 'F') {
        const std::string fahrenheit = suffix.substr(2, suffix.size() - 3);
        if (fahrenheit.empty() || numberLength(fahrenheit) != fahrenheit.size()) return m;
        suffix = "C";
    }
    if (!suffix.empty()) {
        const UnitWord* found = nullptr;
        for (const UnitWord& u : unitWords)
            if (suffix == u.suffix) found = &u;
        if (found == nullptr) return m;
        m.unit = found->unit;
        m.metricUnit = found->metricUnit;
        m.toMetric = found->toMetric;
    }
    m.value = strtod(token.c_str(), nullptr);
    m.number = jsonNumber(token);
    m.present = true;
    return m;
}

std::optional<long long> parseInteger(const std::string& original) {
    const std::string text = trimmed(original);
    const size_t start = text[0] == '-' ? 1 : 0;
    if (text.size() <= start || text.size() > 18 || text.find_first_not_of("0123456789", start) != std::string::npos)
        return std::nullopt;
    return strtoll(text.c_str(), nullptr, 10);
}

std::optional<bool> parseYesNo(const std::string& original) {
    const std::string text = trimmed(original);
    for (const char* yes : {"Yes", "yes", "True", "true", "enabled"})
        if (text == yes) return true;
    for (const char* no : {"No", "no", "False", "false", "disabled"})
        if (text == no) return false;
    return std::nullopt;
}

ModuleId parseModuleId(const std::string& text) {
    ModuleId id;
    unsigned address = 0;
    const size_t a = text.find("[SlaveAddress = ");
    if (a != std::string::npos && sscanf(text.c_str() + a, "[SlaveAddress = %2xh]", &address) == 1)
        id.address = static_cast<long>(address);
    int number = 0;
    const size_t m = text.find("[Module ");
    if (m != std::string::npos && sscanf(text.c_str() + m, "[Module %d]", &number) == 1) id.number = number;
    return id;
}

}  // namespace vktool
