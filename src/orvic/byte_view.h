// The one bounded reader of received and stored bytes: IPMI replies, SDR slots, FRU images
// and SEL records are all read through a ByteView. A byte past the end reads as 00h and
// nothing is ever read outside the bytes the view was given.
#ifndef VKT_BYTE_VIEW_H
#define VKT_BYTE_VIEW_H

#include <array>
#include <cstddef>

#include "vkt_types.h"

namespace vkt {

struct ByteView {
    const BYTE* data = nullptr;
    size_t length = 0;

    ByteView() = default;
    ByteView(const BYTE* d, size_t n) : data(d), length(d != nullptr ? n : 0) {}
    template <size_t N>
    ByteView(const BYTE (&bytes)[N]) : ByteView(bytes, N) {}
    template <size_t N>
    ByteView(const std::array<BYTE, N>& bytes) : ByteView(bytes.data(), N) {}

    BYTE operator[](size_t i) const { return i < length ? data[i] : 0; }
    bool has(size_t i) const { return i < length; }
    size_t size() const { return length; }
    bool empty() const { return length == 0; }
    // The `n` bytes from `from` on, cut to what this view holds.
    ByteView sub(size_t from, size_t n = static_cast<size_t>(-1)) const {
        if (from >= length) return ByteView();
        const size_t left = length - from;
        return ByteView(data + from, n < left ? n : left);
    }
    // 16- and 32-bit values stored least significant byte first.
    WORD le16(size_t i) const { return static_cast<WORD>((*this)[i] | (*this)[i + 1] << 8); }
    DWORD le32(size_t i) const {
        return static_cast<DWORD>((*this)[i]) | static_cast<DWORD>((*this)[i + 1]) << 8 |
               static_cast<DWORD>((*this)[i + 2]) << 16 | static_cast<DWORD>((*this)[i + 3]) << 24;
    }
    // Copies up to `n` bytes starting at `from` into `out`; missing bytes become 00h.
    void copyTo(BYTE* out, size_t from, size_t n) const {
        for (size_t i = 0; i < n; ++i) out[i] = (*this)[from + i];
    }
};

// A read position inside a view that never moves past its end.
class ByteCursor {
public:
    explicit ByteCursor(ByteView view, size_t pos = 0) : view_(view), pos_(pos) {}

    bool atEnd() const { return pos_ >= view_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return atEnd() ? 0 : view_.size() - pos_; }
    // The byte at the position (00h at the end), without moving.
    BYTE peek() const { return view_[pos_]; }
    // The byte at the position (00h at the end); moves on unless at the end.
    BYTE next() {
        const BYTE b = peek();
        if (!atEnd()) ++pos_;
        return b;
    }

private:
    ByteView view_;
    size_t pos_;
};

}  // namespace vkt

#endif
