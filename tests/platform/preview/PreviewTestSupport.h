// Pieces shared by the preview path's tests (beside the hand-made packets of
// MpegTsTestSupport.h): a source that pushes a transport stream from the test's thread, a sink that
// records what reaches it, the media types the capture page gives the demultiplexer's pins, and a
// real HDV-like stream made with the ffmpeg program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CBaseFilter.h"
#include "CBaseInputPin.h"
#include "CBaseOutputPin.h"
#include "ComPtr.h"
#include "MpegTsTestSupport.h"

namespace vornak::test {

class StreamSource;

class StreamSourcePin : public CBaseOutputPin {
  public:
    static constexpr LONG kBufferSize = 188 * 64;
    static constexpr LONG kBufferCount = 2;
    // A sample may be as large as a whole DV frame.
    static constexpr LONG kLargestSample = 144'000;

    explicit StreamSourcePin(StreamSource* filter);
    HRESULT GetMediaType(int position, CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
};

// Delivers on the calling thread, `chunk` bytes a sample (at most kLargestSample).
class StreamSource : public CBaseFilter {
  public:
    StreamSource();
    ~StreamSource() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    StreamSourcePin* Pin() const { return m_pPin.get(); }

    // S_OK when every sample went through.
    HRESULT Push(const Bytes& data, std::size_t chunk = StreamSourcePin::kBufferSize);
    // Each of `samples` in a sample of its own, as a camcorder's pin sends DV frames.
    HRESULT PushEach(const std::vector<Bytes>& samples);
    HRESULT PushEndOfStream();

  private:
    std::unique_ptr<StreamSourcePin> m_pPin;
};

struct RecordedSample {
    Bytes data;
    std::optional<REFERENCE_TIME> start;
    std::optional<REFERENCE_TIME> stop;
};

class RecordingSink;

class RecordingSinkPin : public CBaseInputPin {
  public:
    explicit RecordingSinkPin(RecordingSink* filter);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;

  private:
    RecordingSink* m_pSink;
};

// Takes samples of one major type and subtype (any, when GUID_NULL) and records them. While
// holding, it keeps every sample it gets, so that its allocator runs dry.
class RecordingSink : public CBaseFilter {
  public:
    explicit RecordingSink(const GUID& majorType = GUID_NULL, const GUID& subtype = GUID_NULL);
    ~RecordingSink() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    RecordingSinkPin* Pin() const { return m_pPin.get(); }

    void HoldSamples(bool hold);
    void ReleaseHeldSamples();
    std::vector<RecordedSample> Samples() const;
    std::size_t SampleCount() const;
    int EndOfStreams() const;

    // For the pin.
    bool Accepts(const AM_MEDIA_TYPE& type) const;
    void Record(IMediaSample* sample);
    void CountEndOfStream();

  private:
    GUID m_majorType;
    GUID m_subtype;
    std::unique_ptr<RecordingSinkPin> m_pPin;
    mutable std::mutex m_mutex;
    std::vector<RecordedSample> m_samples;
    std::vector<ComPtr<IMediaSample>> m_held;
    bool m_bHold = false;
    int m_nEndOfStreams = 0;
};

// What the capture page gives the demultiplexer's pins.
CMediaType Mpeg2VideoType(int width, int height);
CMediaType Mpeg1AudioType(int channels, int rate);

// Runs `filters` in order (downstream first), or stops them.
void RunAll(const std::vector<CBaseFilter*>& filters);
void StopAll(const std::vector<CBaseFilter*>& filters);
// Breaks every connection of `filters` (stopped): connected pins hold their peers' filters, so
// filters left connected would keep each other alive.
void DisconnectAll(const std::vector<CBaseFilter*>& filters);

// One second of 1440 x 1080 test picture at 25 pictures a second (MPEG-2 video on PID 0x810)
// and a 1000 Hz tone (MPEG-1 Layer II, 48 kHz stereo, on PID 0x814) in a transport stream,
// made by the ffmpeg program in a folder of its own.
class FfmpegTestStream {
  public:
    static bool FfmpegAvailable();
    FfmpegTestStream();
    ~FfmpegTestStream();
    // Empty when making it failed.
    const Bytes& Data() const { return m_data; }
    const std::string& Error() const { return m_error; }

    // One per test program: made on first use.
    static const FfmpegTestStream& Shared();

  private:
    std::filesystem::path m_folder;
    Bytes m_data;
    std::string m_error;
};

// One second of 625/50 DV made by the ffmpeg program (its 4:3 test picture, a 440 Hz tone at
// 48 kHz), one whole frame each; made on first use. Empty when making it failed (`error` says
// why).
const std::vector<Bytes>& FfmpegDvFrames(std::string* error = nullptr);
// The samples of one channel out of interleaved 16-bit PCM, as bytes or as samples.
std::vector<std::int16_t> Channel(const Bytes& pcm, int channels, int channel);
std::vector<std::int16_t> Channel(const std::vector<std::int16_t>& pcm, int channels, int channel);
// A tone's frequency from its zero crossings: two a period.
double Frequency(const std::vector<std::int16_t>& samples, int rate);
// The concatenation of `parts`.
Bytes Join(const std::vector<Bytes>& parts);

}  // namespace vornak::test
