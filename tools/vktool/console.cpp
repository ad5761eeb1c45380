#include "console.h"

#include <unistd.h>

#include <cerrno>

namespace vktool::console {

namespace {

struct Sink {
    int fd = STDOUT_FILENO;
    std::string* collected = nullptr;  // collect() in progress
    char last = '\n';
};

Sink sink;
FILE* dataStream = nullptr;

ssize_t writeSink(void*, const char* buf, size_t n) {
    if (n == 0) return 0;
    if (sink.collected != nullptr) {
        sink.collected->append(buf, n);
        return static_cast<ssize_t>(n);
    }
    size_t done = 0;
    while (done < n) {
        const ssize_t w = write(sink.fd, buf + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(w);
    }
    sink.last = buf[n - 1];
    return static_cast<ssize_t>(n);
}

}  // namespace

void install(bool json) {
    fflush(stdout);
    sink.fd = json ? STDERR_FILENO : STDOUT_FILENO;
    cookie_io_functions_t functions{};
    functions.write = writeSink;
    FILE* tracked = fopencookie(nullptr, "w", functions);
    if (tracked == nullptr) {
        dataStream = stdout;  // untracked, but still correct apart from an open last line
        return;
    }
    setvbuf(tracked, nullptr, isatty(sink.fd) ? _IOLBF : _IOFBF, BUFSIZ);
    dataStream = json ? stdout : tracked;
    stdout = tracked;  // the C library lets a program replace its standard streams
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

}  // namespace vktool::console
