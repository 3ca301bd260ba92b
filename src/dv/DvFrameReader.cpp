#include "DvFrameReader.h"

#include <algorithm>

namespace vornak::dv {

namespace {

// The blocks a frame begins with, and the block number each has among those of its type.
struct ExpectedBlock {
    std::uint8_t type;
    std::uint8_t number;
};
constexpr ExpectedBlock kStartBlocks[kFrameStartBlocks] = {
    {kTypeHeader, 0}, {kTypeSubcode, 0}, {kTypeSubcode, 1},
    {kTypeVaux, 0},   {kTypeVaux, 1},    {kTypeVaux, 2},
};

DvSystem SystemOf(const std::uint8_t* header) {
    return (header[kHeaderDsfByte] & kDsfBit) != 0 ? DvSystem::k625_50 : DvSystem::k525_60;
}

bool IsSequenceHeader(const std::uint8_t* block, int sequence, DvSystem system) {
    return block[kIdTypeByte] >> kIdTypeShift == kTypeHeader &&
           block[kIdSequenceByte] >> kIdSequenceShift == sequence &&
           block[kIdBlockNumberByte] == 0 && (block[kHeaderDsfByte] & kHeaderZeroBit) == 0 &&
           SystemOf(block) == system;
}

}  // namespace

bool IsWholeDvFrame(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kFrameSize525 &&
           DvFrameReader::FrameStartAt(bytes, 0) == DvFrameReader::Match::kYes &&
           bytes.size() == FrameSizeOf(SystemOf(bytes.data()));
}

DvFrameReader::Match DvFrameReader::FrameStartAt(std::span<const std::uint8_t> data,
                                                 std::size_t at) {
    const std::size_t available = data.size() - at;
    const std::uint8_t* start = data.data() + at;
    for (std::size_t b = 0; b < kFrameStartBlocks; ++b) {
        const std::size_t blockAt = BlockOffset(b);
        // The ID bytes, and for the header the byte with the bit that is always clear.
        const std::size_t needed = blockAt + (b == 0 ? kHeaderDsfByte + 1 : kIdSize);
        if (needed > available) {
            return Match::kNeedMore;
        }
        const std::uint8_t* block = start + blockAt;
        if (block[kIdTypeByte] >> kIdTypeShift != kStartBlocks[b].type ||
            block[kIdSequenceByte] >> kIdSequenceShift != 0 ||
            block[kIdBlockNumberByte] != kStartBlocks[b].number) {
            return Match::kNo;
        }
        if (b == 0 && (block[kHeaderDsfByte] & kHeaderZeroBit) != 0) {
            return Match::kNo;
        }
    }
    return Match::kYes;
}

std::size_t DvFrameReader::NextStart(std::span<const std::uint8_t> data, std::size_t from,
                                     bool atEnd) {
    const std::uint8_t* bytes = data.data();
    for (std::size_t at = from + 1; at < data.size(); ++at) {
        // The header's type is 0: most bytes are ruled out here.
        if (bytes[at] >> kIdTypeShift != kTypeHeader) {
            continue;
        }
        // Near the end of what is there, a start cannot be told yet; at the end of the stream
        // it never will, and the bytes belong to the piece they are in.
        const Match match = FrameStartAt(data, at);
        if (match == Match::kYes || (match == Match::kNeedMore && !atEnd)) {
            return at;
        }
    }
    return data.size();
}

bool DvFrameReader::SequencesInPlace(std::span<const std::uint8_t> data, DvSystem system) {
    const int sequences = SequencesOf(system);
    for (int s = 1; s < sequences; ++s) {
        const std::size_t at = SequenceOffset(s);
        if (at + kHeaderDsfByte + 1 > data.size()) {
            break;
        }
        if (!IsSequenceHeader(data.data() + at, s, system)) {
            return false;
        }
    }
    return true;
}

bool DvFrameReader::Hand(DvPieceKind kind, DvSystem system, std::span<const std::uint8_t> bytes,
                         DvPiece& piece) {
    piece.kind = kind;
    piece.system = system;
    piece.offset = m_position;
    piece.bytes = bytes;
    m_position += bytes.size();
    m_inPartial = kind == DvPieceKind::kPartial;
    m_partialSystem = system;
    return true;
}

bool DvFrameReader::Next(std::span<const std::uint8_t> data, bool atEnd, DvPiece& piece) {
    if (data.empty()) {
        return false;
    }
    Match start = FrameStartAt(data, 0);
    if (start == Match::kNeedMore && atEnd && data.size() <= kHeaderDsfByte) {
        start = Match::kNo;  // too few bytes left to begin even a header block
    }
    if (start == Match::kNo) {
        // Up to where a frame may begin, or all of it: NextStart rules out every offset it
        // passes. After a frame begun and not finished, these bytes are still the rest of it.
        const auto bytes = data.first(NextStart(data, 0, atEnd));
        return m_inPartial ? Hand(DvPieceKind::kPartial, m_partialSystem, bytes, piece)
                           : Hand(DvPieceKind::kGarbage, DvSystem::k625_50, bytes, piece);
    }
    if (start == Match::kNeedMore && !atEnd) {
        return false;
    }
    const DvSystem system = SystemOf(data.data());
    const std::size_t size = FrameSizeOf(system);
    const bool inPlace = SequencesInPlace(data, system);
    if (start == Match::kYes && inPlace) {
        if (data.size() >= size) {
            return Hand(DvPieceKind::kFrame, system, data.first(size), piece);
        }
        if (!atEnd) {
            return false;  // so far a frame: wait for the rest
        }
    }
    // A frame begun and not finished (a sequence out of place, or the end came first): up to
    // where the next may begin.
    return Hand(DvPieceKind::kPartial, system, data.first(NextStart(data, 0, atEnd)), piece);
}

}  // namespace vornak::dv
