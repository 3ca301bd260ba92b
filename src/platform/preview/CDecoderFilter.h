// The base of the preview's decoders: one input pin taking a compressed stream, one output pin
// offering the decoded form, and decoding on the upstream filter's thread inside Receive.
//
// There is no clock: a live preview shows what it has as soon as it has it. Output samples are
// taken without waiting (AM_GBF_NOWAIT); a decoded unit that finds none free is dropped and
// counted, so a slow renderer never holds up the stream.
//
// Threads: Receive, EndOfStream and EndFlush arrive on the upstream thread; state changes and
// connections on the graph's. The stream lock guards the decoder state and the output pin's
// connection; it is taken after the filter lock, never before it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "CBaseFilter.h"

namespace vornak {

class CDecoderInputPin;
class CDecoderOutputPin;

class CDecoderFilter : public CBaseFilter {
  public:
    // Pin names.
    static constexpr const char* kInputPinName = "In";
    static constexpr const char* kOutputPinName = "Out";

    CDecoderFilter(const char* objectName, const CLSID& clsid);
    ~CDecoderFilter() override;

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;
    // Leaving the stopped state opens the decoder; E_FAIL when it cannot be opened.
    HRESULT Pause() override;
    // Closes the decoder once the pins are inactive.
    HRESULT Stop() override;

    // What the pins ask of the decoder.
    virtual HRESULT CheckInputType(const CMediaType& input) = 0;
    // The one output type for `input`, its sample size in lSampleSize.
    virtual HRESULT MakeOutputType(const CMediaType& input, CMediaType& output) = 0;
    virtual ALLOCATOR_PROPERTIES OutputBuffers(const CMediaType& output) = 0;

    // For the pins.
    HRESULT Receive(IMediaSample* pSample);
    HRESULT EndOfStream();
    void EndFlush();
    std::mutex& StreamLock() { return m_streamLock; }
    CDecoderInputPin* InputPin() const { return m_pInput.get(); }
    CDecoderOutputPin* OutputPin() const { return m_pOutput.get(); }

    // Decoded units delivered, decoded units dropped for want of a free sample, and damage the
    // decoder met (which it passes over).
    std::uint64_t Delivered() const { return m_nDelivered.load(std::memory_order_relaxed); }
    std::uint64_t Dropped() const { return m_nDropped.load(std::memory_order_relaxed); }
    std::uint64_t DecodeErrors() const { return m_nErrors.load(std::memory_order_relaxed); }

  protected:
    // All with the stream lock held. `output` is the output connection's type, or an invalid
    // type while the output is not connected.
    virtual HRESULT StartStreaming(const CMediaType& output) = 0;
    virtual void StopStreaming() = 0;
    // One input sample's payload; `start` is its time (100 ns), if it has one.
    virtual void Decode(std::span<const std::uint8_t> data,
                        std::optional<REFERENCE_TIME> start) = 0;
    // The stream ended: hand out whatever is still held back.
    virtual void Drain() = 0;
    // A flush: forget whatever is held back.
    virtual void Discard() = 0;

    // Fills a free output sample (`fill` gets the buffer and returns the bytes it wrote, 0 to
    // send nothing) and delivers it. False when no sample was free at once (counted) or the
    // output is not connected. Stream lock held.
    using SampleFiller = std::function<std::size_t(std::span<std::uint8_t> buffer)>;
    bool DeliverOutput(const SampleFiller& fill, std::optional<REFERENCE_TIME> start,
                       std::optional<REFERENCE_TIME> stop);
    void CountDecodeErrors(std::uint64_t count);

  private:
    std::unique_ptr<CDecoderInputPin> m_pInput;
    std::unique_ptr<CDecoderOutputPin> m_pOutput;
    std::mutex m_streamLock;
    bool m_bStreaming = false;  // between Pause and Stop; stream lock
    std::atomic<std::uint64_t> m_nDelivered{0};
    std::atomic<std::uint64_t> m_nDropped{0};
    std::atomic<std::uint64_t> m_nErrors{0};
};

}  // namespace vornak
