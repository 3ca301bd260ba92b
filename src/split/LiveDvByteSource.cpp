#include "LiveDvByteSource.h"

#include <algorithm>
#include <cstring>

namespace vornak {

InputFile::Status LiveDvByteSource::Read(std::uint8_t* dest, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        if (!m_batch || m_batch->empty()) {
            if (got > 0 || m_bEnded) {
                break;
            }
            m_batch = m_pSource->TakeChunks();
            m_nOffset = 0;
            if (!m_batch) {
                m_bEnded = true;
                break;
            }
            continue;
        }
        const SampleChunk* chunk = m_batch->back().get();
        const std::size_t length =
            chunk != nullptr ? static_cast<std::size_t>(std::max(chunk->cbData, 0)) : 0;
        const std::size_t take = std::min(length - std::min(m_nOffset, length), size - got);
        if (take > 0) {
            std::memcpy(dest + got, chunk->pData.get() + m_nOffset, take);
        }
        got += take;
        m_nOffset += take;
        if (m_nOffset >= length) {
            m_batch->pop_back();
            m_nOffset = 0;
        }
    }
    return got == 0 && m_bEnded ? InputFile::Status::EndOfFile : InputFile::Status::Ok;
}

}  // namespace vornak
