// vktool sensor: the sensors of the BMC's SDR repository.
#include "console.h"
#include "openmetrics.h"
#include "report.h"

namespace vktool {

namespace {

// The families of the sensor exposition; their names and labels stay as they are, since
// dashboards and alerts are built on them.
constexpr const char* readingFamily = "vkt_sensor_reading";
constexpr const char* lowFamily = "vkt_sensor_lower_critical";
constexpr const char* highFamily = "vkt_sensor_upper_critical";
constexpr const char* statusFamily = "vkt_sensor_status";

void printMetrics(const std::vector<cimhost::Instance>& sensors) {
    Exposition e;
    e.gauge(readingFamily, "", "Sensor reading, in the unit its unit label names (celsius, volts, amperes, watts, rpm, ...)");
    e.gauge(lowFamily, "", "Lower critical threshold of a threshold sensor, in the unit of its reading");
    e.gauge(highFamily, "", "Upper critical threshold of a threshold sensor, in the unit of its reading");
    e.gauge(statusFamily, "", "1 for each sensor, with the BMC's evaluation (OK, Fail, or empty) as the status label");
    for (const cimhost::Instance& s : sensors) {
        const std::string name = shownValue(s, "VKT_SensorName");
        const std::string type = shownValue(s, "VKT_SensorTypeName");
        const Measure reading = parseMeasure(shownValue(s, "VKT_Reading"));
        const Exposition::Labels labels = {{"sensor", name}, {"type", type}, {"unit", reading.metricUnit}};
        if (reading.present) e.sample(readingFamily, labels, reading.number);
        for (auto [property, family] : {std::pair{"VKT_LowLimit", lowFamily}, std::pair{"VKT_HighLimit", highFamily}}) {
            const Measure limit = parseMeasure(shownValue(s, property));
            // A limit in another unit than the reading (or none) is no threshold of it.
            if (reading.present && limit.present && std::string(limit.metricUnit) == reading.metricUnit)
                e.sample(family, labels, limit.number);
        }
        e.sample(statusFamily, {{"sensor", name}, {"type", type}, {"status", shownValue(s, "VKT_Status")}}, "1");
    }
    console::endLine();
    e.write(console::data());
}

int list(Invocation& inv) {
    if (int rc = bmc_GetSDR()) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "SensorsProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    if (inv.format() == Format::openmetrics) {
        printMetrics(r->instances);
        return VKT_BMC_OK;
    }
    printRows(inv, r->instances,
              {{"VKT_SensorName", "name", "Sensor"},
               {"VKT_SensorTypeName", "type", "Type"},
               typed("VKT_Reading", "reading", "Reading", Kind::measure),
               typed("VKT_LowLimit", "lowLimit", "Low Limit", Kind::measure),
               typed("VKT_HighLimit", "highLimit", "High Limit", Kind::measure),
               {"VKT_Status", "status", "Status"}});
    return VKT_BMC_OK;
}

}  // namespace

extern const Subject sensorSubject = {
    "sensor",
    "sensor readings",
    "",
    {
        {"list", "", "print every sensor with type, reading, critical limits and status",
         "Limits are the lower and upper critical thresholds; N/A for discrete sensors.\n", 0, 0, {}, list,
         dataAction | metricsAction},
    },
};

}  // namespace vktool
