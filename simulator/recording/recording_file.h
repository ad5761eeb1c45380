// Recordings of a BMC conversation: what a host sent, what the BMC answered and how long it
// took, one exchange per line of a text file that a person can read and edit. The format is
// described at the top of recording_file.cpp and in the README.
#ifndef TESTKIT_RECORDING_FILE_H
#define TESTKIT_RECORDING_FILE_H

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ipmi_message.h"

namespace testkit::recording {

constexpr const char* magicLine = "vkt-ipmi-recording 1";
// Longest line and longest byte list the parser accepts; a recorded field is never longer
// than what the kernel driver or the KCS channel carries.
constexpr size_t maxLineLength = 8192;
constexpr size_t maxFieldBytes = 1024;

struct Exchange {
    IpmiRequest request;         // addressing in ipmb/channel/slaveAddr/lun
    std::optional<Bytes> answer;  // completion code first; nullopt: never answered
    double ms = -1;               // how long the answer took; < 0 when not recorded
    int line = 0;                 // where it stands in the file (parsed recordings)
};

// "bmc", "bmc:2", "ipmb:0:2c", "ipmb:6:2c:1".
std::string targetText(const IpmiRequest& request);
// "bmc 06/01" followed by the data bytes: how the file and the replay name a request.
std::string requestText(const IpmiRequest& request);
// One line of the file, without the newline.
std::string exchangeLine(const Exchange& exchange);

// Set User Password carries a password in its data: every data byte becomes 00h, also in a
// Set User Password that travels inside a Send Message to another controller. Recorders
// apply this before anything is written, the replay before it looks a request up.
void scrubSecrets(IpmiRequest& request);

// Parses a whole recording; on failure *error is "line N: reason".
bool parseRecording(const std::string& text, std::vector<Exchange>* exchanges, std::string* error);
// Reads and parses a file; on failure *error names the file (and line).
bool loadRecording(const std::string& path, std::vector<Exchange>* exchanges, std::string* error);

// What the header says about where a recording came from.
struct Origin {
    std::string tool;     // "vkt-cim 1.0.0"
    std::string command;  // the command line that was recorded
    std::string source;   // "host BMC", "simulated server \"demo\"", ...
};

// The host's kernel IPMI driver as the header describes it: modules present (loaded or
// built in) and the device nodes that exist, two comment lines.
std::string driverStateLines();

// Writes a recording as exchanges complete, each line flushed at once so a process that
// ends abruptly still leaves every exchange it made. Shared by the device and KCS
// recorders; safe to call from any thread.
class Writer {
public:
    Writer() = default;
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Creates (or truncates) the file and writes the header.
    bool open(const std::string& path, const Origin& origin, std::string* error);
    void append(Exchange exchange);  // scrubs the request first
    void comment(const std::string& text);  // "# text"
    // "" while every line reached the file, else why not (the first failure).
    std::string error() const;
    size_t written() const;

private:
    void put(const std::string& line);

    mutable std::mutex mutex_;
    FILE* file_ = nullptr;
    std::string path_;
    std::string error_;
    size_t written_ = 0;
};

}  // namespace testkit::recording

#endif
