// The shared layer of vktool's subjects: how an action is described (its arguments,
// options and help), the parsed invocation handed to it, and the helpers every action
// needs to turn text arguments into values or to refuse them before anything is sent.
//
// An action refuses with VKT_BMC_BAD_ARGUMENT (12) and a message on standard error, and
// ends with notConfirmed (15) when a change it was about to make was not confirmed;
// otherwise it returns the result code of the exported routine it called.
#ifndef VKTOOL_CLI_H
#define VKTOOL_CLI_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "varkolt/bmc.h"

namespace vktool {

class Invocation;
using Runner = int (*)(Invocation&);

// Exit status of an action whose change was declined at the prompt, or could not be asked
// for (no terminal, no --yes); nothing was sent. Apart from 12 so that a script can tell
// "not confirmed" from "malformed".
constexpr int notConfirmed = 15;

struct Option {
    const char* name;   // "--level"
    const char* value;  // "LEVEL"; nullptr for a flag
    const char* help;
    const char* choices = nullptr;  // the values shell completion offers, blank-separated
};

enum ActionFlags : unsigned {
    plainAction = 0,
    dataAction = 1u << 0,      // lists or shows something: --json applies
    takesPassword = 1u << 1,   // reads a password (never from the command line)
    changesBmc = 1u << 2,      // asks before it changes the BMC (some forms only show)
    showsProgress = 1u << 3,   // a long operation: progress and a closing summary
    metricsAction = 1u << 4,   // --format openmetrics applies
    sendsNothing = 1u << 5,    // never talks to the BMC
};

// Shell completion of one positional argument: at position `when` ("1", "2", ...), or at
// that position after the word named ("2 dhcp"), offer `words` (blank-separated), or file
// names when `words` is "@file". An argument the synopsis names FILE completes file names
// without an entry.
struct Completion {
    const char* when;
    const char* words;
};

struct Action {
    const char* name;
    const char* arguments;  // synopsis of the positional arguments, "" for none
    const char* summary;    // one line
    std::string details;    // further help paragraphs, "" for none
    int minArguments;
    int maxArguments;
    std::vector<Option> options;
    Runner run;
    unsigned flags = plainAction;
    std::vector<Completion> completions = {};
};

struct Subject {
    const char* name;
    const char* summary;
    std::string details;
    std::vector<Action> actions;

    const Action* find(const std::string& action) const;
};

enum class Format { text, json, openmetrics };

// Settings that come before the subject and hold for the whole run.
struct GlobalSettings {
    Format format = Format::text;
    bool yes = false;
    bool quiet = false;
};

// "text", "json", "openmetrics"; nullopt for anything else.
std::optional<Format> formatNamed(const std::string& name);

// The help line of every action that changes the BMC.
inline constexpr const char* confirmHelp =
    "Asks for confirmation on a terminal unless --yes is given (status 15 when not\n"
    "confirmed).\n";

class Invocation {
public:
    Invocation(const Subject& subject, const Action& action, GlobalSettings settings)
        : subject(subject), action(action), settings_(settings) {}

    const Subject& subject;
    const Action& action;
    std::vector<std::string> arguments;

    // The output format asked for; text for actions that produce no data.
    Format format() const;
    bool json() const { return format() == Format::json; }
    bool quiet() const { return settings_.quiet || has("--quiet"); }
    bool has(const std::string& option) const { return options_.count(option) != 0; }
    std::string option(const std::string& name) const;
    void setOption(const std::string& name, const std::string& value) { options_[name] = value; }
    const GlobalSettings& settings() const { return settings_; }

    // "vktool: SUBJECT ACTION: " + message on standard error; returns 12.
    int refuse(const std::string& message) const;
    // The same message, for a failure the action explains after the library's result.
    void complain(const std::string& message) const;

    // Decimal (or 0x-prefixed hexadecimal) integer in [min, max]; refuses otherwise.
    std::optional<long> number(const std::string& text, const char* what, long min, long max) const;
    // One byte in hexadecimal ("0A", "a", "0x0a"); refuses otherwise.
    std::optional<unsigned char> hexByte(const std::string& text, const char* what) const;
    // A regular file that can be opened for reading; refuses otherwise ("nothing was sent").
    bool readableFile(const std::string& path) const;
    // "on"/"off" and their synonyms (enable/disable, yes/no, 1/0); refuses otherwise.
    std::optional<bool> onOff(const std::string& text, const char* what) const;
    // Asks on the terminal before a change of the BMC; with --yes the answer is yes, and
    // without a terminal to ask on the change is not made (message printed). When it
    // returns false, the action ends with notConfirmed.
    bool confirm(const std::string& question) const;

private:
    GlobalSettings settings_;
    std::map<std::string, std::string> options_;
};

// Parses the words after SUBJECT ACTION into `inv`; 0, or 12 after a message. Options may
// stand anywhere; "--" ends them. "--json", "--format", "--yes", "--quiet" and "--help" are
// accepted here too.
// A password option is refused whatever the action, without echoing its value.
int parseActionWords(Invocation& inv, const std::vector<std::string>& words, bool* helpAsked);

// ---- help -----------------------------------------------------------------------------
void printToolHelp(FILE* out);
void printSubjectHelp(FILE* out, const Subject& subject);
void printActionHelp(FILE* out, const Subject& subject, const Action& action);

// The bash completion script for the subjects, actions and options of the table.
void writeBashCompletion(FILE* out);

// The subjects, in the order of the help (subjects.cpp holds the one table).
const std::vector<const Subject*>& subjects();
const Subject* findSubject(const std::string& name);

}  // namespace vktool

#endif
