// The bash completion script, written from the table the help is printed from, so that
// both always name the same subjects, actions, options and argument words. The build runs
// "vktool --bash-completion FILE" and installs FILE as the completion of vktool.
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "cli.h"

namespace vktool {

namespace {

// Global options as the help lists them; those that take a value name it.
struct GlobalOption {
    const char* name;
    const char* value;  // "@file", "@none" (anything), a word list, or nullptr for a flag
};
constexpr GlobalOption globalOptions[] = {
    {"--simulate", nullptr}, {"--bmc-sim-vm", "@none"}, {"--kcs", nullptr},  {"--record", "@file"},
    {"--json", nullptr},     {"--format", "text json openmetrics"},          {"--yes", nullptr},
    {"--quiet", nullptr},    {"--version", nullptr},    {"--help", nullptr},
};

// What an option's value completes to, from the name of that value.
std::string valueWords(const Option& o) {
    if (o.choices != nullptr) return o.choices;
    return std::string(o.value) == "FILE" ? "@file" : "@none";
}

// The positional argument words of the synopsis: "FILE", "[BOOT-DEVICE]", "CODE=VALUE...".
std::vector<std::string> synopsisWords(const char* arguments) {
    std::vector<std::string> words;
    std::istringstream in(arguments);
    for (std::string w; in >> w;) {
        for (char c : {'[', ']'}) {
            for (size_t at; (at = w.find(c)) != std::string::npos;) w.erase(at, 1);
        }
        if (w.size() > 3 && w.compare(w.size() - 3, 3, "...") == 0) w.resize(w.size() - 3);
        words.push_back(w);
    }
    return words;
}

std::string actionOptions(const Action& a) {
    std::string s;
    for (const Option& o : a.options) s += std::string(o.name) + " ";
    if ((a.flags & dataAction) != 0) s += "--json --format ";
    return s + "--yes --quiet --help";
}

void writeCases(FILE* out, const std::map<std::string, std::string>& cases) {
    fputs("    case $1 in\n", out);
    for (const auto& [key, words] : cases) fprintf(out, "        '%s') echo '%s' ;;\n", key.c_str(), words.c_str());
    fputs("    esac\n", out);
}

}  // namespace

void writeBashCompletion(FILE* out) {
    std::string subjectWords = "help";
    std::map<std::string, std::string> actions, options, arguments, values;
    for (const GlobalOption& g : globalOptions)
        if (g.value != nullptr) values[g.name] = g.value;
    for (const Subject* s : subjects()) {
        subjectWords += std::string(" ") + s->name;
        std::string names;
        for (const Action& a : s->actions) {
            names += std::string(names.empty() ? "" : " ") + a.name;
            const std::string key = std::string(s->name) + " " + a.name;
            options[key] = actionOptions(a);
            for (const Option& o : a.options)
                if (o.value != nullptr) values[o.name] = valueWords(o);
            const std::vector<std::string> synopsis = synopsisWords(a.arguments);
            for (size_t i = 0; i < synopsis.size(); ++i)
                if (synopsis[i] == "FILE") arguments[key + " " + std::to_string(i + 1)] = "@file";
            for (const Completion& c : a.completions) arguments[key + " " + c.when] = c.words;
        }
        actions[s->name] = names;
    }
    std::string globals;
    for (const GlobalOption& g : globalOptions) globals += std::string(globals.empty() ? "" : " ") + g.name;

    fputs("# bash completion for vktool. Written by vktool --bash-completion from the table of\n"
          "# subjects and actions its help is printed from; do not edit.\n\n",
          out);
    fputs("_vktool_actions() {\n", out);
    writeCases(out, actions);
    fputs("}\n\n_vktool_options() {\n", out);
    writeCases(out, options);
    fputs("}\n\n# SUBJECT ACTION POSITION [PREVIOUS-WORD]: the words of a positional argument.\n"
          "_vktool_arguments() {\n",
          out);
    writeCases(out, arguments);
    fputs("}\n\n# The value an option takes: a word list, @file, or @none.\n_vktool_option_value() {\n", out);
    writeCases(out, values);
    fprintf(out,
            "}\n\n"
            "_vktool_reply() {\n"
            "    case $1 in\n"
            "        @file) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$2\") ;;\n"
            "        @none) COMPREPLY=() ;;\n"
            "        *) mapfile -t COMPREPLY < <(compgen -W \"$1\" -- \"$2\") ;;\n"
            "    esac\n"
            "}\n\n"
            "_vktool() {\n"
            "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
            "    local subject='' action='' previous='' position=0 i word value\n"
            "    COMPREPLY=()\n"
            "    value=$(_vktool_option_value \"$prev\")\n"
            "    if [[ -n $value ]]; then\n"
            "        _vktool_reply \"$value\" \"$cur\"\n"
            "        return\n"
            "    fi\n"
            "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
            "        word=${COMP_WORDS[i]}\n"
            "        if [[ $word == -* ]]; then\n"
            "            [[ -n $(_vktool_option_value \"$word\") ]] && ((i++))\n"
            "            continue\n"
            "        fi\n"
            "        if [[ -z $subject ]]; then subject=$word\n"
            "        elif [[ -z $action ]]; then action=$word\n"
            "        else ((position++)); previous=$word\n"
            "        fi\n"
            "    done\n"
            "    if [[ $cur == -* ]]; then\n"
            "        if [[ -z $action || $subject == help ]]; then _vktool_reply '%s' \"$cur\"\n"
            "        else _vktool_reply \"$(_vktool_options \"$subject $action\")\" \"$cur\"\n"
            "        fi\n"
            "        return\n"
            "    fi\n"
            "    if [[ $subject == help ]]; then\n"
            "        if [[ -z $action ]]; then _vktool_reply '%s' \"$cur\"\n"
            "        elif ((position == 0)); then _vktool_reply \"$(_vktool_actions \"$action\")\" \"$cur\"\n"
            "        fi\n"
            "        return\n"
            "    fi\n"
            "    if [[ -z $subject ]]; then _vktool_reply '%s' \"$cur\"; return; fi\n"
            "    if [[ -z $action ]]; then _vktool_reply \"$(_vktool_actions \"$subject\")\" \"$cur\"; return; fi\n"
            "    ((position++))\n"
            "    value=$(_vktool_arguments \"$subject $action $position $previous\")\n"
            "    [[ -z $value ]] && value=$(_vktool_arguments \"$subject $action $position\")\n"
            "    [[ -n $value ]] && _vktool_reply \"$value\" \"$cur\"\n"
            "}\n\n"
            "complete -F _vktool vktool\n",
            globals.c_str(), subjectWords.substr(5).c_str(), subjectWords.c_str());
}

}  // namespace vktool
