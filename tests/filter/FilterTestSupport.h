// Pieces shared by the filter and capture tests: a media sample over plain bytes, a sink filter
// that records what reaches it and can hold the delivering thread at a gate, and source packet
// builders.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "CBaseFilter.h"
#include "CBaseInputPin.h"
#include "StreamInterfaces.h"

namespace vornak::test {

using Bytes = std::vector<std::uint8_t>;

// A sample that lives on the stack: its count starts at 1 and never deletes it, so a test can
// check that a receiver gave back every reference it took.
class FakeSample final : public IMediaSample {
  public:
    explicit FakeSample(Bytes data, bool pointerFails = false);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override { return static_cast<ULONG>(--m_cRef); }
    HRESULT GetPointer(std::uint8_t** ppBuffer) override;
    LONG GetSize() override { return static_cast<LONG>(m_data.size()); }
    HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT SetTime(const REFERENCE_TIME*, const REFERENCE_TIME*) override { return S_OK; }
    LONG GetActualDataLength() override { return m_actual; }
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT IsDiscontinuity() override { return m_bDiscontinuity ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(bool discontinuity) override {
        m_bDiscontinuity = discontinuity;
        return S_OK;
    }

    int Count() const { return m_cRef; }

  private:
    Bytes m_data;
    LONG m_actual;
    bool m_bPointerFails;
    bool m_bDiscontinuity = false;
    int m_cRef = 1;
};

struct ReceivedSample {
    Bytes data;       // the valid part, as the sample's actual length gives it
    LONG bufferSize;  // the whole buffer
    bool discontinuity = false;
};

class SinkPin;

// One input pin accepting transport streams. Construct with new; count starts at 0.
class SinkFilter : public CBaseFilter {
  public:
    SinkFilter();
    ~SinkFilter() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    SinkPin* Pin() const { return m_pPin.get(); }

  private:
    std::unique_ptr<SinkPin> m_pPin;
};

class SinkPin : public CBaseInputPin {
  public:
    explicit SinkPin(SinkFilter* filter);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;

    // While closed, Receive waits at the gate (after counting the arrival).
    void CloseGate();
    void OpenGate();
    // Waits until `count` samples have arrived (held at the gate or not). False after a
    // generous safety limit, so that a broken build fails instead of hanging.
    bool WaitForArrivals(std::size_t count);
    std::vector<ReceivedSample> Samples() const;
    std::size_t Arrivals() const;
    // Receive calls that have returned.
    std::size_t Completed() const;
    int EndOfStreams() const;

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ReceivedSample> m_samples;
    std::size_t m_nArrivals = 0;
    std::size_t m_nCompleted = 0;
    int m_nEndOfStreams = 0;
    bool m_bGateClosed = false;
};

// `count` source packets: a 4-byte header holding `headerTag` and the packet number, then a
// 188-byte transport packet on `pid` whose payload bytes are (number + offset) & 0xFF.
Bytes SourcePackets(std::size_t count, int pid = 0x100, std::uint8_t headerTag = 0xEE,
                    std::size_t firstNumber = 0);
// What the capture pin makes of them: the transport packets alone.
Bytes TransportPackets(const Bytes& sourcePackets);
// Wraps 188-byte transport packets into 192-byte source packets with a fixed header.
Bytes ToSourcePackets(const Bytes& transportPackets);

}  // namespace vornak::test
