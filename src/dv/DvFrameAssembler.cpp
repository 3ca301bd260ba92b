#include "DvFrameAssembler.h"

#include <algorithm>
#include <utility>

#include "DvPacks.h"

namespace vornak::dv {

namespace {

constexpr std::uint8_t kBodyEmpty = 0xFF;
constexpr std::uint8_t kVideoErrorSta = kStaNotConcealed << kVideoStaShift;
// Error samples as bytes: one 16-bit sample, or two 12-bit samples (both high bytes, then the
// two low nibbles).
constexpr std::uint8_t kAudioError16High = kAudioError16 >> 8;
constexpr std::uint8_t kAudioError12High = kAudioError12 >> 4;

std::size_t SlotOf(int sequence, std::size_t index) {
    return static_cast<std::size_t>(sequence) * kBlocksPerSequence + index;
}

}  // namespace

DvFrameAssembler::DvFrameAssembler(FrameSink sink)
    : m_sink(std::move(sink)), m_frame(kMaxFrameSize) {}

std::optional<std::size_t> DvFrameAssembler::BlockIndex(std::uint8_t type, std::size_t number) {
    switch (type) {
        case kTypeHeader:
            return number == 0 ? std::optional<std::size_t>(0) : std::nullopt;
        case kTypeSubcode:
            return number < kSubcodeBlocks ? std::optional(kFirstSubcodeBlock + number)
                                           : std::nullopt;
        case kTypeVaux:
            return number < kVauxBlocks ? std::optional(kFirstVauxBlock + number) : std::nullopt;
        case kTypeAudio:
            return number < kAudioBlocks ? std::optional(AudioBlock(number)) : std::nullopt;
        case kTypeVideo:
            return number < kVideoBlocks ? std::optional(AudioBlock(number / kVideoBlocksPerAudio) +
                                                         1 + number % kVideoBlocksPerAudio)
                                         : std::nullopt;
        default:
            return std::nullopt;
    }
}

void DvFrameAssembler::Push(std::span<const std::uint8_t> payload) {
    if (payload.size() != kPayloadSize) {
        ++m_damagedPayloads;
        return;
    }
    for (std::size_t b = 0; b < kBlocksPerPayload; ++b) {
        PlaceBlock(payload.subspan(b * kBlockSize).first<kBlockSize>());
    }
}

void DvFrameAssembler::Flush() {
    if (m_begun) {
        HandOver();
    }
}

void DvFrameAssembler::PlaceBlock(std::span<const std::uint8_t, kBlockSize> block) {
    const auto type = static_cast<std::uint8_t>(block[kIdTypeByte] >> kIdTypeShift);
    const int sequence = block[kIdSequenceByte] >> kIdSequenceShift;
    const auto index = BlockIndex(type, block[kIdBlockNumberByte]);
    if (!index || sequence >= kMaxSequences) {
        ++m_strayBlocks;
        return;
    }
    const std::size_t slot = SlotOf(sequence, *index);
    const auto at = m_frame.begin() + static_cast<std::ptrdiff_t>(slot * kBlockSize);
    if (m_placed.test(slot)) {
        // The first header block comes once per frame: a second one begins the next frame,
        // unless all the frame holds yet is its first payload, which came again.
        // Any other block that finds its place taken by different bytes is the next frame's,
        // whose first header was lost; it is never laid over this frame. The same bytes again
        // may be a repeated packet, or the next frame's block that happens to match: keep it
        // back until the next frame shows itself or this one goes on.
        const bool nextFrame =
            type == kTypeHeader && sequence == 0 && m_placed.count() > kBlocksPerPayload;
        if (!nextFrame && std::equal(block.begin(), block.end(), at)) {
            ++m_duplicates;
            m_heldBack.emplace_back();
            std::copy(block.begin(), block.end(), m_heldBack.back().begin());
            return;
        }
        // Blocks kept back before a header are this frame's repeats; before a block of the
        // next frame they may well be its own.
        std::vector<Block> heldBack;
        if (!nextFrame) {
            heldBack = std::move(m_heldBack);
            m_duplicates -= static_cast<int>(heldBack.size());
        }
        HandOver();
        for (const Block& earlier : heldBack) {
            PlaceBlock(earlier);
        }
        PlaceBlock(block);
        return;
    }
    m_heldBack.clear();
    m_begun = true;
    m_placed.set(slot);
    std::copy(block.begin(), block.end(), at);
    m_sequencesSeen = std::max(m_sequencesSeen, sequence + 1);
    if (type == kTypeHeader && !m_headerSlot) {
        m_headerSlot = slot;
    }
}

DvSystem DvFrameAssembler::SystemOfFrame() const {
    if (m_headerSlot) {
        return (m_frame[*m_headerSlot * kBlockSize + kHeaderDsfByte] & kDsfBit) != 0
                   ? DvSystem::k625_50
                   : DvSystem::k525_60;
    }
    if (m_sequencesSeen > kSequences525) {
        return DvSystem::k625_50;
    }
    return m_lastSystem.value_or(DvSystem::k525_60);
}

int DvFrameAssembler::AudioBitsOfFrame(int sequences) const {
    for (int s = 0; s < sequences; ++s) {
        for (std::size_t a = 0; a < kAudioBlocks; ++a) {
            const std::size_t slot = SlotOf(s, AudioBlock(a));
            const std::uint8_t* pack = m_frame.data() + slot * kBlockSize + kIdSize;
            if (!m_placed.test(slot) || pack[0] != kPackAudioSource) {
                continue;
            }
            if (const auto source = DecodeAudioSource(DvPack(pack, kPackSize))) {
                return source->bits;
            }
        }
    }
    return m_lastAudioBits;
}

void DvFrameAssembler::FillMissing(std::size_t slot, int audioBits) {
    const auto sequence = static_cast<int>(slot / kBlocksPerSequence);
    const std::size_t index = slot % kBlocksPerSequence;
    std::uint8_t type = kTypeVideo;
    std::size_t number = 0;
    if (index == 0) {
        type = kTypeHeader;
    } else if (index < kFirstVauxBlock) {
        type = kTypeSubcode;
        number = index - kFirstSubcodeBlock;
    } else if (index < kFirstAudioBlock) {
        type = kTypeVaux;
        number = index - kFirstVauxBlock;
    } else {
        const std::size_t group = (index - kFirstAudioBlock) / kAudioVideoGroup;
        const std::size_t within = (index - kFirstAudioBlock) % kAudioVideoGroup;
        type = within == 0 ? kTypeAudio : kTypeVideo;
        number = within == 0 ? group : group * kVideoBlocksPerAudio + within - 1;
    }
    const std::span<std::uint8_t, kBlockSize> block(m_frame.data() + slot * kBlockSize, kBlockSize);
    block[kIdTypeByte] = static_cast<std::uint8_t>((type << kIdTypeShift) | kIdTypeRest);
    block[kIdSequenceByte] =
        static_cast<std::uint8_t>((sequence << kIdSequenceShift) | kIdSequenceRest);
    block[kIdBlockNumberByte] = static_cast<std::uint8_t>(number);
    const auto body = block.subspan(kIdSize);
    switch (type) {
        case kTypeVideo:
            std::fill(body.begin(), body.end(), std::uint8_t{0});
            block[kVideoStaByte] = kVideoErrorSta;
            break;
        case kTypeAudio: {
            std::fill(body.begin(), body.end(), kBodyEmpty);  // no AAUX pack
            const auto data = block.subspan(kAudioDataOffset);
            if (audioBits == 12) {
                constexpr std::size_t kPairBytes = 3;
                for (std::size_t d = 0; d + kPairBytes <= data.size(); d += kPairBytes) {
                    data[d] = kAudioError12High;
                    data[d + 1] = kAudioError12High;
                    data[d + 2] = 0;
                }
            } else {
                for (std::size_t d = 0; d + 1 < data.size(); d += 2) {
                    data[d] = kAudioError16High;
                    data[d + 1] = 0;
                }
            }
            break;
        }
        case kTypeHeader:
            // A header block that did arrive says the frame's DSF and APT; every sequence's
            // header carries the same, so the parser and the frame reader still know the frame.
            if (m_headerSlot) {
                std::copy_n(m_frame.begin() +
                                static_cast<std::ptrdiff_t>(*m_headerSlot * kBlockSize + kIdSize),
                            kBlockSize - kIdSize, body.begin());
            } else {
                std::fill(body.begin(), body.end(), kBodyEmpty);
                block[kHeaderDsfByte] = static_cast<std::uint8_t>(
                    (SystemOfFrame() == DvSystem::k625_50 ? kDsfBit : 0) | kHeaderRestBits);
                block[kHeaderAptByte] = kAptConsumer;
            }
            break;
        default:
            std::fill(body.begin(), body.end(), kBodyEmpty);
            break;
    }
}

void DvFrameAssembler::HandOver() {
    const DvSystem system = SystemOfFrame();
    const int sequences = SequencesOf(system);
    const std::size_t blocks = static_cast<std::size_t>(sequences) * kBlocksPerSequence;
    const int audioBits = AudioBitsOfFrame(sequences);
    DvAssembledFrame frame;
    frame.system = system;
    frame.duplicateBlocks = m_duplicates;
    for (std::size_t slot = 0; slot < blocks; ++slot) {
        if (!m_placed.test(slot)) {
            FillMissing(slot, audioBits);
            ++frame.missingBlocks;
        }
    }
    for (std::size_t slot = blocks; slot < kMaxBlocks; ++slot) {
        m_strayBlocks += m_placed.test(slot) ? 1 : 0;
    }
    frame.bytes = std::span<const std::uint8_t>(m_frame).first(FrameSizeOf(system));

    m_lastSystem = system;
    m_lastAudioBits = audioBits;
    m_placed.reset();
    m_begun = false;
    m_duplicates = 0;
    m_heldBack.clear();
    m_sequencesSeen = 0;
    m_headerSlot.reset();
    m_sink(frame);
}

}  // namespace vornak::dv
