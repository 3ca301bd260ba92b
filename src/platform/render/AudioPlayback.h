// Where the audio renderer's sound goes: the machine's sound output, or a stand-in in tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "MediaFormats.h"

namespace vornak {

class AudioPlayback {
  public:
    virtual ~AudioPlayback() = default;

    // Whether the sound output can play 16-bit PCM of this format; false when there is no output
    // at all. The graph's thread.
    virtual bool Supports(const WAVEFORMATEX& format) = 0;
    // Starts playing `format`; false when the output cannot. The graph's thread.
    virtual bool Start(const WAVEFORMATEX& format) = 0;
    // Queues whole frames of sound to be played as soon as possible and returns the bytes taken;
    // what does not fit is dropped. Never blocks. The streaming thread.
    virtual std::size_t Write(const std::uint8_t* data, std::size_t size) = 0;
    // Stops playing and drops what is queued. The graph's thread.
    virtual void Stop() = 0;
    // 0 (silent) to 1, linear; kept across Stop and Start. The graph's thread.
    virtual void SetVolume(float volume) { (void)volume; }
    // How many times the output went away while playing (a sound server stopped). Any thread.
    virtual std::uint32_t Losses() const { return 0; }
};

}  // namespace vornak
