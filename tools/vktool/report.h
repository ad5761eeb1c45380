// Lists and shows: the tables the providers publish, read through the real library the
// way a CIM object manager reads them, printed as text or JSON.
#ifndef VKTOOL_REPORT_H
#define VKTOOL_REPORT_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cimhost.h"
#include "cli.h"
#include "json.h"

namespace vktool {

// What a property's text becomes in JSON.
enum class Kind {
    text,     // a string; null for the library's words for "none" ("", "NA", "N/A")
    integer,  // a number, or null
    measure,  // {"value", "unit", "text"}
    flag,     // true/false for "Yes"/"No", or null
    module,   // a power module's identity: {"number", "address", "text"}
};

// One published property as the tool shows it.
struct Column {
    const char* property;  // CIM property name
    const char* key;       // JSON member name
    const char* heading;   // column heading or label
    int width = 0;         // text columns: 0 sizes the column to its content
    bool right = false;    // right-aligned
    Kind kind = Kind::text;
};

inline Column typed(const char* property, const char* key, const char* heading, Kind kind) {
    return {property, key, heading, 0, false, kind};
}

// The instances of one provider (by prefix), after the exported collector that fills its
// table has succeeded. nullopt after a message when the library cannot be reached that way.
std::optional<cimhost::EnumResult> publishedTable(const Invocation& inv, const char* providerPrefix);

// The one instance a provider publishes; nullopt after a message when the library cannot
// be reached or the provider published none ("vktool: SUBJECT ACTION: " + `missing`).
std::optional<cimhost::Instance> publishedInstance(const Invocation& inv, const char* providerPrefix,
                                                   const char* missing);

// A property's text as shown: the trailing line end some texts carry is dropped.
std::string shownValue(const cimhost::Instance& instance, const char* property);

// Instances as rows: a text table ("a | b | c", with a heading and a rule unless
// `heading` is false) or a JSON array of objects.
void printRows(const Invocation& inv, const std::vector<cimhost::Instance>& rows, const std::vector<Column>& columns,
               bool heading = true);

// One instance as "Label : value" lines, or a JSON object.
void printRecord(const Invocation& inv, const cimhost::Instance& record, const std::vector<Column>& columns);

// Several instances as "Label : value" blocks separated by blank lines, or a JSON array.
void printRecords(const Invocation& inv, const std::vector<cimhost::Instance>& records,
                  const std::vector<Column>& columns);

// A property as its column's kind of JSON value.
Json jsonValue(const cimhost::Instance& instance, const Column& column);

// A JSON document on the data stream.
void printJson(const Json& document);

}  // namespace vktool

#endif
