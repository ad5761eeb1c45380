// Bounded text and byte helpers.
//
// Every fixed-size text field of the library is written through these: a copy is always
// cut to the field and always terminated, a formatted text goes through vsnprintf. Bytes
// are read through vkt::ByteView (byte_view.h, included here): a byte that was not sent
// reads as 00h.
#ifndef VKT_BOUNDED_H
#define VKT_BOUNDED_H

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "byte_view.h"
#include "vkt_types.h"

namespace vkt {

// Copies at most `maxLen` bytes of `src` (stopping at its terminator) into `dst`, which
// holds `cap` bytes; the result is always terminated and cut to cap - 1 characters.
inline size_t copyText(char* dst, size_t cap, const char* src, size_t maxLen = static_cast<size_t>(-1)) {
    if (dst == nullptr || cap == 0) return 0;
    size_t n = 0;
    if (src != nullptr) {
        while (n < maxLen && n + 1 < cap && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

template <size_t N>
inline size_t copyText(char (&dst)[N], const char* src, size_t maxLen = static_cast<size_t>(-1)) {
    return copyText(dst, N, src, maxLen);
}

// Appends `src` to the terminated text in `dst` (capacity `cap`), cutting at the field end.
inline size_t appendText(char* dst, size_t cap, const char* src) {
    if (dst == nullptr || cap == 0) return 0;
    size_t used = strnlen(dst, cap);
    if (used >= cap) {  // not terminated: terminate at the last byte
        dst[cap - 1] = '\0';
        return cap - 1;
    }
    return used + copyText(dst + used, cap - used, src);
}

template <size_t N>
inline size_t appendText(char (&dst)[N], const char* src) {
    return appendText(dst, N, src);
}

// The value of one hexadecimal digit (either case), or -1 for any other character.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The low byte of the sum of `n` bytes; a span that carries its own checksum sums to 00h.
inline BYTE byteSum(const BYTE* data, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += data[i];
    return static_cast<BYTE>(sum);
}

// The checksum byte that brings bytes summing to `sum` to 00h.
inline BYTE zeroChecksum(unsigned sum) { return static_cast<BYTE>(0x100 - (sum & 0xFF)); }

// snprintf into a fixed field; the text is cut to the field. Returns the length written.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline size_t formatText(char* dst, size_t cap, const char* fmt, ...) {
    if (dst == nullptr || cap == 0) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(dst, cap, fmt, ap);
    va_end(ap);
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

#define VKT_FORMAT(field, ...) ::vkt::formatText((field), sizeof(field), __VA_ARGS__)

}  // namespace vkt

#endif
