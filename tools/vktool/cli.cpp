#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/sim_launch.h"

namespace vktool {

namespace {

constexpr int helpColumn = 20;

// Options that would put a password on the command line, where ps and the shell history
// would keep it.
bool isPasswordOption(const std::string& word) {
    for (const char* name : {"--password", "--passwd", "-p", "-P"}) {
        const std::string n = name;
        if (word == n || word.rfind(n + "=", 0) == 0) return true;
    }
    return false;
}

const Option* findOption(const Action& action, const std::string& name) {
    for (const Option& o : action.options)
        if (name == o.name) return &o;
    return nullptr;
}

void printColumns(FILE* out, const std::string& left, const char* right) {
    if (left.size() + 2 > helpColumn - 2)
        fprintf(out, "  %s\n%*s%s\n", left.c_str(), helpColumn, "", right);
    else
        fprintf(out, "  %-*s%s\n", helpColumn - 2, left.c_str(), right);
}

std::string synopsis(const Subject& subject, const Action& action) {
    std::string s = std::string(subject.name) + " " + action.name;
    if (*action.arguments != '\0') s += std::string(" ") + action.arguments;
    for (const Option& o : action.options) s += std::string(" [") + o.name + (o.value ? std::string(" ") + o.value : "") + "]";
    return s;
}

}  // namespace

std::optional<Format> formatNamed(const std::string& name) {
    if (name == "text") return Format::text;
    if (name == "json") return Format::json;
    if (name == "openmetrics") return Format::openmetrics;
    return std::nullopt;
}

const Action* Subject::find(const std::string& name) const {
    for (const Action& a : actions)
        if (name == a.name) return &a;
    return nullptr;
}

const Subject* findSubject(const std::string& name) {
    for (const Subject* s : subjects())
        if (name == s->name) return s;
    return nullptr;
}

std::string Invocation::option(const std::string& name) const {
    auto it = options_.find(name);
    return it != options_.end() ? it->second : "";
}

Format Invocation::format() const {
    if ((action.flags & dataAction) == 0) return Format::text;
    Format f = settings_.format;
    if (has("--json")) f = Format::json;
    if (has("--format")) f = formatNamed(option("--format")).value_or(Format::text);
    if (f == Format::openmetrics && (action.flags & metricsAction) == 0) return Format::text;
    return f;
}

int Invocation::refuse(const std::string& message) const {
    complain(message);
    return VKT_BMC_BAD_ARGUMENT;
}

void Invocation::complain(const std::string& message) const {
    fprintf(stderr, "vktool: %s %s: %s\n", subject.name, action.name, message.c_str());
}

bool Invocation::readableFile(const std::string& path) const {
    // Never opened when it is not a regular file: a FIFO would block until a writer comes,
    // and opening a device can act on it.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        refuse(path + " is not a regular file; nothing was sent");
        return false;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        refuse("cannot read " + path + ": " + strerror(errno) + "; nothing was sent");
        return false;
    }
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (!regular) refuse(path + " is not a regular file; nothing was sent");
    return regular;
}

std::optional<long> Invocation::number(const std::string& text, const char* what, long min, long max) const {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of(allowed) != std::string::npos) {
        refuse(std::string(what) + " must be a number from " + std::to_string(min) + " to " + std::to_string(max));
        return std::nullopt;
    }
    const long value = strtol(digits.c_str(), nullptr, hex ? 16 : 10);
    if (value < min || value > max) {
        refuse(std::string(what) + " must be a number from " + std::to_string(min) + " to " + std::to_string(max));
        return std::nullopt;
    }
    return value;
}

std::optional<unsigned char> Invocation::hexByte(const std::string& text, const char* what) const {
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = prefixed ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        refuse(std::string(what) + " must be a byte in hexadecimal (00 to FF)");
        return std::nullopt;
    }
    return static_cast<unsigned char>(strtoul(digits.c_str(), nullptr, 16));
}

std::optional<bool> Invocation::onOff(const std::string& text, const char* what) const {
    for (const char* yes : {"on", "enable", "enabled", "yes", "1"})
        if (text == yes) return true;
    for (const char* no : {"off", "disable", "disabled", "no", "0"})
        if (text == no) return false;
    refuse(std::string(what) + " must be on or off");
    return std::nullopt;
}

bool Invocation::confirm(const std::string& question) const {
    if (settings_.yes || has("--yes")) return true;
    if (!isatty(STDIN_FILENO)) {
        fprintf(stderr, "vktool: %s %s: %s Give --yes to confirm without a terminal; nothing was sent.\n",
                subject.name, action.name, question.c_str());
        return false;
    }
    fprintf(stderr, "%s [y/N] ", question.c_str());
    fflush(stderr);
    // Read byte by byte: what follows the answer on standard input stays for the action.
    std::string answer;
    char c = 0;
    while (answer.size() < 16 && read(STDIN_FILENO, &c, 1) == 1 && c != '\n') answer += c;
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return true;
    fprintf(stderr, "vktool: %s %s: not confirmed; nothing was sent.\n", subject.name, action.name);
    return false;
}

int parseActionWords(Invocation& inv, const std::vector<std::string>& words, bool* helpAsked) {
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (!optionsEnded && isPasswordOption(w))
            return inv.refuse("a password is never taken from the command line (ps and the shell history would keep "
                              "it); type it when asked, pipe it on standard input or name a file with --password-file");
        if (optionsEnded || w.size() < 2 || w[0] != '-') {
            inv.arguments.push_back(w);
            continue;
        }
        if (w == "--") {
            optionsEnded = true;
        } else if (w == "-h" || w == "--help") {
            *helpAsked = true;
        } else if (w == "--json" || w == "--yes" || w == "--quiet" || w == "-q") {
            inv.setOption(w == "-q" ? "--quiet" : w, "");
        } else if (w == "--format" || w.rfind("--format=", 0) == 0) {
            const bool inWord = w.size() > 8;
            if (!inWord && i + 1 >= words.size()) return inv.refuse("--format needs FORMAT");
            const std::string value = inWord ? w.substr(9) : words[++i];
            if (!formatNamed(value)) return inv.refuse("FORMAT must be text, json or openmetrics");
            inv.setOption("--format", value);
        } else {
            const size_t eq = w.find('=');
            const std::string name = w.substr(0, eq);
            const Option* o = findOption(inv.action, name);
            if (o == nullptr) return inv.refuse("unknown option " + name + " (see --help)");
            if (o->value == nullptr) {
                if (eq != std::string::npos) return inv.refuse(name + " takes no value");
                inv.setOption(name, "");
            } else if (eq != std::string::npos) {
                inv.setOption(name, w.substr(eq + 1));
            } else if (i + 1 < words.size()) {
                inv.setOption(name, words[++i]);
            } else {
                return inv.refuse(name + " needs " + o->value);
            }
        }
    }
    if (*helpAsked) return VKT_BMC_OK;
    const int n = static_cast<int>(inv.arguments.size());
    if (n < inv.action.minArguments)
        return inv.refuse(std::string("missing arguments; usage: vktool ") + synopsis(inv.subject, inv.action));
    if (n > inv.action.maxArguments) {
        // The surplus is not echoed: it may be a password typed where it does not belong.
        if ((inv.action.flags & takesPassword) != 0)
            return inv.refuse("too many arguments; the password is never taken from the command line (type it "
                              "when asked, pipe it on standard input or name a file with --password-file)");
        return inv.refuse(std::string("too many arguments; usage: vktool ") + synopsis(inv.subject, inv.action));
    }
    return VKT_BMC_OK;
}

// ---- help -----------------------------------------------------------------------------

void printToolHelp(FILE* out) {
    fputs("usage: vktool [GLOBAL OPTIONS] SUBJECT ACTION [ARGUMENTS]\n"
          "       vktool SUBJECT --help\n"
          "       vktool SUBJECT ACTION --help\n"
          "\n"
          "Reads and configures the BMC through the exported routines of libvarkoltprovider.\n"
          "On a host with a BMC it must run as root.\n"
          "\n"
          "Subjects:\n",
          out);
    for (const Subject* s : subjects()) printColumns(out, s->name, s->summary);
    fputs("\nGlobal options:\n", out);
    fputs(vkttools::simOptionsHelp, out);
    fputs("  --json            print what lists and shows produce as JSON (numbers typed)\n"
          "  --format FORMAT   text (default), json, or openmetrics (sensor list, power\n"
          "                    modules, power batteries: a Prometheus/OpenMetrics exposition)\n"
          "  --yes             do not ask before an action that changes the BMC\n"
          "  -q, --quiet       no progress lines or closing summaries on standard error\n"
          "  --version         print the version\n"
          "  -h, --help        this help\n"
          "\n"
          "Every action that changes the BMC asks first on a terminal; without a terminal it\n"
          "needs --yes. Long operations show their progress on standard error.\n"
          "\n"
          "Exit status: 0 success; 11 a command failed or the BMC refused the change;\n"
          "12 a malformed or refused argument; 13 the feature is absent on this server;\n"
          "14 a bridging step failed; 15 a change was not confirmed (nothing was sent);\n"
          "21 the BMC's KCS interface did not answer or could not be opened: there is no\n"
          "OpenIPMI device node (load the kernel's driver: modprobe ipmi_si ipmi_devintf)\n"
          "and the I/O ports gave no answer; 42 not run as root.\n",
          out);
}

void printSubjectHelp(FILE* out, const Subject& subject) {
    fprintf(out, "usage: vktool [GLOBAL OPTIONS] %s ACTION [ARGUMENTS]\n\n%s\n", subject.name, subject.summary);
    if (!subject.details.empty()) fprintf(out, "\n%s", subject.details.c_str());
    fputs("\nActions:\n", out);
    for (const Action& a : subject.actions) {
        std::string left = a.name;
        if (*a.arguments != '\0') left += std::string(" ") + a.arguments;
        printColumns(out, left, a.summary);
    }
    fprintf(out, "\nSee vktool %s ACTION --help for an action's arguments.\n", subject.name);
}

void printActionHelp(FILE* out, const Subject& subject, const Action& action) {
    fprintf(out, "usage: vktool [GLOBAL OPTIONS] %s\n\n%s\n", synopsis(subject, action).c_str(), action.summary);
    if (!action.details.empty()) fprintf(out, "\n%s", action.details.c_str());
    if (!action.options.empty()) {
        fputs("\nOptions:\n", out);
        for (const Option& o : action.options)
            printColumns(out, std::string(o.name) + (o.value ? std::string(" ") + o.value : ""), o.help);
    }
    if ((action.flags & metricsAction) != 0)
        fputs("\nWith --json the result is printed as JSON, with --format openmetrics as an\n"
              "OpenMetrics text exposition (see man vktool).\n",
              out);
    else if ((action.flags & dataAction) != 0)
        fputs("\nWith --json the result is printed as JSON (see man vktool).\n", out);
    if ((action.flags & changesBmc) != 0 && action.details.find(confirmHelp) == std::string::npos)
        fprintf(out, "\n%s", confirmHelp);
    if ((action.flags & showsProgress) != 0)
        fputs("\nShows its progress on standard error (in place on a terminal) and closes with a\n"
              "summary line; --quiet shows neither.\n",
              out);
}

}  // namespace vktool
