// Where printed text goes. The exported routines print their reports on the C stream
// stdout and their failures on stderr; vktool puts streams of its own in those places.
// The one for stdout remembers the last byte written (so a line a routine leaves open is
// finished before anything follows it), sends the routines' text to standard error while a
// document (JSON, OpenMetrics) occupies standard output, and can collect a routine's
// report lines instead of showing them. Both keep a status line (progress) that stands on
// the terminal's last row out of their way: it is taken off before their text is written
// and drawn again after it.
#ifndef VKTOOL_CONSOLE_H
#define VKTOOL_CONSOLE_H

#include <cstdio>
#include <functional>
#include <string>

namespace vktool::console {

// Replaces stdout and stderr; with `document`, what the routines print on stdout goes to
// standard error.
void install(bool document);
// Ends the line the routines' output left open, if any.
void endLine();
// The stream for the tool's own results: standard output (the document in document
// mode). Call endLine() first when a routine printed before.
FILE* data();
// Runs `body` with what it prints on stdout collected into *text; returns its result.
int collect(const std::function<int()>& body, std::string* text);

// True when standard error is a terminal: the status line is drawn in place there.
bool statusInPlace();
// Shows `text` as the status line: in place on a terminal (replacing the one before),
// otherwise as one line on standard error.
void showStatus(const std::string& text);
// Takes the status line off the terminal (nothing otherwise).
void clearStatus();

}  // namespace vktool::console

#endif
