// Writes DIF frames into an AVI file (type 2: a DV video stream and the frames' sound as PCM) or
// a QuickTime file, by stream copy: each frame becomes one video packet, byte for byte. The
// sound stream is a copy taken out of the frames, which keep their own.
//
// Never over an existing file: the file is created exclusively, as scene files are, and flushed
// to the disk before Close reports success.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "DiskSync.h"
#include "DvSoundDemuxer.h"

namespace vornak::dv {

enum class DvContainer : std::uint8_t { kAvi, kQuickTime };

class DvContainerWriter {
  public:
    DvContainerWriter() = default;
    // A file not closed is given up as it is: its container may lack its index.
    ~DvContainerWriter();
    DvContainerWriter(const DvContainerWriter&) = delete;
    DvContainerWriter& operator=(const DvContainerWriter&) = delete;

    enum class Create : std::uint8_t { kCreated, kAlreadyExists, kFailed };
    // Creates `path`. The container's streams are laid down with the first frame, which tells
    // the system, the aspect and the sound.
    Create CreateNew(const std::string& path, DvContainer container);

    // One DIF frame (normally whole; a frame cut short is written as it is). False when it
    // could not be written; Error() says why.
    bool Write(std::span<const std::uint8_t> frame);

    // Finishes the container, flushes the file to the disk and closes it. False when any of
    // that failed (Error() says why); the file is closed in any case.
    bool Close();

    // The system's error number of the last failure (errno), 0 when there was none or the
    // failure was not the system's.
    int LastError() const { return m_lastError; }
    // Names the file: `Cannot write "a.avi": No space left on device`.
    const std::string& Error() const { return m_error; }
    // Where Close flushes to; the system's disk unless a test puts something in between.
    void SetDiskSync(DiskSync* sync) { m_pSync = sync; }

    std::int64_t FramesWritten() const { return m_frames; }

  private:
    bool Fail(const std::string& reason, int error = 0);
    bool FailFfmpeg(int result);
    // Lays down the streams and the container's header from the first frame.
    bool Begin(std::span<const std::uint8_t> frame);
    bool WritePacket(int stream, std::span<const std::uint8_t> bytes, std::int64_t pts,
                     std::int64_t duration);
    void Release();
    static int WriteOut(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t SeekOut(void* opaque, std::int64_t offset, int whence);

    std::string m_path;
    DvContainer m_container = DvContainer::kAvi;
    int m_fd = -1;
    AVFormatContext* m_context = nullptr;
    AVIOContext* m_io = nullptr;
    bool m_begun = false;
    int m_ioError = 0;  // the errno of the last failed write or seek
    int m_lastError = 0;
    std::string m_error;
    DiskSync* m_pSync = &DiskSync::System();

    std::unique_ptr<DvSoundDemuxer> m_sound;
    AVRational m_videoTimeBase{1, 1};
    int m_videoStream = -1;
    std::vector<int> m_soundStreams;           // the container's stream of each sound stream
    std::vector<std::int64_t> m_soundSamples;  // samples written of each
    std::vector<int> m_soundFrameBytes;        // bytes of one sample of all channels
    std::int64_t m_frames = 0;
};

}  // namespace vornak::dv
