// The one table of vktool's subjects. A subject is one source file (subject_NAME.cpp,
// picked up by the build's glob) that defines `extern const Subject NAMESubject`: its
// name, a one-line summary, help paragraphs and its actions. An action names its
// positional arguments and options (cli.h); its runner turns the text arguments into
// values with the Invocation's helpers (number, onOff, confirm; readPassword of
// password.h), refusing with 12 before anything is sent, and then returns the result of
// one exported routine. Lists and shows call the collector and read the provider's
// table (report.h); they are flagged dataAction so that --json applies. Declare the
// subject below and add it to the table, in the order the help lists subjects.
#include "cli.h"

namespace vktool {

extern const Subject lanSubject;
extern const Subject userSubject;
extern const Subject fruSubject;
extern const Subject selSubject;
extern const Subject sensorSubject;
extern const Subject powerSubject;
extern const Subject nmSubject;
extern const Subject chassisSubject;
extern const Subject fanSubject;
extern const Subject bmcSubject;
extern const Subject rawSubject;
extern const Subject sdrSubject;
extern const Subject configSubject;
extern const Subject nvmeSubject;

const std::vector<const Subject*>& subjects() {
    static const std::vector<const Subject*> table = {
        &lanSubject,     &userSubject, &fruSubject, &selSubject, &sensorSubject, &powerSubject, &nmSubject,
        &chassisSubject, &fanSubject, &bmcSubject, &rawSubject, &sdrSubject, &configSubject, &nvmeSubject,
    };
    return table;
}

}  // namespace vktool
