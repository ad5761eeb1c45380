#include "password.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vktool {

namespace {

// The terminal settings to put back when a signal ends the program while echo is off.
struct termios savedTerminal;
volatile sig_atomic_t echoOff = 0;

void restoreTerminalAndDie(int sig) {
    if (echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    signal(sig, SIG_DFL);
    raise(sig);
}

void wipeBuffer(char* p, size_t n) {
    volatile char* v = p;
    for (size_t i = 0; i < n; ++i) v[i] = 0;
}

enum class LineResult { ok, end, tooLong, error };

// One line from `fd` without its line end (LF or CR LF), read byte by byte so that nothing
// past the line is consumed.
LineResult readLine(int fd, Secret* line, int* error) {
    bool sawAny = false;
    for (;;) {
        char c;
        const ssize_t r = read(fd, &c, 1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            *error = errno;
            line->wipe();
            return LineResult::error;
        }
        if (r == 0 || c == '\n') break;
        sawAny = true;
        if (!line->append(c)) {
            line->wipe();
            return LineResult::tooLong;
        }
    }
    if (line->size() > 0 && line->c_str()[line->size() - 1] == '\r') line->dropLast();
    return sawAny ? LineResult::ok : LineResult::end;
}

std::optional<Secret> checked(const Invocation& inv, Secret secret, const std::string& from) {
    if (secret.size() == 0) {
        inv.refuse("empty password from " + from + "; nothing was sent");
        return std::nullopt;
    }
    if (strlen(secret.c_str()) != secret.size()) {
        inv.refuse("the password from " + from + " holds a NUL byte; nothing was sent");
        return std::nullopt;
    }
    if (secret.size() > maxPasswordLength) {
        inv.refuse("the password from " + from + " is longer than the BMC's " + std::to_string(maxPasswordLength) +
                   " characters; nothing was sent");
        return std::nullopt;
    }
    return secret;
}

std::optional<Secret> fromDescriptor(const Invocation& inv, int fd, const std::string& from) {
    Secret secret;
    int error = 0;
    const LineResult r = readLine(fd, &secret, &error);
    if (r == LineResult::end) {
        inv.refuse("no password on " + from + "; nothing was sent");
        return std::nullopt;
    }
    if (r == LineResult::tooLong) {
        inv.refuse("the password from " + from + " is longer than the BMC's " + std::to_string(maxPasswordLength) +
                   " characters; nothing was sent");
        return std::nullopt;
    }
    if (r == LineResult::error) {
        inv.refuse("cannot read " + from + ": " + strerror(error));
        return std::nullopt;
    }
    return checked(inv, std::move(secret), from);
}

// Prompts on standard error and reads standard input with echo off.
std::optional<Secret> typed(const Invocation& inv, const char* prompt) {
    if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return fromDescriptor(inv, STDIN_FILENO, "the terminal");
    struct sigaction restore {}, oldInt {}, oldTerm {}, oldHup {};
    restore.sa_handler = restoreTerminalAndDie;
    sigemptyset(&restore.sa_mask);
    sigaction(SIGINT, &restore, &oldInt);
    sigaction(SIGTERM, &restore, &oldTerm);
    sigaction(SIGHUP, &restore, &oldHup);
    struct termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    echoOff = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    fputs(prompt, stderr);
    fflush(stderr);
    std::optional<Secret> secret = fromDescriptor(inv, STDIN_FILENO, "the terminal");
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    echoOff = 0;
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
    return secret;
}

}  // namespace

Secret::Secret(Secret&& other) noexcept { *this = std::move(other); }

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        wipe();
        memcpy(text_, other.text_, sizeof text_);
        size_ = other.size_;
        other.wipe();
    }
    return *this;
}

bool Secret::append(char c) {
    if (size_ >= maxPasswordLine) return false;
    text_[size_++] = c;
    text_[size_] = '\0';
    return true;
}

void Secret::wipe() {
    wipeBuffer(text_, sizeof text_);
    size_ = 0;
}

std::optional<Secret> readPassword(const Invocation& inv) {
    if (inv.has(passwordFileOption.name)) {
        const std::string path = inv.option(passwordFileOption.name);
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            inv.refuse("cannot open " + path + ": " + strerror(errno));
            return std::nullopt;
        }
        std::optional<Secret> secret = fromDescriptor(inv, fd, path);
        close(fd);
        return secret;
    }
    if (!isatty(STDIN_FILENO)) return fromDescriptor(inv, STDIN_FILENO, "standard input");

    std::optional<Secret> first = typed(inv, "Password: ");
    if (!first) return std::nullopt;
    std::optional<Secret> again = typed(inv, "Password again: ");
    if (!again) return std::nullopt;
    if (strcmp(first->c_str(), again->c_str()) != 0) {
        inv.refuse("the two passwords differ; nothing was sent");
        return std::nullopt;
    }
    return first;
}

}  // namespace vktool
