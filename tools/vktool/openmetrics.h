// An OpenMetrics text exposition (also read by Prometheus and the node exporter's
// textfile collector): metric families in the order they were declared, each with its
// TYPE, UNIT and HELP lines and its samples, then "# EOF".
#ifndef VKTOOL_OPENMETRICS_H
#define VKTOOL_OPENMETRICS_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "values.h"

namespace vktool {

class Exposition {
public:
    using Labels = std::vector<std::pair<std::string, std::string>>;

    // A gauge family; `unit` ("" for none) must end its name, as the format asks.
    void gauge(const std::string& name, const std::string& unit, const std::string& help);
    // A sample of a declared family. A label set the family already has gets a label
    // "occurrence" (2, 3, ...): two sensors of one name must not make one series.
    void sample(const std::string& family, Labels labels, const std::string& value);
    // A sample from a reading's text when it holds a number in the family's unit (converted
    // to it, e.g. mA to amperes); nothing otherwise.
    void reading(const std::string& family, const Labels& labels, const std::string& text);

    void write(FILE* out) const;

private:
    struct Family {
        std::string name, unit, help;
        std::vector<Labels> labelSets;
        std::vector<std::string> values;
    };
    Family* find(const std::string& name);
    std::vector<Family> families_;
};

}  // namespace vktool

#endif
