#include "openmetrics.h"

#include <algorithm>

namespace vktool {

namespace {

std::string escaped(const std::string& text, bool quote) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '"' && quote) out += "\\\"";
        else out += c;
    }
    return out;
}

std::string labelText(const Exposition::Labels& labels) {
    if (labels.empty()) return "";
    std::string s = "{";
    for (size_t i = 0; i < labels.size(); ++i)
        s += (i == 0 ? "" : ",") + labels[i].first + "=\"" + escaped(labels[i].second, true) + "\"";
    return s + "}";
}

}  // namespace

Exposition::Family* Exposition::find(const std::string& name) {
    for (Family& f : families_)
        if (f.name == name) return &f;
    return nullptr;
}

void Exposition::gauge(const std::string& name, const std::string& unit, const std::string& help) {
    if (find(name) == nullptr) families_.push_back({name, unit, help, {}, {}});
}

void Exposition::sample(const std::string& family, Labels labels, const std::string& value) {
    Family* f = find(family);
    if (f == nullptr) return;
    const Labels base = labels;
    for (int n = 2; std::find(f->labelSets.begin(), f->labelSets.end(), labels) != f->labelSets.end(); ++n) {
        labels = base;
        labels.emplace_back("occurrence", std::to_string(n));
    }
    f->labelSets.push_back(labels);
    f->values.push_back(value);
}

void Exposition::reading(const std::string& family, const Labels& labels, const std::string& text) {
    const Family* f = find(family);
    const Measure m = parseMeasure(text);
    if (f == nullptr || !m.present || f->unit != m.metricUnit) return;
    sample(family, labels, m.toMetric == 1 ? m.number : numberText(m.value * m.toMetric));
}

void Exposition::write(FILE* out) const {
    for (const Family& f : families_) {
        if (f.values.empty()) continue;
        fprintf(out, "# TYPE %s gauge\n", f.name.c_str());
        if (!f.unit.empty()) fprintf(out, "# UNIT %s %s\n", f.name.c_str(), f.unit.c_str());
        fprintf(out, "# HELP %s %s\n", f.name.c_str(), escaped(f.help, false).c_str());
        for (size_t i = 0; i < f.values.size(); ++i)
            fprintf(out, "%s%s %s\n", f.name.c_str(), labelText(f.labelSets[i]).c_str(), f.values[i].c_str());
    }
    fputs("# EOF\n", out);
}

}  // namespace vktool
