// The file a file run writes into. It only ever hands the system whole transport packets (or,
// for DV, whole frames: each Write goes to the system in one call), so that the file on disk
// ends on a packet or frame boundary whenever the program stops, even when it is killed; and it
// flushes the file to the disk as it closes it, so that a capture reported done survives a
// power cut.
//
// Not thread-safe: the capture pin serialises every call under its queue lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "DiskSync.h"

namespace vornak {

class CaptureFileWriter {
  public:
    // Whole packets held before they go to the system: about 64 KB, a fiftieth of a second of
    // HDV, the most a kill can cost.
    static constexpr std::size_t kBufferPackets = 348;

    // What the file holds, and so what it is handed in and cut back to.
    enum class Packing {
        TransportPackets,  // held until many whole packets can go together; a failed write is cut
                           // back to the last whole packet, so the file plays to its end
        WholeWrites,       // each Write (a DV frame) goes to the system at once; a failed write
                           // keeps every byte the disk took: all of it is the tape's
    };

    enum class Create { Created, AlreadyExists, Failed };
    // Creates `path` exclusively: a file already there, readable or not, or one that appears
    // meanwhile, is never truncated. On failure `error` holds errno.
    static std::unique_ptr<CaptureFileWriter> CreateNew(
        const std::string& path, Create& result, int& error,
        Packing packing = Packing::TransportPackets);
    // The same when only success counts.
    static std::unique_ptr<CaptureFileWriter> CreateNew(const std::string& path);
    // Takes over an open descriptor (tests hand in files that refuse writes).
    CaptureFileWriter(int fd, std::string path, Packing packing = Packing::TransportPackets);
    // Closes without reporting; call Close to learn whether the data reached the disk.
    ~CaptureFileWriter();
    CaptureFileWriter(const CaptureFileWriter&) = delete;
    CaptureFileWriter& operator=(const CaptureFileWriter&) = delete;

    // Takes the bytes; false once any write of this file has failed (a full disk will not take
    // the rest either, and nothing more is written after the failure).
    bool Write(const std::uint8_t* data, std::size_t size);
    // Writes what is held, flushes the file to the disk and closes it; false when any of it
    // failed, now or earlier. Calling it again returns the same answer.
    bool Close();

    // Where Close flushes to; the system's disk unless a test puts something in between.
    void SetDiskSync(DiskSync* sync) { m_pSync = sync; }
    // The system's error number of the first failure, 0 when there was none.
    int LastError() const { return m_nError; }

    const std::string& Path() const { return m_path; }
    bool Failed() const { return m_bFailed; }
    // Bytes handed to Write so far, held or written.
    std::uint64_t BytesTaken() const { return m_nTaken; }

  private:
    bool WriteOut(const std::uint8_t* data, std::size_t size);
    void Fail(int error);

    int m_fd;
    std::string m_path;
    Packing m_packing;
    std::uint64_t m_nTaken = 0;
    std::unique_ptr<std::uint8_t[]> m_pBuffer;
    std::size_t m_nHeld = 0;
    std::uint64_t m_nWritten = 0;  // bytes the system has taken
    bool m_bFailed = false;
    bool m_bClosed = false;
    int m_nError = 0;
    DiskSync* m_pSync = &DiskSync::System();
};

using CaptureFile = std::unique_ptr<CaptureFileWriter>;

}  // namespace vornak
