// Decoders of the answers in ipmi_replies.h. Offsets are those of the response data, the
// completion code not counted.
#include "ipmi_replies.h"

#include <algorithm>

namespace vkt {

namespace {

// `N` bytes (or characters) from `from` on; what the answer does not hold is 00h.
template <size_t N, typename T = BYTE>
std::array<T, N> bytesAt(ByteView data, size_t from) {
    std::array<T, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = static_cast<T>(data[from + i]);
    return out;
}

template <size_t N>
std::array<char, N> charsAt(ByteView data, size_t from) {
    return bytesAt<N, char>(data, from);
}

bool bit(unsigned bits, int n) { return n >= 0 && n < 16 && (bits >> n & 1U) != 0; }

constexpr BYTE extendedCapsBit = 0x80;
constexpr BYTE ipmi20ConnectionsBit = 0x02;
constexpr BYTE userCountMask = 0x1F;
constexpr size_t recordIdSize = 2;
constexpr WORD vlanEnableBit = 0x8000;
constexpr WORD vlanIdMask = 0x0FFF;
constexpr size_t macSize = 6;
constexpr BYTE downloadReady = 0x00;
constexpr size_t downloadStatusSize = 5;  // ready byte, four size bytes

}  // namespace

DeviceIdReply DeviceIdReply::decode(ByteView data) {
    return {data[2], data[3], data.le16(9), bytesAt<4>(data, 11)};
}

SystemGuidReply SystemGuidReply::decode(ByteView data) { return {bytesAt<16>(data, 0)}; }

bool ChannelAuthCapsReply::ipmi20() const {
    return (extendedCapabilities & ipmi20ConnectionsBit) != 0 && (authTypeSupport & extendedCapsBit) != 0;
}

ChannelAuthCapsReply ChannelAuthCapsReply::decode(ByteView data) { return {data[1], data[3]}; }

SelfTestReply SelfTestReply::decode(ByteView data) { return {data[0], data[1]}; }

UserAccessReply UserAccessReply::decode(ByteView data) {
    return {static_cast<BYTE>(data[0] & userCountMask), static_cast<BYTE>(data[1] & userCountMask), data[1], data[3]};
}

UserNameReply UserNameReply::decode(ByteView data) { return {charsAt<16>(data, 0)}; }

SdrRepositoryInfoReply SdrRepositoryInfoReply::decode(ByteView data) { return {data[0], data.le16(1)}; }

SelInfoReply SelInfoReply::decode(ByteView data) { return {data.le16(1), data.le16(3), data.le32(5), data.le32(9)}; }

ReservationReply ReservationReply::decode(ByteView data) { return {bytesAt<2>(data, 0)}; }

RecordReply RecordReply::decode(ByteView data) { return {data.le16(0), data.sub(recordIdSize)}; }

SensorReadingReply SensorReadingReply::decode(ByteView data) { return {data[0], data[1], data.le16(2)}; }

SensorThresholdsReply SensorThresholdsReply::decode(ByteView data) { return {data[0], bytesAt<6>(data, 1)}; }

bool LanParamReply::vlanEnabled() const { return (ByteView(value).le16(0) & vlanEnableBit) != 0; }

int LanParamReply::vlanId() const { return ByteView(value).le16(0) & vlanIdMask; }

LanParamReply LanParamReply::decode(ByteView data) { return {data[0], bytesAt<6>(data, 1)}; }

SystemInfoReply SystemInfoReply::decode(ByteView data) { return {data.le16(0), data[3], bytesAt<6>(data, 4)}; }

void MacListReply::address(size_t k, BYTE (&mac)[6]) const { addresses.copyTo(mac, k * macSize, macSize); }

MacListReply MacListReply::decode(ByteView data) {
    const ByteView addresses = data.sub(1);
    return {std::min<size_t>(data[0], addresses.size() / macSize), addresses};
}

std::optional<LedStateReply> LedStateReply::decode(ByteView data) {
    if (data.empty()) return std::nullopt;
    return LedStateReply{data[0] != 0};
}

std::optional<FanModeReply> FanModeReply::decode(ByteView data) {
    if (data.empty()) return std::nullopt;
    return FanModeReply{data[0]};
}

std::optional<FanModeMaskReply> FanModeMaskReply::decode(ByteView data) {
    if (data.size() != 1) return std::nullopt;
    return FanModeMaskReply{data[0]};
}

BuildTimeReply BuildTimeReply::decode(ByteView data) { return {charsAt<10>(data, 20)}; }

VersionTagReply VersionTagReply::decode(ByteView data) { return {data[0], data[1]}; }

DownloadStatusReply DownloadStatusReply::decode(ByteView data) {
    return {!data.empty() && data[0] == downloadReady, data.le32(1), data.size() >= downloadStatusSize};
}

bool NvmeCardStatusReply::locating(int slot) const { return bit(locate, slot); }
bool NvmeCardStatusReply::presenting(int slot) const { return bit(present, slot); }

NvmeCardStatusReply NvmeCardStatusReply::decode(ByteView data) {
    return {data.le16(2), data.le16(4), bytesAt<2>(data, 6)};
}

NvmeIdentityReply NvmeIdentityReply::decode(ByteView data) {
    return {bytesAt<3>(data, 1), data.le16(4), charsAt<20>(data, 6)};
}

NvmeLinkReply NvmeLinkReply::decode(ByteView data) {
    return {charsAt<40>(data, 1), data[41], data[42], data[43], data[44], data[45], data[48]};
}

NvmeHealthReply NvmeHealthReply::decode(ByteView data) { return {data[11]}; }

NmHostCpuDataReply NmHostCpuDataReply::decode(ByteView data) { return {data[6]}; }

NmCpuStateReply NmCpuStateReply::decode(ByteView data) { return {data[3], data[4]}; }

}  // namespace vkt
