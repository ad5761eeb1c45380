// vktool raw: one IPMI request given as hexadecimal words.
#include <cctype>
#include <cstdio>

#include "cli.h"

namespace vktool {

namespace {

// Network function, command and at most 126 data bytes.
constexpr int maxWords = 128;
constexpr unsigned long maxNetFn = 0x3F;
constexpr unsigned long maxCommand = 0xFF;
// The library counts two command-line words ahead of the network function.
constexpr int leadingWords = 2;

// A word as the library reads it: hexadecimal digits, "0x" allowed in front.
bool hexWord(const std::string& word, unsigned long* value) {
    const size_t start = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X') ? 2 : 0;
    if (word.size() == start || word.size() - start > 8) return false;
    for (size_t i = start; i < word.size(); ++i)
        if (!isxdigit(static_cast<unsigned char>(word[i]))) return false;
    *value = std::stoul(word.substr(start), nullptr, 16);
    return true;
}

int send(Invocation& inv) {
    // Checked here as well as by the library, so that a request that cannot be sent is
    // refused before the question is asked.
    std::string shown;
    for (size_t i = 0; i < inv.arguments.size(); ++i) {
        unsigned long v = 0;
        if (!hexWord(inv.arguments[i], &v)) return inv.refuse(inv.arguments[i] + " is not a hexadecimal number");
        if (i == 0 && v > maxNetFn) return inv.refuse("the network function is above 3F");
        if (i == 1 && v > maxCommand) return inv.refuse("the command is above FF");
        // Data words go as their low byte, as the library sends them.
        char byte[8];
        snprintf(byte, sizeof byte, "%s%02lX", i == 0 ? "" : i == 1 ? "/" : " ", i < 2 ? v : v & 0xFF);
        shown += byte;
    }
    // A raw request may change anything on the BMC.
    if (!inv.confirm("Send the request " + shown + " to the BMC?")) return notConfirmed;
    std::vector<char*> words;
    for (std::string& w : inv.arguments) words.push_back(&w[0]);
    return bmc_ExecRawCmd(static_cast<int>(words.size()) + leadingWords, words.data());
}

}  // namespace

extern const Subject rawSubject = {
    "raw",
    "one IPMI request as hexadecimal words",
    "",
    {
        {"send", "NETFN CMD [DATA...]", "send a request to the BMC and print the answer's data bytes",
         "NETFN (at most 3F), CMD (at most FF) and up to 126 DATA bytes in hexadecimal,\n"
         "e.g. raw send 06 01. A request that cannot be sent as written is refused (12).\n"
         "Since a request may change anything, it is asked for like every change.\n",
         2, maxWords, {}, send, changesBmc},
    },
};

}  // namespace vktool
