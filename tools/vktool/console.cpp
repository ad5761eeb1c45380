#include "console.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vktool::console {

namespace {

constexpr size_t defaultColumns = 80;
constexpr size_t shortestStatus = 12;  // less room than this on the row: no status line
constexpr const char* eraseToEnd = "\033[K";

bool writeAll(int fd, const char* buf, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, buf, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        buf += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool writeAll(int fd, const std::string& text) { return writeAll(fd, text.data(), text.size()); }

// The terminal on standard error and what its last row holds: the text written there
// since the last line end, with the status line after it.
struct Terminal {
    bool inPlace = false;  // standard error is a terminal
    dev_t device = 0;
    std::string row;       // what the streams wrote on the row
    std::string status;    // the status line to keep on it, "" for none
    bool drawn = false;

    bool isOurs(int fd) const {
        if (!inPlace) return false;
        if (fd == STDERR_FILENO) return true;
        struct stat st {};
        return isatty(fd) && fstat(fd, &st) == 0 && st.st_rdev == device;
    }

    size_t columns() const {
        winsize ws{};
        return ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : defaultColumns;
    }

    void hide() {
        if (!drawn) return;
        writeAll(STDERR_FILENO, "\r" + row + eraseToEnd);
        drawn = false;
    }

    // Draws the status line over whatever status the row shows; no room, no status.
    void draw() {
        const size_t width = columns();
        const size_t used = row.empty() ? 0 : row.size() + 1;
        if (status.empty() || used + shortestStatus >= width) {
            hide();
            return;
        }
        const std::string shown = status.substr(0, width - 1 - used);
        writeAll(STDERR_FILENO, "\r" + row + (row.empty() ? "" : " ") + shown + eraseToEnd);
        drawn = true;
    }

    // After `n` bytes went to the terminal: the row they leave behind. A row longer than
    // the terminal is wide has wrapped; only its last part is on the last row.
    void wrote(const char* buf, size_t n) {
        const std::string text(buf, n);
        const size_t lineEnd = text.find_last_of('\n');
        row = lineEnd == std::string::npos ? row + text : text.substr(lineEnd + 1);
        const size_t width = columns();
        if (row.size() >= width) row.erase(0, row.size() / width * width);
    }
};

Terminal terminal;

struct Sink {
    int fd = STDOUT_FILENO;
    std::string* collected = nullptr;  // collect() in progress
    char last = '\n';
};

Sink sink;
FILE* dataStream = nullptr;

// Writes what a stream holds to `fd`, with the status line taken off the terminal first
// and put back after.
ssize_t writeThrough(int fd, const char* buf, size_t n) {
    const bool ours = terminal.isOurs(fd);
    if (ours) terminal.hide();
    const bool ok = writeAll(fd, buf, n);
    if (ours) {
        terminal.wrote(buf, n);
        terminal.draw();
    }
    return ok ? static_cast<ssize_t>(n) : -1;
}

ssize_t writeStdout(void*, const char* buf, size_t n) {
    if (n == 0) return 0;
    if (sink.collected != nullptr) {
        sink.collected->append(buf, n);
        return static_cast<ssize_t>(n);
    }
    const ssize_t r = writeThrough(sink.fd, buf, n);
    if (r > 0) sink.last = buf[n - 1];
    return r;
}

ssize_t writeStderr(void*, const char* buf, size_t n) { return n == 0 ? 0 : writeThrough(STDERR_FILENO, buf, n); }

FILE* trackedStream(cookie_write_function_t* write, int mode) {
    cookie_io_functions_t functions{};
    functions.write = write;
    FILE* f = fopencookie(nullptr, "w", functions);
    if (f != nullptr) setvbuf(f, nullptr, mode, BUFSIZ);
    return f;
}

// Also when the library ends the process itself (status 21, 42): no status line is left
// on the terminal.
void finishAtExit() {
    fflush(stdout);
    fflush(stderr);
    clearStatus();
}

// Standard output and standard error lead to the same file (2>&1 into a log).
bool sameFile(int a, int b) {
    struct stat sa {}, sb {};
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

void install(bool document) {
    fflush(stdout);
    fflush(stderr);
    struct stat st {};
    terminal.inPlace = isatty(STDERR_FILENO) && fstat(STDERR_FILENO, &st) == 0;
    terminal.device = st.st_rdev;
    sink.fd = document ? STDERR_FILENO : STDOUT_FILENO;
    FILE* out = trackedStream(writeStdout, isatty(sink.fd) ? _IOLBF : _IOFBF);
    FILE* err = trackedStream(writeStderr, _IONBF);
    if (out == nullptr || err == nullptr) {
        // Untracked, but still correct apart from an open last line.
        if (out != nullptr) fclose(out);
        if (err != nullptr) fclose(err);
        terminal.inPlace = false;
        dataStream = stdout;
        return;
    }
    dataStream = document ? stdout : out;
    stdout = out;  // the C library lets a program replace its standard streams
    stderr = err;
    atexit(finishAtExit);
}

void endLine() {
    fflush(stdout);
    if (sink.last != '\n' && sink.collected == nullptr) {
        fputc('\n', stdout);
        fflush(stdout);
    }
}

FILE* data() { return dataStream != nullptr ? dataStream : stdout; }

int collect(const std::function<int()>& body, std::string* text) {
    endLine();
    sink.collected = text;
    const int rc = body();
    fflush(stdout);
    sink.collected = nullptr;
    return rc;
}

bool statusInPlace() { return terminal.inPlace; }

void showStatus(const std::string& text) {
    fflush(stdout);
    if (terminal.inPlace) {
        terminal.status = text;
        terminal.draw();
        return;
    }
    // A line the routines left open in the same file is not continued by the status.
    const bool openLine = sink.last != '\n' && sink.collected == nullptr && sameFile(sink.fd, STDERR_FILENO);
    writeAll(STDERR_FILENO, (openLine ? "\n" : "") + text + "\n");
    if (openLine) sink.last = '\n';
}

void clearStatus() {
    terminal.hide();
    terminal.status.clear();
}

}  // namespace vktool::console
