// Where the DV scene job puts one scene: a raw .dv file as read, or a container that takes the
// scene's frames one by one. Writes always end where a frame, or bytes that begin none, end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "DiskSync.h"
#include "OutputFile.h"
#include "SceneFile.h"

namespace vornak {

class DvSceneFile : public SceneFile {
  public:
    // Bytes taken; fewer than `size` when writing failed.
    virtual std::size_t Write(const std::uint8_t* data, std::size_t size) = 0;
    // Lets the disk start writing what was written so far; may do nothing.
    virtual void StartWriteback() = 0;
    virtual void SetDiskSync(DiskSync* sync) = 0;
};

// Raw DV: the bytes go out exactly as read. A short write keeps every byte it wrote: a DV file
// has no transport packets to make whole.
class RawDvSceneFile final : public DvSceneFile {
  public:
    RawDvSceneFile() : m_file(OutputFile::ShortWrite::KeepAll) {}
    OutputFile::Create CreateNew(const std::string& path) override {
        return m_file.CreateNew(path);
    }
    bool IsOpen() const override { return m_file.IsOpen(); }
    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        return m_file.Write(data, size);
    }
    void StartWriteback() override { m_file.StartWriteback(); }
    bool Close() override { return m_file.Close(); }
    bool RemoveIfEmpty(const std::string& path) override { return m_file.RemoveIfEmpty(path); }
    void SetDiskSync(DiskSync* sync) override { m_file.SetDiskSync(sync); }
    std::string Reason() const override { return m_file.Reason(); }

  private:
    OutputFile m_file;
};

}  // namespace vornak
