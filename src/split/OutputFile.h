// A scene file. Created exclusively, so that no existing file is ever overwritten, not even one
// that appears between the existence test and the creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "DiskSync.h"
#include "SceneFile.h"
#include "TsPacket.h"

namespace vornak {

class OutputFile final : public SceneFile {
  public:
    // What a write that comes out short (a full disk) leaves in the file.
    enum class ShortWrite {
        // The file is cut back to its last whole transport packet, so that it still plays to its
        // end; the bytes cut off are not counted as written.
        CutToWholePackets,
        // Every byte written stays.
        KeepAll,
    };
    // The rule is the owner's: it knows what the file holds.
    explicit OutputFile(ShortWrite shortWrite) : m_shortWrite(shortWrite) {}
    ~OutputFile() override { Abandon(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // True when anything at all is there under that name, even a dangling link.
    static bool Exists(const std::string& path);

    Create CreateNew(const std::string& path) override;
    // The system's error number of the last failure (errno), 0 when there was none.
    int LastError() const { return m_lastError; }
    std::string Reason() const override;

    bool IsOpen() const override { return m_fd >= 0; }
    // Writes everything unless the file system refuses; returns the bytes actually written.
    // What a short write leaves is the ShortWrite rule's.
    std::size_t Write(const std::uint8_t* data, std::size_t size);
    struct Piece {
        const std::uint8_t* data;
        std::size_t size;
    };
    // Writes the pieces in order, gathered into blocks of whole packets; returns the bytes
    // actually written.
    std::size_t WritePieces(const Piece* pieces, std::size_t count);
    // Asks the system to begin writing what the file holds to the disk, without waiting for
    // it, so that the flush at Close finds little left to do.
    void StartWriteback();
    // Flushes the data to the disk and closes the file. Returns false when the data could not
    // be flushed (LastError says why); the file is closed in any case.
    bool Close() override;
    // Gives up the file without flushing it, for a destructor that cannot report.
    void Abandon();
    // Removes the file and closes it when nothing was ever written to it and `path` still
    // names this very file; true when it is gone. Another file under that name is left alone.
    bool RemoveIfEmpty(const std::string& path) override;
    // Where Close flushes to; the system's disk unless a test puts something in between.
    void SetDiskSync(DiskSync* sync) { m_pSync = sync; }

  private:
    // Bytes cut off the end of the file to leave only whole packets.
    std::size_t CutToWholePackets();

    // 5,577 packets, about a megabyte: every block but a write's last is whole packets.
    static constexpr std::size_t kStagingBytes = 5'577 * PKT_SIZE;

    ShortWrite m_shortWrite;
    int m_fd = -1;
    int m_lastError = 0;
    std::uint64_t m_nSize = 0;  // bytes in the file
    // Where the file's first packet begins: a stream may start with a few bytes of no packet.
    std::uint64_t m_nPacketOrigin = 0;
    bool m_bOriginKnown = false;
    std::unique_ptr<std::uint8_t[]> m_pStaging;
    DiskSync* m_pSync = &DiskSync::System();
};

}  // namespace vornak
