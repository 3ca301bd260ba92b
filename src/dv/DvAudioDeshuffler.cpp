#include "DvAudioDeshuffler.h"

#include <algorithm>

namespace vornak::dv {
namespace {

constexpr std::size_t kBytesPer16BitPair = 2;   // one channel's sample; the other sits elsewhere
constexpr std::size_t kBytesPer12BitGroup = 3;  // both channels' samples, nibbles shared
constexpr int k12BitSign = 0x800;
constexpr int k12BitRange = 0x1000;
constexpr int k12BitSegmentShift = 8;  // 256 codes per segment of the curve
constexpr int k12BitLinearSegments = 2;
constexpr int kByteBits = 8;
constexpr int kNibbleBits = 4;
constexpr std::uint8_t kLowNibble = 0x0F;
// Samples go round the sequences in runs of three, the runs round the blocks.
constexpr int kRun = 3;

// Where sample `n` (of one channel) sits: the samples are dealt round the sequences of one
// channel's half of the frame and round the nine audio blocks, three at a time, so that
// neighbours land far apart; each block takes one sample of every row of 9 x sequences.
struct Place {
    int sequence = 0;          // within the channel's half
    std::size_t block = 0;     // audio block 0 to 8
    std::size_t position = 0;  // sample slot within the block's data
};

Place PlaceOf(int n, int sequencesPerChannel) {
    const int row = static_cast<int>(kAudioBlocks) * sequencesPerChannel;
    const int blockGroup = kRun * sequencesPerChannel;
    Place place;
    place.sequence = (n / kRun + 2 * (n % kRun)) % sequencesPerChannel;
    place.block = static_cast<std::size_t>(kRun * (n % kRun) + (n % row) / blockGroup);
    place.position = static_cast<std::size_t>(n / row);
    return place;
}

std::size_t SampleDataAt(int sequence, std::size_t audioBlock) {
    return SequenceOffset(sequence) + BlockOffset(AudioBlock(audioBlock)) + kAudioDataOffset;
}

}  // namespace

std::int16_t DvAudioDeshuffler::Expand12(std::uint16_t code) {
    const int value = (code & (k12BitRange - 1)) >= k12BitSign
                          ? static_cast<int>(code & (k12BitRange - 1)) - k12BitRange
                          : static_cast<int>(code & (k12BitRange - 1));
    // The curve is odd about -1/2: a negative code mirrors the positive one below it.
    const bool negative = value < 0;
    const int magnitude = negative ? -value - 1 : value;
    const int segment = magnitude >> k12BitSegmentShift;
    int expanded = magnitude;
    if (segment >= k12BitLinearSegments) {
        const int shift = segment - 1;
        expanded = (magnitude - (shift << k12BitSegmentShift)) << shift;
    }
    return static_cast<std::int16_t>(negative ? -expanded - 1 : expanded);
}

DvAudioDeshuffler::Result DvAudioDeshuffler::Read(std::span<const std::uint8_t> frame,
                                                  const DvFrameInfo& info,
                                                  std::span<std::int16_t> stereo) {
    Result result;
    if (info.audioRate == 0 || (info.audioBits != 16 && info.audioBits != 12) ||
        info.audioSamples <= 0 || frame.size() < FrameSizeOf(info.system)) {
        return result;
    }
    const int sequencesPerChannel = SequencesOf(info.system) / 2;
    const bool sixteen = info.audioBits == 16;
    const std::size_t slots = kAudioDataSize / (sixteen ? kBytesPer16BitPair : kBytesPer12BitGroup);
    const int capacity =
        static_cast<int>(slots) * static_cast<int>(kAudioBlocks) * sequencesPerChannel;
    const int samples = std::min(info.audioSamples, capacity);
    if (stereo.size() < static_cast<std::size_t>(samples) * kChannels) {
        return result;
    }
    for (int n = 0; n < samples; ++n) {
        const Place place = PlaceOf(n, sequencesPerChannel);
        std::int16_t left = 0;
        std::int16_t right = 0;
        if (sixteen) {
            // Left in the first half of the sequences, right in the second; big-endian.
            const std::size_t offset = place.position * kBytesPer16BitPair;
            const std::size_t l = SampleDataAt(place.sequence, place.block) + offset;
            const std::size_t r =
                SampleDataAt(place.sequence + sequencesPerChannel, place.block) + offset;
            const auto leftCode =
                static_cast<std::uint16_t>((frame[l] << kByteBits) | frame[l + 1]);
            const auto rightCode =
                static_cast<std::uint16_t>((frame[r] << kByteBits) | frame[r + 1]);
            result.errorSamples +=
                (leftCode == kAudioError16 ? 1 : 0) + (rightCode == kAudioError16 ? 1 : 0);
            left = leftCode == kAudioError16 ? 0 : static_cast<std::int16_t>(leftCode);
            right = rightCode == kAudioError16 ? 0 : static_cast<std::int16_t>(rightCode);
        } else {
            // Three bytes: each channel's high eight bits, then both low nibbles.
            const std::size_t at =
                SampleDataAt(place.sequence, place.block) + place.position * kBytesPer12BitGroup;
            const auto leftCode = static_cast<std::uint16_t>((frame[at] << kNibbleBits) |
                                                             (frame[at + 2] >> kNibbleBits));
            const auto rightCode = static_cast<std::uint16_t>((frame[at + 1] << kNibbleBits) |
                                                              (frame[at + 2] & kLowNibble));
            result.errorSamples +=
                (leftCode == kAudioError12 ? 1 : 0) + (rightCode == kAudioError12 ? 1 : 0);
            left = leftCode == kAudioError12 ? 0 : Expand12(leftCode);
            right = rightCode == kAudioError12 ? 0 : Expand12(rightCode);
        }
        stereo[static_cast<std::size_t>(n) * kChannels] = left;
        stereo[static_cast<std::size_t>(n) * kChannels + 1] = right;
    }
    result.samples = samples;
    return result;
}

}  // namespace vornak::dv
