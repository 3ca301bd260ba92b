// Finds DV frames in a byte stream by their header blocks, and hands out every byte of the
// stream, in order, as one of three kinds of piece: a whole frame, bytes that begin no frame
// (garbage), or a frame begun but not finished (cut short by the next frame or by the end).
//
// The reader keeps no bytes of its own. A job reads large blocks into a buffer and asks for
// pieces of it until the reader wants more; the bytes not handed out yet stay at the front of
// the buffer for the next round:
//
//     std::size_t used = 0;
//     DvPiece piece;
//     while (reader.Next(std::span(buffer).first(filled).subspan(used), atEnd, piece)) {
//         used += piece.bytes.size();   // piece.bytes points into buffer
//         ...
//     }
//     // move buffer[used, filled) to the front, read more behind it, go on
//
// The buffer must be able to hold kMinBuffer bytes not yet handed out, or a frame cannot be
// recognised as whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "DifConstants.h"

namespace vornak::dv {

enum class DvPieceKind : std::uint8_t {
    kFrame,    // one whole frame of `system`
    kGarbage,  // bytes in which no frame begins
    kPartial,  // begins like a frame of `system` and ends before it is whole (with any bytes
               // after it that begin no frame)
};

struct DvPiece {
    DvPieceKind kind = DvPieceKind::kGarbage;
    DvSystem system = DvSystem::k625_50;  // frames and partial frames
    std::uint64_t offset = 0;             // of the first byte, from the stream's start
    std::span<const std::uint8_t> bytes;  // never empty
};

// True when `bytes` are exactly one DV frame: they begin as a frame does and are as long as a frame
// of the system its header names. A camcorder's stream pin hands DV over in samples of exactly
// one frame, and this is how the pins behind it tell such a sample from transport packets.
bool IsWholeDvFrame(std::span<const std::uint8_t> bytes);

class DvFrameReader {
  public:
    // Bytes a frame start is known by: its header block and the five blocks after it.
    static constexpr std::size_t kStartProbe = kFrameStartBlocks * kBlockSize;
    static constexpr std::size_t kMinBuffer = kMaxFrameSize;

    // `data` holds the stream's bytes from Position() on; `atEnd` says nothing follows them.
    // Fills `piece` with the next piece, which begins at data's first byte, and moves Position()
    // past it. False when `data` holds no whole piece yet (more bytes are needed) or is empty.
    bool Next(std::span<const std::uint8_t> data, bool atEnd, DvPiece& piece);

    // Stream offset of the first byte not handed out yet.
    std::uint64_t Position() const { return m_position; }

  private:
    friend bool IsWholeDvFrame(std::span<const std::uint8_t> bytes);
    enum class Match : std::uint8_t { kNo, kYes, kNeedMore };

    // Whether a frame may begin at data[at]; kNeedMore when data ends before that is known.
    static Match FrameStartAt(std::span<const std::uint8_t> data, std::size_t at);
    // The first offset after `from` where a frame may begin (or, unless `atEnd`, at which the
    // bytes run out before that can be told); data.size() when there is none.
    static std::size_t NextStart(std::span<const std::uint8_t> data, std::size_t from, bool atEnd);
    // The header blocks of all sequences of the frame at data[0] that `data` holds are in place.
    static bool SequencesInPlace(std::span<const std::uint8_t> data, DvSystem system);

    bool Hand(DvPieceKind kind, DvSystem system, std::span<const std::uint8_t> bytes,
              DvPiece& piece);

    std::uint64_t m_position = 0;
    // The last piece was a frame begun and not finished: bytes after it that begin no frame
    // are more of it.
    bool m_inPartial = false;
    DvSystem m_partialSystem = DvSystem::k625_50;
};

}  // namespace vornak::dv
