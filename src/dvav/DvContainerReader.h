// Reads the DV frames of an AVI file (type 1 or type 2) or a QuickTime file, each exactly as the
// container stores it: the bytes handed out are the packet's bytes, never decoded or repacked.
// A container's sound is not read: in DV every frame carries its own sound, and a type 2 file's
// sound stream is only a copy of it.
//
// libavformat opens every container and reads type 2 and QuickTime files. A type 1 file's chunks
// are read straight from the file (AviChunkReader): libavformat's reader re-cuts them into frames
// of the size it expects, dropping or shortening any other.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "AviChunkReader.h"
#include "FfmpegInput.h"

struct AVPacket;

namespace vornak::dv {

struct DvContainerFrame {
    // Valid until the next call to Next or Open.
    std::span<const std::uint8_t> bytes;
    // Where in the file the container says the packet lies (for progress); -1 when unknown.
    std::int64_t fileOffset = -1;
};

class DvContainerReader {
  public:
    DvContainerReader();
    ~DvContainerReader();
    DvContainerReader(const DvContainerReader&) = delete;
    DvContainerReader& operator=(const DvContainerReader&) = delete;

    // False when the file cannot be read as a container or holds no DV video; Error() says why.
    bool Open(const std::string& path);

    enum class Status : std::uint8_t { kFrame, kEnd, kError };
    // The next DV frame. kError: the container could not be read on (Error() says why); the
    // frames handed out before stay good.
    Status Next(DvContainerFrame& frame);

    // The file's size in bytes, for progress; -1 when unknown.
    std::int64_t FileSize() const;

    // Type 1 only: bytes among the frames that began no chunk (damage), passed over.
    std::uint64_t SkippedBytes() const { return m_type1 ? m_chunks.SkippedBytes() : 0; }

    // Names the file: `Cannot read DV from "a.avi": Invalid data found when processing input`.
    const std::string& Error() const { return m_error; }

  private:
    struct PacketFree {
        void operator()(AVPacket* packet) const;
    };

    bool Fail(const std::string& reason);

    FfmpegInput m_input;
    std::unique_ptr<AVPacket, PacketFree> m_packet;
    std::string m_path;
    std::string m_error;
    int m_stream = -1;
    bool m_type1 = false;
    AviChunkReader m_chunks;
};

}  // namespace vornak::dv
