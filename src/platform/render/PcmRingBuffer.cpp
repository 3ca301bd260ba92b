#include "PcmRingBuffer.h"

#include <algorithm>
#include <cstring>

namespace vornak {

void PcmRingBuffer::Reset(std::size_t capacity, std::size_t frameSize) {
    std::lock_guard lock(m_lock);
    m_nFrameSize = std::max<std::size_t>(frameSize, 1);
    m_buffer.assign(WholeFrames(capacity), 0);
    m_nStart = 0;
    m_nSize = 0;
    m_nDropped = 0;
}

std::size_t PcmRingBuffer::Write(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return 0;
    }
    std::lock_guard lock(m_lock);
    if (m_buffer.empty()) {
        m_nDropped += size;
        return 0;
    }
    const std::size_t taken = WholeFrames(std::min(size, m_buffer.size() - m_nSize));
    m_nDropped += size - taken;
    // At most two pieces: up to the end of the buffer, then from its start.
    const std::size_t end = (m_nStart + m_nSize) % m_buffer.size();
    const std::size_t first = std::min(taken, m_buffer.size() - end);
    std::memcpy(m_buffer.data() + end, data, first);
    std::memcpy(m_buffer.data(), data + first, taken - first);
    m_nSize += taken;
    return taken;
}

std::size_t PcmRingBuffer::Read(std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return 0;
    }
    std::lock_guard lock(m_lock);
    const std::size_t taken = WholeFrames(std::min(size, m_nSize));
    if (taken == 0) {
        return 0;
    }
    const std::size_t first = std::min(taken, m_buffer.size() - m_nStart);
    std::memcpy(data, m_buffer.data() + m_nStart, first);
    std::memcpy(data + first, m_buffer.data(), taken - first);
    m_nStart = (m_nStart + taken) % m_buffer.size();
    m_nSize -= taken;
    return taken;
}

std::size_t PcmRingBuffer::Size() const {
    std::lock_guard lock(m_lock);
    return m_nSize;
}

std::size_t PcmRingBuffer::Capacity() const {
    std::lock_guard lock(m_lock);
    return m_buffer.size();
}

std::size_t PcmRingBuffer::Dropped() const {
    std::lock_guard lock(m_lock);
    return m_nDropped;
}

}  // namespace vornak
