// The DV frames of an AVI or QuickTime file handed to the DV scene job one after another, each
// exactly as the container stores it, as if they were a raw DV file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

#include "DvByteSource.h"
#include "DvContainerReader.h"
#include "LogSink.h"

namespace vornak {

class DvContainerByteSource final : public DvByteSource {
  public:
    // `log` (null: silent) hears of damage the container's reader passed over.
    explicit DvContainerByteSource(LogSink* log = nullptr) : m_pLog(log) {}

    InputFile::OpenResult Open(const std::string& path) override;
    InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) override;
    void Close() override;
    std::string Error() const override { return m_error; }
    // The file position of the frame the byte lies in, as the container gives it: a container
    // interleaves other things between frames, so that offsets into it differ from offsets into
    // the frames handed out.
    std::int64_t FileOffsetOf(std::uint64_t streamOffset) const override;

    // Frames remembered for FileOffsetOf: more than the DV scene job's buffer holds of the
    // smaller 525/60 frames.
    static constexpr std::size_t kRememberedFrames = 128;

  private:
    // Says once, at the end of the frames, how many bytes among them began no frame's chunk.
    void SayWhatWasPassedOver();

    LogSink* m_pLog;
    dv::DvContainerReader m_reader;
    std::string m_path;
    bool m_said = false;
    // What is left of the frame handed out last.
    std::span<const std::uint8_t> m_rest;
    struct FrameStart {
        std::uint64_t streamOffset;
        std::int64_t fileOffset;
    };
    std::deque<FrameStart> m_starts;
    std::uint64_t m_handedOut = 0;  // stream offset of the next byte handed out
    bool m_open = false;
    std::string m_error;
};

}  // namespace vornak
