#include "CapturePin.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "CaptureEnumMediaTypes.h"
#include "CaptureFilter.h"
#include "ComPtr.h"
#include "DvFrameReader.h"
#include "Guids.h"
#include "PreviewPin.h"
#include "TransportPacket.h"
#include "TsPacket.h"

namespace vornak {
namespace {

constexpr std::uint32_t kRegisterEmpty = 0xFFFFFFFFu;
constexpr std::int32_t kNoPictureYet = -1;
constexpr std::uint32_t kStartCodeMask = 0xFFFFFF00u;
constexpr std::uint32_t kStartCodeBits = START_CODE_PREFIX << 8;

// A video type whose format block says "no picture": refused when offered or connected.
bool HasEmptyPicture(const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != MEDIATYPE_Video || mt.pbFormat == nullptr || mt.cbFormat == 0) {
        return false;
    }
    VIDEOINFOHEADER info;
    if (!ReadVideoInfo(mt, info)) {
        return true;  // too short to hold a picture size at all
    }
    return info.bmiHeader.biWidth == 0 || info.bmiHeader.biHeight == 0;
}

// Whole transport packets in a chunk of the live queue, or its one DV frame.
std::uint32_t PacketsIn(const SampleChunk& chunk) {
    if (chunk.kind == ChunkKind::Dv) {
        return 1;
    }
    return chunk.cbData > 0
               ? static_cast<std::uint32_t>(static_cast<std::size_t>(chunk.cbData) / PKT_SIZE)
               : 0;
}

}  // namespace

CapturePin::CapturePin(CaptureFilter* filter, AM_MEDIA_TYPE* types, int count)
    : CBaseInputPin("CapturePin", filter, nullptr, "~CapturePin"),
      m_pTypes(types),
      m_nTypes(count),
      m_mtConnection(types[0].majortype, GUID_NULL),
      m_pQueueLock(std::make_unique<CCriticalSection>()),
      m_pDataEvent(std::make_unique<ManualResetEvent>("ReceiveSampleCapture")) {}

CapturePin::~CapturePin() {
    {
        CAutoLock lock(*m_pQueueLock);
        m_queue.clear();
    }
    for (int i = 0; i < m_nTypes; ++i) {
        FreeMediaType(m_pTypes[i]);
    }
}

HRESULT CapturePin::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPin) {
        return GetInterface(static_cast<IPin*>(this), ppv);
    }
    if (riid == IID_IMemInputPin) {
        return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    }
    if (riid == IID_ILiveQueueRoom) {
        return GetInterface(static_cast<ILiveQueueRoom*>(this), ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CapturePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    return QueryInterface(riid, ppv);
}

HRESULT CapturePin::Connect(IPin*, const AM_MEDIA_TYPE* pmt) {
    if (IsPinConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (pmt == nullptr) {
        return S_OK;
    }
    if (pmt->majortype != GUID_NULL && pmt->majortype != m_pTypes[0].majortype) {
        return S_FALSE;
    }
    if (pmt->subtype != GUID_NULL) {
        return S_FALSE;
    }
    return HasEmptyPicture(*pmt) ? S_FALSE : S_OK;
}

HRESULT CapturePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (pConnector == nullptr || pmt == nullptr) {
        return E_POINTER;
    }
    if (IsPinConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (QueryAccept(pmt) != S_OK) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_pConnected = ComPtr<IPin>(pConnector);
    return m_mtConnection.Set(*pmt);
}

HRESULT CapturePin::Disconnect() {
    {
        CAutoLock lock(*m_pQueueLock);
        m_pDataEvent->Set();
    }
    if (!IsPinConnected()) {
        return S_FALSE;
    }
    m_pConnected.Reset();
    m_mtConnection.ResetFormatBuffer();
    m_mtConnection.subtype = GUID_NULL;
    return S_OK;
}

HRESULT CapturePin::ConnectedTo(IPin** pPin) {
    if (pPin == nullptr) {
        return E_POINTER;
    }
    *pPin = nullptr;
    if (!IsPinConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return HandOut(m_pConnected.Get(), pPin);
}

HRESULT CapturePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    if (!IsPinConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mtConnection);
}

HRESULT CapturePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (pPinDir == nullptr) {
        return E_POINTER;
    }
    *pPinDir = PINDIR_INPUT;
    return S_OK;
}

HRESULT CapturePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    if (pmt->majortype != m_pTypes[0].majortype || HasEmptyPicture(*pmt)) {
        return S_FALSE;
    }
    if (IsPinConnected()) {
        // A camcorder may change its type while streaming; the copy's result does not decide.
        (void)m_mtConnection.Set(*pmt);
    }
    return S_OK;
}

HRESULT CapturePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    auto* enumerator = new (std::nothrow) CaptureEnumMediaTypes(this, m_mtConnection, 0);
    if (enumerator == nullptr) {
        *ppEnum = nullptr;
        return E_OUTOFMEMORY;
    }
    *ppEnum = enumerator;  // created with its one reference
    return S_OK;
}

HRESULT CapturePin::QueryInternalConnections(IPin**, ULONG*) {
    return E_NOTIMPL;
}

HRESULT CapturePin::EndOfStream() {
    return S_OK;
}

HRESULT CapturePin::BeginFlush() {
    return S_OK;
}

HRESULT CapturePin::EndFlush() {
    {
        CAutoLock lock(*m_pQueueLock);
        // What the queue held never reaches a scene file: it is lost like an overflow.
        for (const auto& entry : m_queue) {
            if (entry) {
                m_nDropped.fetch_add(PacketsIn(*entry), std::memory_order_relaxed);
            }
        }
        m_queue.clear();
        m_nBreaks = 0;
    }
    m_roomChanged.notify_all();
    return S_OK;
}

HRESULT CapturePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    return S_OK;
}

HRESULT CapturePin::GetAllocator(IMemAllocator** ppAllocator) {
    if (ppAllocator != nullptr) {
        *ppAllocator = nullptr;
    }
    return VFW_E_NO_ALLOCATOR;
}

HRESULT CapturePin::NotifyAllocator(IMemAllocator*, std::int32_t) {
    return S_OK;
}

HRESULT CapturePin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    return E_NOTIMPL;
}

HRESULT CapturePin::ReceiveCanBlock() {
    return S_FALSE;
}

HRESULT CapturePin::WaitForRoom(std::chrono::milliseconds timeout) {
    std::unique_lock<CCriticalSection> lock(*m_pQueueLock);
    const bool room = m_roomChanged.wait_for(lock, timeout, [this] {
        return m_bCapturing.load(std::memory_order_acquire) == 0 || m_pFile ||
               m_bStopRequested.load(std::memory_order_acquire) != 0 ||
               m_queue.size() < kLiveQueueLimit;
    });
    return room ? S_OK : S_FALSE;
}

HRESULT CapturePin::CheckMediaType(const CMediaType* pmt) {
    return pmt != nullptr && pmt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT CapturePin::GetMediaType(int position, CMediaType* pmt) {
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    *pmt = CMediaType(MEDIATYPE_Stream, GUID_NULL);
    return S_OK;
}

HRESULT CapturePin::Receive(IMediaSample* pSample) {
    if (pSample == nullptr) {
        return S_OK;
    }
    std::unique_ptr<SampleChunk> chunk;
    {
        const ComPtr<IMediaSample> sample(pSample);
        std::uint8_t* data = nullptr;
        if (Failed(sample->GetPointer(&data)) || data == nullptr) {
            return S_OK;
        }
        const bool capturing = m_bCapturing.load(std::memory_order_acquire) != 0;
        const bool preview = m_bPreview.load(std::memory_order_acquire) != 0;
        if (!capturing && !preview) {
            return S_OK;
        }
        // Never trust the length beyond the buffer it describes.
        const LONG actual = std::clamp(sample->GetActualDataLength(), 0, sample->GetSize());
        chunk = Repack(data, static_cast<std::size_t>(actual));
        // A stretch of DV between two of HDV is like a pause: the HDV after it goes on with
        // whatever counters the tape holds there.
        const bool kindChanged = chunk->kind != m_lastKind;
        m_lastKind = chunk->kind;
        if (kindChanged && m_onKindChange) {
            m_onKindChange(chunk->kind);
        }
        // What arrives after a stop is not the run's: a gap in it is no loss. DV brings its
        // losses counted: the camcorder's side counts the frames it could not make whole.
        if (capturing && m_bStopRequested.load(std::memory_order_acquire) == 0 &&
            chunk->kind == ChunkKind::TransportStream) {
            // Packets the camcorder's side threw away itself are counted there, and the gap
            // they leave is not counted again here.
            // A stream that paused (a DV stretch of the tape, the tape stopped) goes on with
            // whatever counters the tape holds there: that is no loss either.
            const auto now = std::chrono::steady_clock::now();
            if (m_bResetContinuity.exchange(false, std::memory_order_acq_rel)) {
                m_continuity.Reset();  // a new run: the last run's waiting jumps are not its own
            } else if (sample->IsDiscontinuity() == S_OK || kindChanged ||
                       now - m_lastSampleTime > kStreamPause) {
                // Jumps that waited for a clock reference the pause cut off are settled by their
                // counters before the check starts anew, so a loss just before a pause is said.
                m_nLostPackets.fetch_add(m_continuity.Flush(), std::memory_order_relaxed);
                m_continuity.Reset();
            }
            m_lastSampleTime = now;
            if (const std::uint32_t missing = m_continuity.Check(
                    chunk->pData.get(), static_cast<std::size_t>(chunk->cbData))) {
                m_nLostPackets.fetch_add(missing, std::memory_order_relaxed);
            }
        }
    }

    PreviewPin* previewPin = m_pPreviewPin.load(std::memory_order_acquire);
    const bool toPreview = previewPin != nullptr && m_bPreview.load(std::memory_order_acquire) != 0;
    if (m_bFileOpen.load(std::memory_order_acquire) != 0) {
        WriteChunk(*chunk);
    } else if (m_bCapturing.load(std::memory_order_acquire) != 0) {
        if (toPreview) {
            auto copy = std::make_unique<SampleChunk>();
            const auto size = static_cast<std::size_t>(chunk->cbData);
            copy->pData = std::make_unique_for_overwrite<std::uint8_t[]>(size);
            copy->cbData = chunk->cbData;
            copy->kind = chunk->kind;
            if (size > 0) {
                std::memcpy(copy->pData.get(), chunk->pData.get(), size);
            }
            QueueLive(std::move(copy));
        } else {
            // Nobody else wants this chunk: the live queue may have it without a copy.
            QueueLive(std::move(chunk));
        }
    }
    if (toPreview && chunk) {
        previewPin->QueueChunk(std::move(chunk));
    }
    return S_OK;
}

std::unique_ptr<SampleChunk> CapturePin::Repack(const std::uint8_t* data,
                                                std::size_t length) const {
    if (dv::IsWholeDvFrame({data, length})) {
        auto frame = std::make_unique<SampleChunk>();
        frame->kind = ChunkKind::Dv;
        frame->cbData = static_cast<std::int32_t>(length);
        frame->pData = std::make_unique_for_overwrite<std::uint8_t[]>(length);
        std::memcpy(frame->pData.get(), data, length);
        return frame;
    }
    const std::size_t packets = length / kSourcePacketSize;  // a trailing partial one is lost
    auto chunk = std::make_unique<SampleChunk>();
    chunk->cbData = static_cast<std::int32_t>(packets * PKT_SIZE);
    chunk->pData = std::make_unique_for_overwrite<std::uint8_t[]>(packets * PKT_SIZE);
    for (std::size_t i = 0; i < packets; ++i) {
        std::memcpy(chunk->pData.get() + i * PKT_SIZE,
                    data + i * kSourcePacketSize + kSourceHeaderSize, PKT_SIZE);
    }
    return chunk;
}

void CapturePin::QueueLive(std::unique_ptr<SampleChunk> chunk) {
    CAutoLock lock(*m_pQueueLock);
    // The run ends where the user (or the end of the tape) stopped it: a camcorder that goes on
    // sending would otherwise keep the reader busy for ever.
    if (m_bStopRequested.load(std::memory_order_relaxed) != 0) {
        return;
    }
    // Each reader takes one kind: where the tape changes between HDV and DV, its stretch ends;
    // and where HDV comes back after a stretch of DV that sent nothing.
    const auto now = std::chrono::steady_clock::now();
    const bool afterSilentDv = chunk->kind == ChunkKind::TransportStream &&
                               m_bDvSignalSinceQueued && now - m_lastQueuedAt >= kStreamPause;
    if (m_bQueuedAny && (chunk->kind != m_lastQueuedKind || afterSilentDv) &&
        !(!m_queue.empty() && m_queue.front() == nullptr)) {
        m_queue.push_front(nullptr);
        ++m_nBreaks;
    }
    m_bQueuedAny = true;
    m_lastQueuedKind = chunk->kind;
    m_lastQueuedAt = now;
    m_bDvSignalSinceQueued = false;
    m_queue.push_front(std::move(chunk));
    if (m_queue.size() > kLiveQueueLimit) {
        // The oldest chunk goes, never a break: scenes on either side of one stay apart. Its
        // packets are what the scene files will miss.
        const auto oldest = std::find_if(m_queue.rbegin(), m_queue.rend(),
                                         [](const auto& entry) { return entry != nullptr; });
        m_nDropped.fetch_add(PacketsIn(**oldest), std::memory_order_relaxed);
        m_queue.erase(std::next(oldest).base());
    }
    m_pDataEvent->Set();
}

void CapturePin::BreakLiveRun() {
    CAutoLock lock(*m_pQueueLock);
    if (m_bCapturing.load(std::memory_order_relaxed) == 0 || m_pFile ||
        m_bStopRequested.load(std::memory_order_relaxed) != 0 ||
        (!m_queue.empty() && m_queue.front() == nullptr)) {
        return;
    }
    m_queue.push_front(nullptr);
    ++m_nBreaks;
    m_pDataEvent->Set();
}

void CapturePin::NoteDvSignal() {
    CAutoLock lock(*m_pQueueLock);
    m_bDvSignalSinceQueued = true;
}

void CapturePin::HoldLiveRun(bool hold) {
    if (!hold && m_bHold.load(std::memory_order_acquire)) {
        m_holdReleasedAt.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                               std::memory_order_release);
    }
    m_bHold.store(hold, std::memory_order_release);
}

void CapturePin::WriteChunk(const SampleChunk& chunk) {
    if (chunk.kind == ChunkKind::Dv) {
        WriteDvFrame(chunk);
        return;
    }
    CountBadPictures(chunk.pData.get(), chunk.cbData);
    CAutoLock lock(*m_pQueueLock);
    if (m_pFile && chunk.cbData > 0 &&
        !m_pFile->Write(chunk.pData.get(), static_cast<std::size_t>(chunk.cbData))) {
        NoteWriteError();
    }
}

void CapturePin::WriteDvFrame(const SampleChunk& chunk) {
    CAutoLock lock(*m_pQueueLock);
    if (!m_pFile) {
        return;  // the run has ended
    }
    if (!m_pDvFile && !m_bDvFileTried) {
        // Made once: a file that could not be made is not tried again for every frame.
        m_bDvFileTried = true;
        if (m_makeDvFile) {
            m_pDvFile = m_makeDvFile();
        }
        if (!m_pDvFile) {
            NoteWriteError(true);
        }
    }
    if (m_pDvFile && !m_pDvFile->Write(chunk.pData.get(), static_cast<std::size_t>(chunk.cbData))) {
        NoteWriteError(true);
    }
}

void CapturePin::NoteWriteError(bool dvFile) {
    m_nWriteErrors.fetch_add(1, std::memory_order_relaxed);
    if (dvFile) {
        m_bDvWriteFailed.store(true, std::memory_order_relaxed);
    }
    m_bWriteFailed.store(1, std::memory_order_relaxed);
}

void CapturePin::CountBadPictures(const std::uint8_t* data, std::int32_t length) {
    if (m_bResetPictureCheck.exchange(false, std::memory_order_acq_rel)) {
        m_dwStartCode = kRegisterEmpty;
        m_nSliceCount = kNoPictureYet;
    }
    if (length <= 0) {
        return;
    }
    const std::span<const std::uint8_t> bytes(data, static_cast<std::size_t>(length));
    for (std::size_t start = 0; start < bytes.size(); start += PKT_SIZE) {
        // A short last packet ends at the buffer.
        const std::optional<TransportPacket> fields = TransportPacket::At(bytes, start);
        if (!fields || fields->pid() != PID_VIDEO) {
            continue;
        }
        const std::optional<std::size_t> afterAdaptation = fields->payload_offset();
        if (!afterAdaptation) {
            continue;
        }
        const std::uint8_t* const packet = fields->bytes().data();
        const std::size_t size = fields->bytes().size();
        std::size_t payload = *afterAdaptation;
        if (fields->payload_unit_start_indicator()) {
            if (payload + PES_HEADER_LENGTH_OFFSET >= size) {
                continue;
            }
            payload += PES_FIXED_HEADER_SIZE + packet[payload + PES_HEADER_LENGTH_OFFSET];
        }
        bool bad = false;
        std::uint32_t code = m_dwStartCode;
        std::int32_t slices = m_nSliceCount;
        for (std::size_t i = payload; i < size; ++i) {
            code = (code << 8) | packet[i];
            if (code == PICTURE_START_CODE) {
                if (slices != kNoPictureYet && slices != SLICES_PER_PICTURE) {
                    bad = true;
                }
                slices = 0;
            } else if (slices != kNoPictureYet && (code & kStartCodeMask) == kStartCodeBits) {
                const std::uint8_t low = static_cast<std::uint8_t>(code);
                if (low >= SLICE_START_MIN && low <= SLICE_START_MAX) {
                    ++slices;
                }
            }
        }
        m_dwStartCode = code;
        m_nSliceCount = slices;
        if (bad) {
            m_nDropped.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void CapturePin::StartCapture(CaptureFile file, DvFileMaker makeDvFile) {
    m_nDropped.store(0, std::memory_order_relaxed);
    m_nLostPackets.store(0, std::memory_order_relaxed);
    m_bResetContinuity.store(true, std::memory_order_release);
    m_nWriteErrors.store(0, std::memory_order_relaxed);
    m_bWriteFailed.store(0, std::memory_order_relaxed);
    m_bDvWriteFailed.store(false, std::memory_order_relaxed);
    m_bResetPictureCheck.store(true, std::memory_order_release);
    CAutoLock lock(*m_pQueueLock);
    m_pDataEvent->Reset();
    m_queue.clear();
    m_nBreaks = 0;
    m_bBreakReached.store(false, std::memory_order_release);
    m_bHold.store(false, std::memory_order_release);
    CloseFile();  // a run left open is not to be lost silently either
    m_pFile = std::move(file);
    m_makeDvFile = m_pFile ? std::move(makeDvFile) : DvFileMaker();
    m_bDvFileTried = false;
    m_bQueuedAny = false;
    m_bFileOpen.store(m_pFile ? 1 : 0, std::memory_order_release);
    m_bStopRequested.store(0, std::memory_order_release);
    m_bCapturing.store(1, std::memory_order_release);
    m_roomChanged.notify_all();
}

void CapturePin::StopCapture() {
    CAutoLock lock(*m_pQueueLock);
    m_bStopRequested.store(1, std::memory_order_release);
    if (m_pFile) {
        m_bCapturing.store(0, std::memory_order_release);
        CloseFile();
    }
    m_pDataEvent->Set();
    m_roomChanged.notify_all();
}

void CapturePin::EndLiveRun() {
    {
        CAutoLock lock(*m_pQueueLock);
        m_bCapturing.store(0, std::memory_order_release);
    }
    m_roomChanged.notify_all();
}

void CapturePin::CloseFile() {
    if (m_pDvFile && !std::exchange(m_pDvFile, nullptr)->Close()) {
        NoteWriteError(true);
    }
    if (!m_pFile) {
        return;
    }
    m_bFileOpen.store(0, std::memory_order_release);
    // Closing writes what is still held and flushes the file to the disk: a full disk or a
    // failing one shows up here.
    const CaptureFile file = std::move(m_pFile);
    if (!file->Close()) {
        NoteWriteError();
    }
}

std::unique_ptr<ChunkQueue> CapturePin::TakeChunks() {
    std::unique_lock<CCriticalSection> lock(*m_pQueueLock);
    // Once stopped, the reader takes what is queued without waiting for more: waking it once
    // is not enough, as a batch taken after the stop would use the wake up. Chunks left behind
    // a break are there already, whatever the event says.
    if (m_bCapturing.load(std::memory_order_acquire) != 0 &&
        m_bStopRequested.load(std::memory_order_acquire) == 0) {
        if (m_queue.empty()) {
            lock.unlock();
            WaitForLiveData();
            lock.lock();
        }
        m_pDataEvent->Reset();  // everything queued so far is taken now
    }
    // Whatever is taken (or ends the run) leaves room for a source that waits.
    m_roomChanged.notify_all();
    if (m_nBreaks > 0) {
        return TakeBeforeBreak();
    }
    if (m_queue.empty()) {
        m_bCapturing.store(0, std::memory_order_release);
        return nullptr;
    }
    // The batch keeps the queue's order: oldest chunk at the back.
    auto batch = std::make_unique<ChunkQueue>();
    batch->swap(m_queue);
    return batch;
}

void CapturePin::WaitForLiveData() {
    using Clock = std::chrono::steady_clock;
    auto timeout = m_takeTimeout;
    while (!m_pDataEvent->WaitFor(timeout)) {
        if (m_bHold.load(std::memory_order_acquire)) {
            timeout = m_takeTimeout;
            continue;
        }
        const auto sinceRelease =
            Clock::now() -
            Clock::time_point(Clock::duration(m_holdReleasedAt.load(std::memory_order_acquire)));
        if (sinceRelease >= m_takeTimeout) {
            return;  // a time-out is no error
        }
        timeout = std::chrono::ceil<std::chrono::milliseconds>(m_takeTimeout - sinceRelease);
    }
}

std::unique_ptr<ChunkQueue> CapturePin::TakeBeforeBreak() {
    if (m_queue.back() == nullptr) {
        m_queue.pop_back();
        --m_nBreaks;
        m_bBreakReached.store(true, std::memory_order_release);
        return nullptr;
    }
    auto batch = std::make_unique<ChunkQueue>();
    while (m_queue.back() != nullptr) {
        batch->push_front(std::move(m_queue.back()));
        m_queue.pop_back();
    }
    return batch;
}

}  // namespace vornak
