// A DV scene written into an AVI (type 2) or QuickTime file by stream copy: every frame, whole
// or cut short, becomes one video packet, byte for byte. Bytes between frames that begin none
// have no place in a container: they are left out, and the log says how many.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "DvContainerWriter.h"
#include "DvSceneFile.h"
#include "LogSink.h"

namespace vornak {

class DvContainerSceneFile final : public DvSceneFile {
  public:
    // `log` (null: silent) hears of bytes left out.
    DvContainerSceneFile(dv::DvContainer container, LogSink* log);

    OutputFile::Create CreateNew(const std::string& path) override;
    bool IsOpen() const override { return m_open; }
    std::size_t Write(const std::uint8_t* data, std::size_t size) override;
    void StartWriteback() override {}  // the writer flushes the whole file as it closes
    bool Close() override;
    bool RemoveIfEmpty(const std::string& path) override;
    void SetDiskSync(DiskSync* sync) override { m_writer.SetDiskSync(sync); }
    std::string Reason() const override;

  private:
    dv::DvContainer m_container;
    LogSink* m_pLog;
    dv::DvContainerWriter m_writer;
    std::string m_path;
    bool m_open = false;
    std::uint64_t m_leftOut = 0;  // bytes that began no frame
};

}  // namespace vornak
