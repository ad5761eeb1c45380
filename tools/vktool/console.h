// Where printed text goes. The exported routines print their reports on the C stream
// stdout; vktool puts a stream of its own in that place, which remembers the last byte
// written (so a line a routine leaves open is finished before anything follows it), sends
// the routines' text to standard error while a JSON document occupies standard output,
// and can collect a routine's report lines instead of showing them.
#ifndef VKTOOL_CONSOLE_H
#define VKTOOL_CONSOLE_H

#include <cstdio>
#include <functional>
#include <string>

namespace vktool::console {

// Replaces stdout; with `json`, what the routines print goes to standard error.
void install(bool json);
// Ends the line the routines' output left open, if any.
void endLine();
// The stream for the tool's own results: standard output (the JSON document in JSON
// mode). Call endLine() first when a routine printed before.
FILE* data();
// Runs `body` with what it prints on stdout collected into *text; returns its result.
int collect(const std::function<int()>& body, std::string* text);

}  // namespace vktool::console

#endif
