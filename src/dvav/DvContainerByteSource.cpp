#include "DvContainerByteSource.h"

#include <algorithm>
#include <cstring>

namespace vornak {

InputFile::OpenResult DvContainerByteSource::Open(const std::string& path) {
    m_rest = {};
    m_error.clear();
    m_open = m_reader.Open(path);
    if (!m_open) {
        m_error = m_reader.Error();
        return InputFile::OpenResult::CannotOpen;
    }
    return InputFile::OpenResult::Opened;
}

InputFile::Status DvContainerByteSource::Read(std::uint8_t* dest, std::size_t size,
                                              std::size_t& got) {
    got = 0;
    if (!m_open) {
        return InputFile::Status::EndOfFile;
    }
    while (got < size) {
        if (m_rest.empty()) {
            dv::DvContainerFrame frame;
            switch (m_reader.Next(frame)) {
                case dv::DvContainerReader::Status::kFrame:
                    m_rest = frame.bytes;
                    continue;
                case dv::DvContainerReader::Status::kEnd:
                    return InputFile::Status::EndOfFile;
                case dv::DvContainerReader::Status::kError:
                    m_error = m_reader.Error();
                    return InputFile::Status::Error;
            }
        }
        const std::size_t take = std::min(size - got, m_rest.size());
        std::memcpy(dest + got, m_rest.data(), take);
        m_rest = m_rest.subspan(take);
        got += take;
    }
    return InputFile::Status::Ok;
}

void DvContainerByteSource::Close() {
    m_rest = {};
    m_open = false;
}

}  // namespace vornak
