// Password input for the user actions. A password never comes from the command line: it
// is typed on the terminal without echo (twice, when it sets a new password), or read as
// the first line of standard input when that is no terminal, or of the file named by
// --password-file.
#ifndef VKTOOL_PASSWORD_H
#define VKTOOL_PASSWORD_H

#include <cstddef>
#include <optional>
#include <string>

#include "cli.h"

namespace vktool {

// Longest password line read; anything longer is refused rather than cut.
constexpr size_t maxPasswordLine = 256;

// Text in a fixed buffer that is wiped when it goes (and when it is moved from), so no
// copy of the password stays behind in freed memory.
class Secret {
public:
    Secret() = default;
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(); }

    const char* c_str() const { return text_; }
    size_t size() const { return size_; }
    bool append(char c);  // false when full
    void dropLast() { if (size_ > 0) text_[--size_] = '\0'; }
    void wipe();

private:
    char text_[maxPasswordLine + 1] = {};
    size_t size_ = 0;
};

// The option every password-taking action offers.
inline constexpr Option passwordFileOption = {"--password-file", "FILE",
                                              "read the password from the first line of FILE"};

// Longest password the BMC stores (the 20-byte form of IPMI 2.0).
constexpr size_t maxPasswordLength = 20;

// The password for `inv`, or nullopt after a refusal message: empty, too long, holding
// a NUL or line break, unreadable, or (when typed) not repeated the same way.
std::optional<Secret> readPassword(const Invocation& inv);

}  // namespace vktool

#endif
