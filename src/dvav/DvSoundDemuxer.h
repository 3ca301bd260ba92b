// The sound of DV frames as PCM, taken out by libavformat's DV reader fed from memory one frame
// at a time: a container's sound stream is a copy of what the frames themselves hold.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vornak::dv {

class DvSoundDemuxer {
  public:
    DvSoundDemuxer() = default;
    ~DvSoundDemuxer();
    DvSoundDemuxer(const DvSoundDemuxer&) = delete;
    DvSoundDemuxer& operator=(const DvSoundDemuxer&) = delete;

    // Takes the sound out of one whole DIF frame. False when libavformat cannot read the frame
    // as DV; the frame then has no sound here.
    bool Take(std::span<const std::uint8_t> frame);

    // The sound streams met so far (a frame of four channels holds two stereo pairs).
    int Streams() const;
    // The PCM format of a stream, as libavformat's DV reader describes it.
    const AVCodecParameters* Parameters(int stream) const;
    // The PCM bytes of each stream from the last frame taken; empty for a stream it lacked.
    const std::vector<std::uint8_t>& Pcm(int stream) const;

  private:
    bool OpenDemuxer();
    void CloseDemuxer();
    // The stream's place among the sound streams; -1 for the picture.
    int SoundIndex(int streamIndex) const;
    static int Read(void* opaque, std::uint8_t* buffer, int size);

    AVFormatContext* m_context = nullptr;
    AVIOContext* m_io = nullptr;
    // The frame the reader is fed from, and how much of it it has had.
    std::span<const std::uint8_t> m_frame;
    std::size_t m_used = 0;
    std::vector<std::vector<std::uint8_t>> m_pcm;
};

}  // namespace vornak::dv
