// The one table of vktool's subjects. A subject is one source file (subject_NAME.cpp)
// that defines its `Subject`; add it here, in the order the help lists subjects.
#include "cli.h"

namespace vktool {

extern const Subject lanSubject;
extern const Subject userSubject;
extern const Subject fruSubject;
extern const Subject selSubject;
extern const Subject sensorSubject;

const std::vector<const Subject*>& subjects() {
    static const std::vector<const Subject*> table = {
        &lanSubject, &userSubject, &fruSubject, &selSubject, &sensorSubject,
    };
    return table;
}

}  // namespace vktool
