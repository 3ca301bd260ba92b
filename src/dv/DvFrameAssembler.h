// Builds DV frames from the blocks FireWire delivers: 480-byte payloads of six DIF blocks, each
// placed in the frame by the type, sequence and number in its ID, so blocks out of order land
// where they belong. A frame is handed over when the next one begins, and by Flush() at the end
// of a run, so the last frame of a run is never held back. The next frame begins at its first
// header block (sequence 0); when that was lost, at the first of its blocks that finds its place
// taken by different bytes, so a frame is never laid over the one before.
//
// Blocks that never arrived are written as damage the rest of the program can see (video
// blocks with an error STA, audio blocks with error samples, header blocks as the frame's other
// headers, the other blocks empty), never with the bytes of a frame before: the buffer is
// rebuilt for every frame.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "DifConstants.h"

namespace vornak::dv {

struct DvAssembledFrame {
    DvSystem system = DvSystem::k625_50;
    std::span<const std::uint8_t> bytes;  // FrameSizeOf(system); valid during the call only
    int missingBlocks = 0;                // filled in as damage
    int duplicateBlocks = 0;              // the same block again (a repeated packet), dropped
};

class DvFrameAssembler {
  public:
    static constexpr std::size_t kBlocksPerPayload = 6;
    static constexpr std::size_t kPayloadSize = kBlocksPerPayload * kBlockSize;

    using FrameSink = std::function<void(const DvAssembledFrame&)>;
    explicit DvFrameAssembler(FrameSink sink);

    // One payload; a payload of another size is counted and dropped.
    void Push(std::span<const std::uint8_t> payload);
    // Hands over the frame begun, if any: the end of a run.
    void Flush();

    std::uint64_t DamagedPayloads() const { return m_damagedPayloads; }
    // Blocks whose ID names no place in a frame (or a sequence beyond the frame's system).
    std::uint64_t StrayBlocks() const { return m_strayBlocks; }

    // A block's index in its sequence (0 to 149) from its type and number; none when the pair
    // names no block.
    static std::optional<std::size_t> BlockIndex(std::uint8_t type, std::size_t number);

  private:
    static constexpr std::size_t kMaxBlocks = kBlocksPerSequence * kMaxSequences;

    using Block = std::array<std::uint8_t, kBlockSize>;

    void PlaceBlock(std::span<const std::uint8_t, kBlockSize> block);
    void HandOver();
    DvSystem SystemOfFrame() const;
    int AudioBitsOfFrame(int sequences) const;
    void FillMissing(std::size_t slot, int audioBits);

    FrameSink m_sink;
    std::vector<std::uint8_t> m_frame;
    std::bitset<kMaxBlocks> m_placed;
    bool m_begun = false;
    int m_duplicates = 0;
    std::vector<Block> m_heldBack;  // same bytes as a block placed, since the last new one
    int m_sequencesSeen = 0;
    std::optional<std::size_t> m_headerSlot;  // a header block that arrived, for its DSF and APT
    std::optional<DvSystem> m_lastSystem;
    int m_lastAudioBits = 16;
    std::uint64_t m_damagedPayloads = 0;
    std::uint64_t m_strayBlocks = 0;
};

}  // namespace vornak::dv
