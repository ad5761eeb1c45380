// vktool's JSON documents: typed values built by the actions and written in one layout
// (two-space indentation, one member per line; small objects such as a reading with its
// unit on one line).
#ifndef VKTOOL_JSON_H
#define VKTOOL_JSON_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "values.h"

namespace vktool {

class Json {
public:
    static Json null() { return Json(Type::null, "null"); }
    static Json string(const std::string& text);
    // A text, or null when the library's text stands for an absent value ("", "NA", "N/A").
    static Json text(const std::string& text);
    static Json number(const std::string& jsonNumber) { return Json(Type::number, jsonNumber); }
    static Json number(long long n) { return Json(Type::number, std::to_string(n)); }
    static Json boolean(bool b) { return Json(Type::boolean, b ? "true" : "false"); }
    static Json object() { return Json(Type::object, ""); }
    static Json array() { return Json(Type::array, ""); }
    // {"value": 45, "unit": "degrees C", "text": "45C/113F"}; value and unit null when the
    // text holds no number or no unit.
    static Json measure(const std::string& text);
    // A whole number, or null.
    static Json integer(const std::string& text);
    // true/false for "Yes"/"No", or null.
    static Json flag(const std::string& text);

    Json& add(const std::string& key, Json value);  // object member
    Json& push(Json value);                        // array item
    // Written on one line wherever it stands.
    Json& compact() {
        compact_ = true;
        return *this;
    }

    void write(FILE* out) const;  // the document, with a final line end

private:
    enum class Type { null, boolean, number, string, object, array };
    Json(Type type, std::string scalar) : type_(type), scalar_(std::move(scalar)) {}
    void write(std::string* out, int indent, bool inLine) const;

    Type type_;
    std::string scalar_;  // the JSON text of a scalar
    std::vector<std::pair<std::string, Json>> members_;
    std::vector<Json> items_;
    bool compact_ = false;
};

}  // namespace vktool

#endif
