// Layout of a DV frame (DIF): its blocks, where the packs sit in them, and the pack ids
// this program reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vornak::dv {

enum class DvSystem : std::uint8_t { k525_60, k625_50 };
enum class DvAspect : std::uint8_t { kUnknown, k4x3, k16x9 };

// Blocks, sequences, frames.
inline constexpr std::size_t kBlockSize = 80;
inline constexpr std::size_t kBlocksPerSequence = 150;
inline constexpr std::size_t kSequenceSize = kBlockSize * kBlocksPerSequence;
inline constexpr int kSequences525 = 10;
inline constexpr int kSequences625 = 12;
inline constexpr std::size_t kFrameSize525 = kSequenceSize * kSequences525;
inline constexpr std::size_t kFrameSize625 = kSequenceSize * kSequences625;
inline constexpr std::size_t kMaxFrameSize = kFrameSize625;

// The three ID bytes that begin every block.
inline constexpr std::size_t kIdTypeByte = 0;
inline constexpr int kIdTypeShift = 5;
inline constexpr std::size_t kIdSequenceByte = 1;
inline constexpr int kIdSequenceShift = 4;
inline constexpr std::size_t kIdBlockNumberByte = 2;
inline constexpr std::size_t kIdSize = 3;

// The bits of the ID bytes that are not type, sequence or number: reserved ones, and in the
// first byte an arbitrary sequence number and in the second the FSC bit (clear: first channel).
inline constexpr std::uint8_t kIdTypeRest = 0x1F;
inline constexpr std::uint8_t kIdSequenceRest = 0x07;
inline constexpr int kMaxSequences = kSequences625;

inline constexpr std::uint8_t kTypeHeader = 0;
inline constexpr std::uint8_t kTypeSubcode = 1;
inline constexpr std::uint8_t kTypeVaux = 2;
inline constexpr std::uint8_t kTypeAudio = 3;
inline constexpr std::uint8_t kTypeVideo = 4;

// The header block (the first of each sequence).
inline constexpr std::size_t kHeaderDsfByte = 3;
inline constexpr std::uint8_t kDsfBit = 0x80;         // set: 625/50, clear: 525/60
inline constexpr std::uint8_t kHeaderZeroBit = 0x40;  // always 0 in a header block
inline constexpr std::size_t kHeaderAptByte = 4;
inline constexpr std::uint8_t kAptMask = 0x07;  // track application id; 0 for consumer DV
// A header block's bytes 3 and 4 with their reserved bits, as the frame's own would read.
inline constexpr std::uint8_t kHeaderRestBits = 0x3F;  // after DSF and the zero bit
inline constexpr std::uint8_t kAptConsumer = 0xF8;     // APT 0

// Where the blocks of each kind sit in a sequence: header, two subcode, three VAUX, then nine
// groups of one audio block and fifteen video blocks.
inline constexpr std::size_t kFirstSubcodeBlock = 1;
inline constexpr std::size_t kSubcodeBlocks = 2;
inline constexpr std::size_t kFirstVauxBlock = 3;
inline constexpr std::size_t kVauxBlocks = 3;
inline constexpr std::size_t kFirstAudioBlock = 6;
inline constexpr std::size_t kAudioBlocks = 9;
inline constexpr std::size_t kVideoBlocks = 135;  // numbered 0 to 134 in each sequence
inline constexpr std::size_t kVideoBlocksPerAudio = 15;
inline constexpr std::size_t kAudioVideoGroup = 1 + kVideoBlocksPerAudio;
// A frame begins with a header block and the five blocks above; enough to know one by.
inline constexpr std::size_t kFrameStartBlocks = kFirstAudioBlock;

// Packs: an id byte and four data bytes.
inline constexpr std::size_t kPackSize = 5;
// Subcode blocks: six sync blocks from byte 3, each two ID bytes, a parity byte and a pack.
inline constexpr std::size_t kSyncBlocksPerSubcodeBlock = 6;
inline constexpr std::size_t kSyncBlockSize = 8;
inline constexpr std::size_t kSyncBlockPackOffset = 3;
inline constexpr std::size_t kSyncBlockIdFirstByte = 0;
inline constexpr std::uint8_t kSyncBlockFirstHalfBit = 0x80;  // FR: set in the first half
// VAUX blocks: fifteen packs from byte 3.
inline constexpr std::size_t kPacksPerVauxBlock = 15;
// Audio blocks: one AAUX pack at byte 3, then the samples.
inline constexpr std::size_t kAudioDataOffset = kIdSize + kPackSize;
inline constexpr std::size_t kAudioDataSize = kBlockSize - kAudioDataOffset;
// Video blocks: STA, the error and concealment status, in the high nibble of byte 3.
inline constexpr std::size_t kVideoStaByte = 3;
inline constexpr int kVideoStaShift = 4;
inline constexpr std::uint8_t kStaNoError = 0x0;
inline constexpr std::uint8_t kStaNotConcealed = 0xF;

// Error codes in the samples.
inline constexpr std::uint16_t kAudioError16 = 0x8000;
inline constexpr std::uint16_t kAudioError12 = 0x800;

// Pack ids.
inline constexpr std::uint8_t kPackTimecode = 0x13;
inline constexpr std::uint8_t kPackAudioSource = 0x50;
inline constexpr std::uint8_t kPackAudioControl = 0x51;
inline constexpr std::uint8_t kPackAudioRecDate = 0x52;
inline constexpr std::uint8_t kPackAudioRecTime = 0x53;
inline constexpr std::uint8_t kPackVideoSource = 0x60;
inline constexpr std::uint8_t kPackVideoControl = 0x61;
inline constexpr std::uint8_t kPackVideoRecDate = 0x62;
inline constexpr std::uint8_t kPackVideoRecTime = 0x63;
inline constexpr std::uint8_t kPackNone = 0xFF;

// Byte of the recording-start flag in both source-control packs (0x51, 0x61): clear at a start.
inline constexpr std::size_t kControlRecStartByte = 2;
inline constexpr std::uint8_t kControlRecStartBit = 0x80;

// The first byte of the given DIF sequence in a frame.
constexpr std::size_t SequenceOffset(int sequence) {
    return static_cast<std::size_t>(sequence) * kSequenceSize;
}
// The first byte of block `block` (0 to 149) of a sequence, from the sequence's start.
constexpr std::size_t BlockOffset(std::size_t block) {
    return block * kBlockSize;
}
// Block index of audio block `audio` (0 to 8) in its sequence.
constexpr std::size_t AudioBlock(std::size_t audio) {
    return kFirstAudioBlock + audio * kAudioVideoGroup;
}
constexpr int SequencesOf(DvSystem system) {
    return system == DvSystem::k625_50 ? kSequences625 : kSequences525;
}
constexpr std::size_t FrameSizeOf(DvSystem system) {
    return system == DvSystem::k625_50 ? kFrameSize625 : kFrameSize525;
}

}  // namespace vornak::dv
