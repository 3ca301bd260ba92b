#include "PesHeader.h"

namespace vornak {
namespace {

constexpr std::size_t kStreamIdOffset = 3;
constexpr std::size_t kLengthOffset = 4;
constexpr std::size_t kMarkerOffset = 6;
constexpr std::size_t kFlagsOffset = 7;
constexpr std::size_t kHeaderLengthOffset = 8;
constexpr std::size_t kOptionalFieldsOffset = 9;
constexpr std::size_t kTimestampSize = 5;
constexpr std::uint8_t kMpeg2MarkerMask = 0xC0;
constexpr std::uint8_t kMpeg2Marker = 0x80;  // '10' opens the optional header
constexpr std::uint8_t kPtsFlag = 0x80;      // PTS_DTS_flags '10' or '11'
constexpr int kBitsPerByte = 8;

// Streams whose PES packets carry no optional header: their payload follows the length field.
bool HasNoOptionalHeader(std::uint8_t streamId) {
    constexpr std::uint8_t kProgramStreamMap = 0xBC;
    constexpr std::uint8_t kPaddingStream = 0xBE;
    constexpr std::uint8_t kPrivateStream2 = 0xBF;
    constexpr std::uint8_t kEcmStream = 0xF0;
    constexpr std::uint8_t kEmmStream = 0xF1;
    constexpr std::uint8_t kDsmccStream = 0xF2;
    constexpr std::uint8_t kTypeEStream = 0xF8;
    constexpr std::uint8_t kProgramStreamDirectory = 0xFF;
    switch (streamId) {
        case kProgramStreamMap:
        case kPaddingStream:
        case kPrivateStream2:
        case kEcmStream:
        case kEmmStream:
        case kDsmccStream:
        case kTypeEStream:
        case kProgramStreamDirectory:
            return true;
        default:
            return false;
    }
}

// The 33-bit time stamp spread over five bytes with marker bits between its parts.
std::int64_t ReadTimestamp(std::span<const std::uint8_t, kTimestampSize> b) {
    constexpr int kTopShift = 29;  // bits 32..30 sit in bits 3..1 of the first byte
    constexpr std::uint8_t kTopMask = 0x0E;
    const auto top = static_cast<std::int64_t>(b[0] & kTopMask) << kTopShift;
    const auto middle = static_cast<std::int64_t>((b[1] << kBitsPerByte) | b[2]) >> 1;
    const auto low = static_cast<std::int64_t>((b[3] << kBitsPerByte) | b[4]) >> 1;
    constexpr int kPartBits = 15;
    return top | (middle << kPartBits) | low;
}

}  // namespace

std::optional<PesHeader> PesHeader::Parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kFixedSize || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1) {
        return std::nullopt;
    }
    PesHeader header;
    header.m_streamId = bytes[kStreamIdOffset];
    header.m_packetLength =
        static_cast<std::size_t>((bytes[kLengthOffset] << kBitsPerByte) | bytes[kLengthOffset + 1]);
    if (HasNoOptionalHeader(header.m_streamId)) {
        return header;
    }
    if (bytes.size() < kOptionalFieldsOffset ||
        (bytes[kMarkerOffset] & kMpeg2MarkerMask) != kMpeg2Marker) {
        return std::nullopt;
    }
    const std::size_t headerLength = bytes[kHeaderLengthOffset];
    header.m_payloadOffset = kOptionalFieldsOffset + headerLength;
    if (header.m_payloadOffset > bytes.size()) {
        return std::nullopt;
    }
    if (header.m_packetLength != 0 && header.m_payloadOffset > kFixedSize + header.m_packetLength) {
        return std::nullopt;  // the header would end past the packet it belongs to
    }
    if ((bytes[kFlagsOffset] & kPtsFlag) != 0) {
        if (headerLength < kTimestampSize) {
            return std::nullopt;
        }
        header.m_pts = ReadTimestamp(bytes.subspan(kOptionalFieldsOffset).first<kTimestampSize>());
    }
    return header;
}

}  // namespace vornak
