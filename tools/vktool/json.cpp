#include "json.h"

#include "common/sim_launch.h"

namespace vktool {

Json Json::string(const std::string& text) { return Json(Type::string, vkttools::jsonString(text)); }

Json Json::text(const std::string& text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    return absentText(t) ? null() : string(t);
}

Json Json::measure(const std::string& text) {
    const Measure m = parseMeasure(text);
    Json j = object();
    j.add("value", m.present ? number(m.number) : null());
    j.add("unit", m.present && m.unit != nullptr ? string(m.unit) : null());
    j.add("text", string(text));
    return j.compact();
}

Json Json::integer(const std::string& text) {
    const std::optional<long long> n = parseInteger(text);
    return n ? number(*n) : null();
}

Json Json::flag(const std::string& text) {
    const std::optional<bool> b = parseYesNo(text);
    return b ? boolean(*b) : null();
}

Json& Json::add(const std::string& key, Json value) {
    members_.emplace_back(key, std::move(value));
    return *this;
}

Json& Json::push(Json value) {
    items_.push_back(std::move(value));
    return *this;
}

void Json::write(std::string* out, int indent, bool inLine) const {
    const bool oneLine = inLine || compact_;
    const std::string pad(static_cast<size_t>(indent) + 2, ' ');
    const std::string close(static_cast<size_t>(indent), ' ');
    auto separator = [&](size_t i) { *out += oneLine ? (i == 0 ? "" : ", ") : (i == 0 ? "\n" + pad : ",\n" + pad); };
    switch (type_) {
        case Type::object:
            if (members_.empty()) {
                *out += "{}";
                return;
            }
            *out += "{";
            for (size_t i = 0; i < members_.size(); ++i) {
                separator(i);
                *out += vkttools::jsonString(members_[i].first) + ": ";
                members_[i].second.write(out, indent + 2, oneLine);
            }
            *out += oneLine ? "}" : "\n" + close + "}";
            return;
        case Type::array:
            if (items_.empty()) {
                *out += "[]";
                return;
            }
            *out += "[";
            for (size_t i = 0; i < items_.size(); ++i) {
                separator(i);
                items_[i].write(out, indent + 2, oneLine);
            }
            *out += oneLine ? "]" : "\n" + close + "]";
            return;
        default:
            *out += scalar_;
    }
}

void Json::write(FILE* out) const {
    std::string text;
    write(&text, 0, false);
    fprintf(out, "%s\n", text.c_str());
}

}  // namespace vktool
