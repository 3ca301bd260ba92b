// The DV frames of an AVI or QuickTime file handed to the DV scene job one after another, each
// exactly as the container stores it, as if they were a raw DV file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "DvByteSource.h"
#include "DvContainerReader.h"

namespace vornak {

class DvContainerByteSource final : public DvByteSource {
  public:
    InputFile::OpenResult Open(const std::string& path) override;
    InputFile::Status Read(std::uint8_t* dest, std::size_t size, std::size_t& got) override;
    void Close() override;
    std::string Error() const override { return m_error; }

  private:
    dv::DvContainerReader m_reader;
    // What is left of the frame handed out last.
    std::span<const std::uint8_t> m_rest;
    bool m_open = false;
    std::string m_error;
};

}  // namespace vornak
