#include "report.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/sim_launch.h"
#include "console.h"

namespace vktool {

namespace {

// The library this program is linked with, loaded a second time by path as a CIMOM
// loads it: the dynamic linker hands back the same copy, so the providers and the
// exported routines share one transport and one set of tables.
cimhost::Host* providerHost(std::string* error) {
    static std::unique_ptr<cimhost::Host> host;
    if (host) return host.get();
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&bmc_GetSDR), &info) == 0 || info.dli_fname == nullptr) {
        *error = "cannot tell where libvarkoltprovider.so.1 was loaded from";
        return nullptr;
    }
    host = cimhost::Host::load(info.dli_fname, error);
    return host.get();
}

std::string padded(const std::string& text, size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

Json jsonRow(const cimhost::Instance& row, const std::vector<Column>& columns) {
    Json object = Json::object();
    for (const Column& c : columns) object.add(c.key, jsonValue(row, c));
    return object;
}

}  // namespace

std::optional<cimhost::EnumResult> publishedTable(const Invocation& inv, const char* providerPrefix) {
    std::string error;
    cimhost::Host* host = providerHost(&error);
    if (host == nullptr) {
        fprintf(stderr, "vktool: %s %s: %s\n", inv.subject.name, inv.action.name, error.c_str());
        return std::nullopt;
    }
    cimhost::EnumResult r = host->enumerate(providerPrefix);
    if (r.rc != CMPI_RC_OK) {
        fprintf(stderr, "vktool: %s %s: the %s provider failed with status %d\n", inv.subject.name, inv.action.name,
                providerPrefix, static_cast<int>(r.rc));
        return std::nullopt;
    }
    return r;
}

std::optional<cimhost::Instance> publishedInstance(const Invocation& inv, const char* providerPrefix,
                                                   const char* missing) {
    std::optional<cimhost::EnumResult> r = publishedTable(inv, providerPrefix);
    if (!r) return std::nullopt;
    if (r->instances.size() != 1) {
        fprintf(stderr, "vktool: %s %s: %s\n", inv.subject.name, inv.action.name, missing);
        return std::nullopt;
    }
    return r->instances[0];
}

std::string shownValue(const cimhost::Instance& instance, const char* property) {
    std::string v = instance.get(property);
    while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) v.pop_back();
    return v;
}

void printRows(const Invocation& inv, const std::vector<cimhost::Instance>& rows, const std::vector<Column>& columns,
               bool heading) {
    if (inv.json()) {
        Json array = Json::array();
        for (const cimhost::Instance& row : rows) array.push(jsonRow(row, columns));
        printJson(array);
        return;
    }
    console::endLine();
    FILE* out = console::data();
    std::vector<size_t> widths;
    for (const Column& c : columns) {
        size_t w = c.width > 0 ? static_cast<size_t>(c.width) : strlen(c.heading);
        if (c.width == 0)
            for (const cimhost::Instance& row : rows) w = std::max(w, shownValue(row, c.property).size());
        widths.push_back(w);
    }
    auto line = [&](auto cell) {
        std::string text;
        for (size_t c = 0; c < columns.size(); ++c) {
            const bool last = c + 1 == columns.size();
            // A sized last column is padded too, as fixed-format tables are; a column sized
            // to its content is not.
            const size_t width = last && columns[c].width == 0 ? 0 : widths[c];
            text += (c == 0 ? "" : " | ") + padded(cell(c), width, columns[c].right);
        }
        fprintf(out, "%s\n", text.c_str());
    };
    if (heading) {
        line([&](size_t c) { return std::string(columns[c].heading); });
        line([&](size_t c) { return std::string(widths[c], '-'); });
    }
    for (const cimhost::Instance& row : rows) line([&](size_t c) { return shownValue(row, columns[c].property); });
}

void printRecord(const Invocation& inv, const cimhost::Instance& record, const std::vector<Column>& columns) {
    if (inv.json()) {
        printJson(jsonRow(record, columns));
        return;
    }
    console::endLine();
    FILE* out = console::data();
    size_t width = 0;
    for (const Column& c : columns) width = std::max(width, strlen(c.heading));
    for (const Column& c : columns)
        fprintf(out, "%s : %s\n", padded(c.heading, width, false).c_str(), shownValue(record, c.property).c_str());
}

void printRecords(const Invocation& inv, const std::vector<cimhost::Instance>& records,
                  const std::vector<Column>& columns) {
    if (inv.json()) {
        printRows(inv, records, columns);
        return;
    }
    for (size_t i = 0; i < records.size(); ++i) {
        if (i > 0) fputs("\n", console::data());
        printRecord(inv, records[i], columns);
    }
}

Json jsonValue(const cimhost::Instance& instance, const Column& column) {
    const std::string text = shownValue(instance, column.property);
    switch (column.kind) {
        case Kind::integer: return Json::integer(text);
        case Kind::measure: return Json::measure(text);
        case Kind::flag: return Json::flag(text);
        case Kind::module: {
            const ModuleId id = parseModuleId(text);
            Json j = Json::object();
            j.add("number", id.number ? Json::number(*id.number) : Json::null());
            j.add("address", id.address ? Json::number(*id.address) : Json::null());
            j.add("text", Json::string(text));
            return j.compact();
        }
        case Kind::text: break;
    }
    return Json::text(text);
}

void printJson(const Json& document) {
    console::endLine();
    document.write(console::data());
}

}  // namespace vktool
