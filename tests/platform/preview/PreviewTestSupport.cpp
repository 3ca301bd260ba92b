#include "PreviewTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "DvTestFrames.h"
#include "Guids.h"
#include "MediaFormats.h"

namespace vornak::test {

// --- StreamSource ------------------------------------------------------------------------------

StreamSourcePin::StreamSourcePin(StreamSource* filter)
    : CBaseOutputPin("StreamSourcePin", filter, filter->Lock(), "Out") {}

HRESULT StreamSourcePin::GetMediaType(int position, CMediaType* pmt) {
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    *pmt = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    return S_OK;
}

HRESULT StreamSourcePin::CheckMediaType(const CMediaType* pmt) {
    return pmt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT StreamSourcePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    pRequest->cBuffers = kBufferCount;
    pRequest->cbBuffer = kLargestSample;
    ALLOCATOR_PROPERTIES actual;
    return pAlloc->SetProperties(pRequest, &actual);
}

StreamSource::StreamSource()
    : CBaseFilter("StreamSource", nullptr, GUID_NULL),
      m_pPin(std::make_unique<StreamSourcePin>(this)) {}

StreamSource::~StreamSource() {
    m_pPin.reset();
}

CBasePin* StreamSource::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

HRESULT StreamSource::Push(const Bytes& data, std::size_t chunk) {
    chunk = std::clamp<std::size_t>(chunk, 1, StreamSourcePin::kLargestSample);
    for (std::size_t offset = 0; offset < data.size(); offset += chunk) {
        IMediaSample* raw = nullptr;
        HRESULT hr = m_pPin->GetDeliveryBuffer(&raw, nullptr, nullptr, 0);
        if (Failed(hr)) {
            return hr;
        }
        const auto sample = ComPtr<IMediaSample>::Attach(raw);
        std::uint8_t* buffer = nullptr;
        sample->GetPointer(&buffer);
        const std::size_t piece = std::min(chunk, data.size() - offset);
        std::memcpy(buffer, data.data() + offset, piece);
        sample->SetActualDataLength(static_cast<LONG>(piece));
        hr = m_pPin->Deliver(sample.Get());
        if (hr != S_OK) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT StreamSource::PushEach(const std::vector<Bytes>& samples) {
    for (const Bytes& sample : samples) {
        if (const HRESULT hr = Push(sample, sample.size()); hr != S_OK) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT StreamSource::PushEndOfStream() {
    return m_pPin->DeliverEndOfStream();
}

// --- RecordingSink -----------------------------------------------------------------------------

RecordingSinkPin::RecordingSinkPin(RecordingSink* filter)
    : CBaseInputPin("RecordingSinkPin", filter, filter->Lock(), "In"), m_pSink(filter) {}

HRESULT RecordingSinkPin::CheckMediaType(const CMediaType* pmt) {
    return m_pSink->Accepts(*pmt) ? S_OK : S_FALSE;
}

HRESULT RecordingSinkPin::Receive(IMediaSample* pSample) {
    const HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }
    m_pSink->Record(pSample);
    return S_OK;
}

HRESULT RecordingSinkPin::EndOfStream() {
    m_pSink->CountEndOfStream();
    return S_OK;
}

RecordingSink::RecordingSink(const GUID& majorType, const GUID& subtype)
    : CBaseFilter("RecordingSink", nullptr, GUID_NULL),
      m_majorType(majorType),
      m_subtype(subtype),
      m_pPin(std::make_unique<RecordingSinkPin>(this)) {}

RecordingSink::~RecordingSink() {
    ReleaseHeldSamples();
    m_pPin.reset();
}

CBasePin* RecordingSink::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

bool RecordingSink::Accepts(const AM_MEDIA_TYPE& type) const {
    return (m_majorType == GUID_NULL || type.majortype == m_majorType) &&
           (m_subtype == GUID_NULL || type.subtype == m_subtype);
}

void RecordingSink::HoldSamples(bool hold) {
    std::lock_guard lock(m_mutex);
    m_bHold = hold;
}

void RecordingSink::ReleaseHeldSamples() {
    std::vector<ComPtr<IMediaSample>> held;
    {
        std::lock_guard lock(m_mutex);
        held.swap(m_held);
    }
}

void RecordingSink::Record(IMediaSample* sample) {
    RecordedSample record;
    std::uint8_t* buffer = nullptr;
    sample->GetPointer(&buffer);
    const LONG length = sample->GetActualDataLength();
    record.data.assign(buffer, buffer + length);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (sample->GetTime(&start, &stop) == S_OK) {
        record.start = start;
        record.stop = stop;
    }
    std::lock_guard lock(m_mutex);
    m_samples.push_back(std::move(record));
    if (m_bHold) {
        m_held.emplace_back(sample);
    }
}

void RecordingSink::CountEndOfStream() {
    std::lock_guard lock(m_mutex);
    ++m_nEndOfStreams;
}

std::vector<RecordedSample> RecordingSink::Samples() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::size_t RecordingSink::SampleCount() const {
    std::lock_guard lock(m_mutex);
    return m_samples.size();
}

int RecordingSink::EndOfStreams() const {
    std::lock_guard lock(m_mutex);
    return m_nEndOfStreams;
}

// --- Types and states --------------------------------------------------------------------------

CMediaType Mpeg2VideoType(int width, int height) {
    constexpr std::int64_t kPictureTime = 400000;  // 25 pictures a second, in 100 ns
    MPEG2VIDEOINFO info;
    info.hdr.AvgTimePerFrame = kPictureTime;
    info.hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.hdr.bmiHeader.biWidth = width;
    info.hdr.bmiHeader.biHeight = height;
    info.hdr.dwPictAspectRatioX = 16;
    info.hdr.dwPictAspectRatioY = 9;
    CMediaType type(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    type.formattype = FORMAT_MPEG2Video;
    type.SetFormat(reinterpret_cast<const std::uint8_t*>(&info), sizeof info);
    return type;
}

CMediaType Mpeg1AudioType(int channels, int rate) {
    MPEG1WAVEFORMAT format;
    format.wfx.wFormatTag = WAVE_FORMAT_MPEG;
    format.wfx.nChannels = static_cast<std::uint16_t>(channels);
    format.wfx.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    format.wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
    format.fwHeadLayer = ACM_MPEG_LAYER2;
    format.fwHeadMode = ACM_MPEG_STEREO;
    CMediaType type(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet);
    type.formattype = FORMAT_WaveFormatEx;
    type.SetFormat(reinterpret_cast<const std::uint8_t*>(&format), sizeof format);
    return type;
}

void RunAll(const std::vector<CBaseFilter*>& filters) {
    for (CBaseFilter* filter : filters) {
        filter->Run(0);
    }
}

void StopAll(const std::vector<CBaseFilter*>& filters) {
    for (CBaseFilter* filter : filters) {
        filter->Stop();
    }
}

void DisconnectAll(const std::vector<CBaseFilter*>& filters) {
    for (CBaseFilter* filter : filters) {
        for (int i = 0; CBasePin* pin = filter->GetPin(i); ++i) {
            pin->Disconnect();
        }
    }
}

// --- The ffmpeg-made stream --------------------------------------------------------------------

bool FfmpegTestStream::FfmpegAvailable() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

FfmpegTestStream::FfmpegTestStream() {
    std::string folder =
        (std::filesystem::temp_directory_path() / "vornak-preview-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        m_error = "cannot make a temporary folder";
        return;
    }
    m_folder = folder;
    const std::filesystem::path file = m_folder / "stream.ts";
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y"
        " -f lavfi -i testsrc2=size=1440x1080:rate=25"
        " -f lavfi -i sine=frequency=1000:sample_rate=48000 -t 1"
        " -c:v mpeg2video -b:v 25M -c:a mp2 -b:a 384k -ac 2"
        " -mpegts_pmt_start_pid 0x100 -streamid 0:0x810 -streamid 1:0x814"
        " -f mpegts '" +
        file.string() + "'";
    if (std::system(command.c_str()) != 0) {
        m_error = "ffmpeg failed: " + command;
        return;
    }
    std::ifstream in(file, std::ios::binary);
    m_data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (m_data.empty()) {
        m_error = "ffmpeg wrote nothing";
    }
}

const FfmpegTestStream& FfmpegTestStream::Shared() {
    static const FfmpegTestStream stream;
    return stream;
}

FfmpegTestStream::~FfmpegTestStream() {
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

const std::vector<Bytes>& FfmpegDvFrames(std::string* error) {
    static const auto made = [] {
        std::pair<std::vector<Bytes>, std::string> result;
        std::string folder =
            (std::filesystem::temp_directory_path() / "vornak-preview-dv-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            result.second = "cannot make a temporary folder";
            return result;
        }
        const std::filesystem::path file = std::filesystem::path(folder) / "clip.dv";
        result.second = dv::test::WriteFfmpegDv(file.string(), 1, "4:3", "2007-06-15T10:00:00");
        std::ifstream in(file, std::ios::binary);
        result.first = dv::test::RawFrames(
            Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
        if (result.first.empty() && result.second.empty()) {
            result.second = "ffmpeg wrote no DV frame";
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        return result;
    }();
    if (error != nullptr) {
        *error = made.second;
    }
    return made.first;
}

std::vector<std::int16_t> Channel(const Bytes& pcm, int channels, int channel) {
    std::vector<std::int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return Channel(samples, channels, channel);
}

std::vector<std::int16_t> Channel(const std::vector<std::int16_t>& pcm, int channels, int channel) {
    std::vector<std::int16_t> samples;
    for (auto at = static_cast<std::size_t>(channel); at < pcm.size();
         at += static_cast<std::size_t>(channels)) {
        samples.push_back(pcm[at]);
    }
    return samples;
}

double Frequency(const std::vector<std::int16_t>& samples, int rate) {
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    return crossings / 2.0 * rate / static_cast<double>(samples.size());
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace vornak::test
