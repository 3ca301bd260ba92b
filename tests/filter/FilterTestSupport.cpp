#include "FilterTestSupport.h"

#include <chrono>

#include "Guids.h"
#include "TsPacket.h"

namespace vornak::test {
namespace {

constexpr std::size_t kSourcePacket = 192;
constexpr std::size_t kSourceHeader = 4;
constexpr auto kSafetyLimit = std::chrono::seconds(60);

}  // namespace

FakeSample::FakeSample(Bytes data, bool pointerFails)
    : m_data(std::move(data)),
      m_actual(static_cast<LONG>(m_data.size())),
      m_bPointerFails(pointerFails) {}

HRESULT FakeSample::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        return GetInterface(static_cast<IMediaSample*>(this), ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeSample::GetPointer(std::uint8_t** ppBuffer) {
    if (m_bPointerFails) {
        return E_FAIL;
    }
    *ppBuffer = m_data.data();
    return S_OK;
}

HRESULT FakeSample::SetActualDataLength(LONG length) {
    m_actual = length;
    return S_OK;
}

SinkFilter::SinkFilter()
    : CBaseFilter("SinkFilter", nullptr, GUID_NULL), m_pPin(std::make_unique<SinkPin>(this)) {}

SinkFilter::~SinkFilter() {
    m_pPin.reset();
}

CBasePin* SinkFilter::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

SinkPin::SinkPin(SinkFilter* filter) : CBaseInputPin("SinkPin", filter, nullptr, "In") {}

HRESULT SinkPin::CheckMediaType(const CMediaType* pmt) {
    return pmt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT SinkPin::Receive(IMediaSample* pSample) {
    const HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }
    ReceivedSample received;
    std::uint8_t* data = nullptr;
    pSample->GetPointer(&data);
    received.data.assign(data, data + pSample->GetActualDataLength());
    received.bufferSize = pSample->GetSize();
    received.discontinuity = pSample->IsDiscontinuity() == S_OK;

    std::unique_lock lock(m_mutex);
    ++m_nArrivals;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_bGateClosed; });
    m_samples.push_back(std::move(received));
    ++m_nCompleted;
    m_changed.notify_all();
    return S_OK;
}

HRESULT SinkPin::EndOfStream() {
    std::lock_guard lock(m_mutex);
    ++m_nEndOfStreams;
    return S_OK;
}

void SinkPin::CloseGate() {
    std::lock_guard lock(m_mutex);
    m_bGateClosed = true;
}

void SinkPin::OpenGate() {
    {
        std::lock_guard lock(m_mutex);
        m_bGateClosed = false;
    }
    m_changed.notify_all();
}

bool SinkPin::WaitForArrivals(std::size_t count) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kSafetyLimit, [&] { return m_nArrivals >= count; });
}

std::vector<ReceivedSample> SinkPin::Samples() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::size_t SinkPin::Arrivals() const {
    std::lock_guard lock(m_mutex);
    return m_nArrivals;
}

std::size_t SinkPin::Completed() const {
    std::lock_guard lock(m_mutex);
    return m_nCompleted;
}

int SinkPin::EndOfStreams() const {
    std::lock_guard lock(m_mutex);
    return m_nEndOfStreams;
}

Bytes SourcePackets(std::size_t count, int pid, std::uint8_t headerTag, std::size_t firstNumber) {
    Bytes out(count * kSourcePacket);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t number = firstNumber + i;
        std::uint8_t* p = out.data() + i * kSourcePacket;
        p[0] = headerTag;
        p[1] = headerTag;
        p[2] = static_cast<std::uint8_t>(number >> 8);
        p[3] = static_cast<std::uint8_t>(number);
        std::uint8_t* ts = p + kSourceHeader;
        ts[0] = SYNC_BYTE;
        ts[1] = static_cast<std::uint8_t>((pid >> 8) & 0x1F);
        ts[2] = static_cast<std::uint8_t>(pid);
        ts[3] = 0x10;  // payload only
        for (std::size_t b = TS_HEADER_SIZE; b < PKT_SIZE; ++b) {
            ts[b] = static_cast<std::uint8_t>(number + b);
        }
    }
    return out;
}

Bytes TransportPackets(const Bytes& sourcePackets) {
    Bytes out;
    for (std::size_t at = 0; at + kSourcePacket <= sourcePackets.size(); at += kSourcePacket) {
        out.insert(out.end(), sourcePackets.begin() + static_cast<long>(at + kSourceHeader),
                   sourcePackets.begin() + static_cast<long>(at + kSourcePacket));
    }
    return out;
}

Bytes ToSourcePackets(const Bytes& transportPackets) {
    Bytes out;
    for (std::size_t at = 0; at + PKT_SIZE <= transportPackets.size(); at += PKT_SIZE) {
        const std::uint8_t header[kSourceHeader] = {0xAB, 0xCD, 0xEF, 0x01};
        out.insert(out.end(), header, header + kSourceHeader);
        out.insert(out.end(), transportPackets.begin() + static_cast<long>(at),
                   transportPackets.begin() + static_cast<long>(at + PKT_SIZE));
    }
    return out;
}

}  // namespace vornak::test
