// Brings interleaved 16-bit sound from one rate to another by linear interpolation, carrying its
// place from one block to the next so that a tone stays whole across blocks. Good enough for a
// preview's loudspeaker; the capture itself never passes through here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vornak {

class PcmResampler {
  public:
    // Forgets the sound before: the next block starts a new stream.
    void Reset();

    // Appends `input` (whole frames of `channels` samples at `inRate`) to `output` at `outRate`.
    // A change of channels or input rate starts a new stream. Rates and channels must be
    // positive.
    void Resample(std::span<const std::int16_t> input, int channels, int inRate, int outRate,
                  std::vector<std::int16_t>& output);

  private:
    int m_channels = 0;
    int m_inRate = 0;
    int m_outRate = 0;
    // The last input frame of the block before, which the next block's first outputs lean on.
    std::vector<std::int16_t> m_previous;
    // Where the next output lies, in 1/outRate of an input frame, counted from m_previous.
    std::int64_t m_position = 0;
};

}  // namespace vornak
