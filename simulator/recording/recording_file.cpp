// The recording file.
//
//   vkt-ipmi-recording 1                     first line, always: the format and its version
//   # tool: vkt-cim 1.0.0                    '#' starts a comment, anywhere on a line; the
//   # ...                                    header is comments for the reader
//   bmc 06/01 -> 00 20 01 03 02 BF 57 01 00 43 08 00 00 00 00 0.2ms
//   ipmb:0:2C 2E/C8 57 01 00 -> 00 57 01 00 0B 3.1ms
//   bmc 30/45 01 01 -> none 30000.0ms
//
// One exchange per line, fields separated by blanks:
//   TARGET    bmc (the system interface), bmc:LUN, or ipmb:CHANNEL:SLAVE[:LUN] for a request
//             the kernel driver bridged to another controller (channel one hex digit,
//             slave address in hex, LUN 0-3)
//   NETFN/CMD two hex digits each (netFn 00-3F), then the request data bytes
//   ->        then the answer as it arrived: completion code first, then the data bytes
//             (nothing at all for an empty message), or "none" when no answer came
//   TIME      optional, how long the answer took: a decimal number with "ms" (at most
//             60000ms)
// Bytes are exactly two hex digits, either case. Blank lines are ignored. A request may
// appear any number of times; a replay answers its occurrences in file order.
#include "recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace testkit::recording {

namespace {

constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t cmdSendMessage = 0x34;
constexpr uint8_t cmdSetUserPassword = 0x47;
constexpr uint8_t maxNetFn = 0x3F;
constexpr uint8_t maxLun = 3;
constexpr uint8_t maxChannel = 0x0F;
constexpr double maxMs = 60000;
// Far more than any session makes; a larger file is not a recording.
constexpr off_t maxFileBytes = 64L * 1024 * 1024;

// Send Message data: channel, then the IPMB message rsSA, netFn/rsLUN, checksum, rqSA,
// rqSeq/rqLUN, cmd, data..., checksum.
constexpr size_t bridgedNetFnAt = 2;
constexpr size_t bridgedCmdAt = 6;
constexpr size_t bridgedDataAt = 7;
constexpr int netFnShift = 2;  // netFn/LUN byte: netFn in bits 7-2

const char* const ipmiModules[] = {"ipmi_msghandler", "ipmi_devintf", "ipmi_si",      "ipmi_ssif",
                                   "ipmi_watchdog",   "ipmi_poweroff", "acpi_ipmi"};
const char* const deviceNodes[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};

std::string hexByte(uint8_t b) {
    char buf[4];
    snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

std::string byteList(const Bytes& bytes) { return bytes.empty() ? "" : " " + hexBytes(bytes); }

std::string quoted(const std::string& token) { return "\"" + token + "\""; }

// Header and comment text stays on its line whatever a command line held.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One or more hex digits, at most `maxDigits`.
bool hexNumber(const std::string& text, size_t maxDigits, unsigned* value) {
    if (text.empty() || text.size() > maxDigits) return false;
    unsigned v = 0;
    for (char c : text) {
        int d = hexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<unsigned>(d);
    }
    *value = v;
    return true;
}

bool byteToken(const std::string& text, uint8_t* value) {
    unsigned v = 0;
    if (text.size() != 2 || !hexNumber(text, 2, &v)) return false;
    *value = static_cast<uint8_t>(v);
    return true;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

std::vector<std::string> tokens(const std::string& line) {
    std::vector<std::string> out;
    std::string current;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

bool parseLun(const std::string& text, uint8_t* lun) {
    unsigned v = 0;
    if (!hexNumber(text, 1, &v) || v > maxLun) return false;
    *lun = static_cast<uint8_t>(v);
    return true;
}

bool parseTarget(const std::string& text, IpmiRequest* r) {
    const std::vector<std::string> parts = split(text, ':');
    if (parts[0] == "bmc" && parts.size() <= 2) {
        r->ipmb = false;
        r->channel = maxChannel;  // the system interface, as the kernel driver names it
        return parts.size() == 1 || parseLun(parts[1], &r->lun);
    }
    if (parts[0] != "ipmb" || parts.size() < 3 || parts.size() > 4) return false;
    unsigned channel = 0;
    unsigned slave = 0;
    if (!hexNumber(parts[1], 1, &channel) || !hexNumber(parts[2], 2, &slave)) return false;
    r->ipmb = true;
    r->channel = static_cast<uint8_t>(channel);
    r->slaveAddr = static_cast<uint8_t>(slave);
    return parts.size() == 3 || parseLun(parts[3], &r->lun);
}

// "12ms", "0.4ms"
bool parseTime(const std::string& text, double* ms) {
    if (text.size() < 3 || text.compare(text.size() - 2, 2, "ms") != 0) return false;
    const std::string number = text.substr(0, text.size() - 2);
    size_t dot = number.find('.');
    const std::string whole = number.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? "" : number.substr(dot + 1);
    if (whole.empty() || whole.size() > 6 || (dot != std::string::npos && fraction.empty()) || fraction.size() > 3)
        return false;
    for (char c : whole + fraction)
        if (!isdigit(static_cast<unsigned char>(c))) return false;
    *ms = std::stod(number);
    return true;
}

// Parses one exchange line (comment already removed, not blank); "" or the reason.
std::string parseExchange(const std::vector<std::string>& t, Exchange* e) {
    if (!parseTarget(t[0], &e->request))
        return "unknown target " + quoted(t[0]) + " (expected bmc, bmc:LUN or ipmb:CHANNEL:SLAVE[:LUN])";
    if (t.size() < 2) return "the command (NETFN/CMD) is missing";
    const std::vector<std::string> fnCmd = split(t[1], '/');
    uint8_t netFn = 0;
    if (fnCmd.size() != 2 || !byteToken(fnCmd[0], &netFn) || !byteToken(fnCmd[1], &e->request.cmd))
        return quoted(t[1]) + " is not NETFN/CMD (two hex digits each)";
    if (netFn > maxNetFn) return "netFn " + hexByte(netFn) + " is out of range (00-3F)";
    e->request.netFn = netFn;

    size_t i = 2;
    for (; i < t.size() && t[i] != "->"; ++i) {
        uint8_t b = 0;
        if (!byteToken(t[i], &b)) return quoted(t[i]) + " is not a byte (two hex digits)";
        if (e->request.data.size() == maxFieldBytes) return "more than " + std::to_string(maxFieldBytes) + " request bytes";
        e->request.data.push_back(b);
    }
    if (i == t.size()) return "no \"->\" between the request and the answer";
    ++i;
    if (i < t.size() && t[i] == "none") {
        ++i;
    } else {
        e->answer = Bytes{};
        for (uint8_t b = 0; i < t.size() && byteToken(t[i], &b); ++i) {
            if (e->answer->size() == maxFieldBytes) return "more than " + std::to_string(maxFieldBytes) + " answer bytes";
            e->answer->push_back(b);
        }
    }
    if (i < t.size()) {
        if (!parseTime(t[i], &e->ms)) return quoted(t[i]) + " is neither a byte nor a time such as 1.5ms";
        if (e->ms > maxMs) return "time " + t[i] + " is longer than 60000ms";
        ++i;
    }
    if (i < t.size()) return "unexpected " + quoted(t[i]) + " after the " + (e->ms >= 0 ? "time" : "answer");
    return "";
}

std::string lineError(int line, const std::string& reason) { return "line " + std::to_string(line) + ": " + reason; }

bool checkMagic(const std::string& first, std::string* error) {
    if (first == magicLine) return true;
    const std::vector<std::string> t = tokens(first);
    if (t.size() == 2 && t[0] == "vkt-ipmi-recording")
        *error = lineError(1, "format version " + t[1] + " is not supported (this program reads version 1)");
    else
        *error = lineError(1, "not an IPMI recording (the first line must be \"" + std::string(magicLine) + "\")");
    return false;
}

bool present(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}

std::string utcNow() {
    time_t now = time(nullptr);
    tm t{};
    char buf[64] = "unknown";
    if (gmtime_r(&now, &t) != nullptr) strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &t);
    return buf;
}

std::string kernelText() {
    utsname u{};
    if (uname(&u) != 0) return "unknown";
    return std::string(u.sysname) + " " + u.release + " (" + u.machine + ")";
}

}  // namespace

std::string targetText(const IpmiRequest& r) {
    if (!r.ipmb) return r.lun == 0 ? "bmc" : "bmc:" + std::to_string(r.lun & maxLun);
    char buf[32];
    snprintf(buf, sizeof buf, "ipmb:%X:%02X", r.channel & maxChannel, r.slaveAddr);
    std::string s = buf;
    if (r.lun != 0) s += ":" + std::to_string(r.lun & maxLun);
    return s;
}

std::string requestText(const IpmiRequest& r) {
    return targetText(r) + " " + hexByte(r.netFn) + "/" + hexByte(r.cmd) + byteList(r.data);
}

std::string exchangeLine(const Exchange& e) {
    std::string line = requestText(e.request) + " ->";
    line += e.answer ? byteList(*e.answer) : " none";
    if (e.ms >= 0) {
        char buf[32];
        snprintf(buf, sizeof buf, " %.1fms", e.ms > maxMs ? maxMs : e.ms);
        line += buf;
    }
    return line;
}

void scrubSecrets(IpmiRequest& r) {
    if (r.netFn != netFnApp) return;
    if (r.cmd == cmdSetUserPassword) {
        std::fill(r.data.begin(), r.data.end(), 0);
    } else if (r.cmd == cmdSendMessage && r.data.size() > bridgedDataAt && (r.data[bridgedNetFnAt] >> netFnShift) == netFnApp &&
               r.data[bridgedCmdAt] == cmdSetUserPassword) {
        // The password and the checksum over it.
        std::fill(r.data.begin() + bridgedDataAt, r.data.end(), 0);
    }
}

bool parseRecording(const std::string& text, std::vector<Exchange>* exchanges, std::string* error) {
    exchanges->clear();
    size_t start = 0;
    for (int number = 1; start <= text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() > maxLineLength) {
            *error = lineError(number, "longer than " + std::to_string(maxLineLength) + " characters");
            return false;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1) {
            if (!checkMagic(line, error)) return false;
            continue;
        }
        line = line.substr(0, line.find('#'));
        const std::vector<std::string> t = tokens(line);
        if (t.empty()) continue;
        Exchange e;
        e.line = number;
        const std::string reason = parseExchange(t, &e);
        if (!reason.empty()) {
            *error = lineError(number, reason);
            return false;
        }
        exchanges->push_back(std::move(e));
    }
    return true;
}

bool loadRecording(const std::string& path, std::vector<Exchange>* exchanges, std::string* error) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": " + strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ": not a regular file";
        return false;
    }
    if (st.st_size > maxFileBytes) {
        *error = path + ": larger than 64 MiB, not a recording";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": " + strerror(errno);
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = path + ": read error";
        return false;
    }
    if (!parseRecording(text, exchanges, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

namespace {

// The lines of /proc/ioports where the kernel's IPMI driver claims ports. The firmware's
// entries around them ("IPI0001:00", "IPMI Address 1") are there with or without a driver.
std::string ipmiPortClaims() {
    std::ifstream in("/proc/ioports");
    std::string claims;
    for (std::string line; std::getline(in, line) && claims.size() < maxLineLength;) {
        const size_t separator = line.find(" : ");
        if (separator == std::string::npos || line.compare(separator + 3, std::string::npos, "ipmi_si") != 0) continue;
        const size_t start = line.find_first_not_of(' ');
        claims += (claims.empty() ? " " : ", ") + oneLine(line.substr(start == std::string::npos ? 0 : start));
    }
    return claims.empty() ? " none" : claims;
}

}  // namespace

std::string driverStateLines() {
    std::string found;
    std::string absent;
    for (const char* m : ipmiModules) (present(std::string("/sys/module/") + m) ? found : absent) += std::string(" ") + m;
    std::string nodes;
    for (const char* n : deviceNodes)
        if (present(n)) nodes += std::string(" ") + n;
    return "# kernel IPMI modules (loaded or built in):" + (found.empty() ? std::string(" none") : found) +
           "; absent:" + (absent.empty() ? std::string(" none") : absent) + "\n# IPMI device nodes:" +
           (nodes.empty() ? std::string(" none") : nodes) + "\n# I/O ports held by an IPMI driver:" + ipmiPortClaims() +
           "\n";
}

Writer::~Writer() {
    if (file_ != nullptr) fclose(file_);
}

bool Writer::open(const std::string& path, const Origin& origin, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    // It names the BMC's users and network settings: readable by its owner only. Never
    // written through a link someone may have planted at the name.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    file_ = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (file_ == nullptr) {
        *error = "cannot write the recording " + path + ": " + strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    path_ = path;
    std::string header = std::string(magicLine) + "\n";
    header += "# tool: " + oneLine(origin.tool) + "\n";
    if (!origin.command.empty()) header += "# command: " + oneLine(origin.command) + "\n";
    header += "# recorded: " + utcNow() + "\n";
    header += "# source: " + oneLine(origin.source) + "\n";
    header += "# kernel: " + kernelText() + "\n";
    header += driverStateLines();
    header += "# Set User Password (06h/47h): its data bytes are replaced by zeros in this file.\n";
    header += "# One exchange per line: TARGET NETFN/CMD [DATA] -> [COMPLETION CODE DATA | none] [TIME]\n";
    put(header);
    if (!error_.empty()) *error = error_;
    return error_.empty();
}

void Writer::put(const std::string& text) {
    if (file_ == nullptr || !error_.empty()) return;
    if (fputs(text.c_str(), file_) == EOF || fflush(file_) != 0)
        error_ = "writing the recording " + path_ + " failed: " + strerror(errno);
}

void Writer::append(Exchange exchange) {
    scrubSecrets(exchange.request);
    const std::string line = exchangeLine(exchange) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    put(line);
    if (error_.empty()) ++written_;
}

void Writer::comment(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    put("# " + oneLine(text) + "\n");
}

std::string Writer::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

size_t Writer::written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

}  // namespace testkit::recording
