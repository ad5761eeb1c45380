// The library's texts taken apart into typed values, for the JSON and OpenMetrics output:
// "45C/113F", "12.03 V", "200 mA", "85%", "47376 bytes", "0x00A0" are numbers with a unit;
// "N/A", "NA", "(Empty)" and empty texts stand for a value that is absent or could not be
// read.
#ifndef VKTOOL_VALUES_H
#define VKTOOL_VALUES_H

#include <optional>
#include <string>

namespace vktool {

struct Measure {
    bool present = false;         // the text is a number, with a unit vktool knows or none
    double value = 0;             // in the text's own unit
    std::string number;           // `value` as a JSON number, as the text wrote it
    const char* unit = nullptr;   // "degrees C", "volts", ...; nullptr when the text has none
    const char* metricUnit = "";  // the OpenMetrics base unit: "celsius", "volts", ...; "" none
    double toMetric = 1;          // factor from `value` to the base unit
};

Measure parseMeasure(const std::string& text);

// A whole decimal number, nothing around it.
std::optional<long long> parseInteger(const std::string& text);

// "Yes"/"No" and the like.
std::optional<bool> parseYesNo(const std::string& text);

// "", "NA", "N/A", "(Empty)": the library's words for a value it does not have.
bool absentText(const std::string& text);

// A power module's identity as the library writes it: " [SlaveAddress = 78h] [Module 1]".
struct ModuleId {
    std::optional<long> number;
    std::optional<long> address;
};
ModuleId parseModuleId(const std::string& text);

// `value` as a JSON or OpenMetrics number: whole numbers without a fraction, others with
// the digits they need.
std::string numberText(double value);

}  // namespace vktool

#endif
