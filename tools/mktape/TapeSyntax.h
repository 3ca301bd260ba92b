// Byte-level syntax of the streams on a synthetic tape: transport packets, PES, MPEG-2 video
// headers, Layer II audio and the camcorder's date pack. Private to the tape generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Pids.h"

namespace vornak::tape::syntax {

// Transport packets.
inline constexpr std::size_t kPacketSize = 188;
inline constexpr std::uint8_t kSyncByte = 0x47;
inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::size_t kMaxPayload = kPacketSize - kHeaderSize;
inline constexpr std::size_t kAdaptationLengthOffset = 4;
inline constexpr std::uint8_t kUnitStartBit = 0x40;
inline constexpr std::uint8_t kPayloadOnly = 0x10;
inline constexpr std::uint8_t kAdaptationAndPayload = 0x30;
inline constexpr std::uint8_t kContinuityMask = 0x0F;
inline constexpr std::uint8_t kStuffing = 0xFF;
inline constexpr std::uint8_t kPcrFlag = 0x10;
inline constexpr std::uint8_t kRandomAccessFlag = 0x40;
inline constexpr std::size_t kPcrFieldBytes = 8;  // length byte, flags, 6 bytes of PCR

// PIDs and program.
inline constexpr int kPidPat = PID_PAT;
inline constexpr int kPidPmt = PID_PMT;
inline constexpr int kPidVideo = PID_VIDEO;
inline constexpr int kPidDate = PID_RECORDING_DATE;
inline constexpr int kPidAudio = PID_AUDIO;
inline constexpr int kPidNull = PID_NULL;
inline constexpr int kProgramNumber = 1;
inline constexpr int kTransportStreamId = 1;
inline constexpr std::uint8_t kStreamTypeVideo = 0x02;  // MPEG-2 video
inline constexpr std::uint8_t kStreamTypeAudio = 0x03;  // MPEG-1 audio
inline constexpr std::uint8_t kStreamTypeDate = 0xA1;   // camcorder's private date packs
inline constexpr std::uint8_t kTablePat = 0x00;
inline constexpr std::uint8_t kTablePmt = 0x02;

// PES.
inline constexpr std::uint8_t kStreamIdVideo = 0xE0;
inline constexpr std::uint8_t kStreamIdAudio = 0xC0;
inline constexpr std::uint8_t kStreamIdPrivate2 = 0xBF;
inline constexpr std::size_t kPesPrefixSize = 6;      // start code, stream id, length
inline constexpr std::size_t kPesOptionalHeader = 3;  // flag bytes and header data length
inline constexpr std::size_t kTimestampBytes = 5;
inline constexpr std::uint8_t kPesMarkerAligned = 0x84;  // '10', data_alignment_indicator
inline constexpr std::uint8_t kPesMarker = 0x80;
inline constexpr std::uint8_t kPtsFlag = 0x80;
inline constexpr std::uint8_t kDtsFlag = 0x40;
inline constexpr std::uint8_t kPtsOnlyPrefix = 0x2;
inline constexpr std::uint8_t kPtsWithDtsPrefix = 0x3;
inline constexpr std::uint8_t kDtsPrefix = 0x1;
inline constexpr std::uint64_t kTimestampMask = (std::uint64_t{1} << 33) - 1;

// Clock: 90 kHz, 25 pictures per second, Layer II frames of 1152 samples at 48 kHz.
inline constexpr std::uint64_t kPictureTicks = 3600;
inline constexpr std::uint64_t kAudioFrameTicks = 1728;
inline constexpr int kPicturesPerSecond = 25;
inline constexpr int kMillisecondsPerPicture = 40;

// MPEG-2 video syntax.
inline constexpr std::uint8_t kPictureStart = 0x00;
inline constexpr std::uint8_t kSequenceStart = 0xB3;
inline constexpr std::uint8_t kExtensionStart = 0xB5;
inline constexpr std::uint8_t kGroupStart = 0xB8;
inline constexpr int kSequenceExtensionId = 1;
inline constexpr int kPictureCodingExtensionId = 8;
inline constexpr int kAspect16By9 = 3;
inline constexpr int kFrameRate25 = 3;
inline constexpr int kBitRateUnits = 62500;  // 25 Mbit/s in units of 400 bit/s
inline constexpr int kVbvBufferSize = 448;
inline constexpr int kMainAtHigh1440 = 0x46;
inline constexpr int kChroma420 = 1;
inline constexpr int kFrameStructure = 3;
inline constexpr int kVectorCode = 7;  // picture header f_code slots, fixed in MPEG-2
inline constexpr int kMotionFCode = 2;
inline constexpr int kUnusedFCode = 15;
inline constexpr int kVbvDelayUnknown = 0xFFFF;
inline constexpr int kTypeI = 1;
inline constexpr int kTypeP = 2;
inline constexpr int kTypeB = 3;
inline constexpr int kSlices = 68;
inline constexpr std::uint8_t kSliceHeaderByte = 0x42;  // quantiser_scale_code 8, extra_bit_slice 0
inline constexpr std::size_t kMinSlicePayload = 2;
inline constexpr std::size_t kStartCodeBytes = 4;
inline constexpr std::size_t kPictureCodingExtensionBytes = 9;

// MPEG-1 Layer II, 384 kbit/s, 48 kHz, stereo, no CRC.
inline constexpr std::uint8_t kAudioHeader[] = {0xFF, 0xFD, 0xE4, 0x00};
inline constexpr std::size_t kAudioFrameBytes = 1152;

// Date pack: offsets inside its private_stream_2 PES.
inline constexpr std::size_t kDateDay = 42;
inline constexpr std::size_t kDateMonth = 43;
inline constexpr std::size_t kDateYear = 44;
inline constexpr std::size_t kDateSecond = 46;
inline constexpr std::size_t kDateMinute = 47;
inline constexpr std::size_t kDateHour = 48;
inline constexpr int kDateAdaptationLength = 7;
inline constexpr int kDamagedAdaptationLength = 183;  // fills the packet: the date lies beyond it
inline std::uint32_t Next(std::uint32_t& state) {
    std::uint32_t x = state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state = x;
    return x;
}

// Random bytes without a 0x00 among them, so that no start code can appear by chance.
inline void FillRandom(std::uint8_t* out, std::size_t size, std::uint32_t& rng) {
    constexpr std::uint32_t kLow7 = 0x7F7F7F7F;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        std::uint32_t word = Next(rng);
        // High bit set exactly in the bytes that are zero; those become 0x80.
        std::uint32_t zeros = ~(((word & kLow7) + kLow7) | word | kLow7);
        word |= zeros;
        std::memcpy(out + i, &word, 4);
    }
    for (; i < size; ++i) {
        auto byte = static_cast<std::uint8_t>(Next(rng));
        out[i] = byte == 0 ? 0x80 : byte;
    }
}

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void Put(std::uint32_t value, int bits) {
        for (int b = bits - 1; b >= 0; --b) {
            m_acc = static_cast<std::uint8_t>((m_acc << 1) | ((value >> b) & 1));
            if (++m_count == 8) {
                m_out.push_back(m_acc);
                m_acc = 0;
                m_count = 0;
            }
        }
    }
    void Align() {
        if (m_count != 0) {
            Put(0, 8 - m_count);
        }
    }

  private:
    std::vector<std::uint8_t>& m_out;
    std::uint8_t m_acc = 0;
    int m_count = 0;
};

inline void PutStartCode(std::vector<std::uint8_t>& out, std::uint8_t code) {
    out.insert(out.end(), {0x00, 0x00, 0x01, code});
}

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kPolynomial = 0x04C11DB7;
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint32_t>(data[i]) << 24;
        for (int b = 0; b < 8; ++b) {
            crc = (crc & 0x80000000) ? (crc << 1) ^ kPolynomial : crc << 1;
        }
    }
    return crc;
}

inline void PutHeader(std::uint8_t* pkt, int pid, bool unitStart, std::uint8_t control,
                      std::uint8_t continuity) {
    pkt[0] = kSyncByte;
    pkt[1] = static_cast<std::uint8_t>((unitStart ? kUnitStartBit : 0) | ((pid >> 8) & 0x1F));
    pkt[2] = static_cast<std::uint8_t>(pid & 0xFF);
    pkt[3] = static_cast<std::uint8_t>(control | (continuity & kContinuityMask));
}

}  // namespace vornak::tape::syntax
