// vktool raw: one IPMI request given as hexadecimal words.
#include "cli.h"

namespace vktool {

namespace {

// Network function, command and at most 126 data bytes.
constexpr int maxWords = 128;
// The library counts two command-line words ahead of the network function.
constexpr int leadingWords = 2;

int send(Invocation& inv) {
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
         "e.g. raw send 06 01. A request that cannot be sent as written is refused (12).\n",
         2, maxWords, {}, send},
    },
};

}  // namespace vktool
