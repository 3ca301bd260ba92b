// The capture filter's input pin: takes the camcorder's samples of 192-byte source packets,
// strips them to 188-byte transport packets and, for the capture run in progress, writes them
// to the capture file (file run) or queues them for the live splitter (live run); every chunk
// also goes to the preview pin while preview is on.
//
// A tape may hold DV as well: the camcorder then sends samples of one whole DV frame each,
// which go on as they are. A file run writes them into a file of their own, made when the first
// frame comes; a live run ends the stretch it queues wherever the kind changes, so that each
// reader takes one kind only.
//
// The pin keeps its connection to itself (m_pConnected) rather than in the base pin, so the
// filter's state changes never activate it and it takes samples in any state. It never offers
// an allocator: the upstream pin brings its own.
//
// A live run's queue is bounded: a camcorder's stream cannot wait, so a chunk that finds the
// queue full pushes out the oldest, and its packets are counted as lost. A source that can wait
// (a file played as fast as it is taken) asks for room first (ILiveQueueRoom) and loses nothing.
//
// Threads: Receive and WaitForRoom on the upstream streaming thread; StartCapture and
// StopCapture on the capture page's threads; TakeChunks on the capture worker. The queue lock
// guards the live queue and the capture file; the run flags are read without it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "CBaseInputPin.h"
#include "CaptureFileWriter.h"
#include "ContinuityCheck.h"
#include "ILiveQueueRoom.h"
#include "LiveSource.h"
#include "ManualResetEvent.h"
#include "SampleChunk.h"

namespace vornak {

class CaptureFilter;
class PreviewPin;

class CapturePin : public CBaseInputPin, public LiveSource, public ILiveQueueRoom {
  public:
    static constexpr std::size_t kSourcePacketSize = 192;  // as the camcorder sends them
    static constexpr std::size_t kSourceHeaderSize = 4;    // arrival time stamp, dropped here
    static constexpr std::size_t kLiveQueueLimit = 256;    // chunks, after each insertion
    static constexpr std::chrono::milliseconds kTakeChunksTimeout{5000};
    // A silence this long between samples starts the continuity check anew.
    static constexpr std::chrono::milliseconds kStreamPause{1000};

    // `types[0]` must exist: its major type is the one the pin accepts. The enumerator offers
    // the first `count` entries (0 is allowed); the pin frees their format blocks when it goes.
    CapturePin(CaptureFilter* filter, AM_MEDIA_TYPE* types, int count);
    ~CapturePin() override;

    // IUnknown and IPin give the IPin pointer, IMemInputPin and ILiveQueueRoom their own;
    // nothing else.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return CBaseInputPin::AddRef(); }
    ULONG Release() override { return CBaseInputPin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Never connects from this side; only checks the type it is given.
    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    // Wakes a waiting TakeChunks first, in every case.
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pPin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
    // While connected an accepted type becomes the connection's type, in any filter state.
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    // The end of the stream is not passed on: the live reader notices the silence instead.
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    // Discards the live queue.
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    HRESULT GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT NotifyAllocator(IMemAllocator* pAllocator, std::int32_t bReadOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    // Always S_OK: the camcorder's stream never stops because of this pin.
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT ReceiveCanBlock() override;
    // Room in the live queue for one more chunk; see ILiveQueueRoom.
    HRESULT WaitForRoom(std::chrono::milliseconds timeout) override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int position, CMediaType* pmt) override;

    // Makes a file run's DV file when the first DV frame comes; null when it cannot (it says
    // why itself). Called on the streaming thread.
    using DvFileMaker = std::function<CaptureFile()>;

    // Begins a run: a file run into `file` (and the file `makeDvFile` makes, for DV), or a live
    // run when `file` is null.
    void StartCapture(CaptureFile file, DvFileMaker makeDvFile = {});
    // Closes the file of a file run (ending the run), flushed to the disk; in a live run, queues
    // nothing more and wakes the reader, which takes what is queued and then gets the end of the
    // stream.
    void StopCapture();
    // Waits for data, then hands over every queued chunk, oldest at the back; null at the end
    // of the stream (the queue found empty after a stop, a time-out or outside a run) and at a
    // break, with the chunks queued after it left for the next reader.
    std::unique_ptr<ChunkQueue> TakeChunks() override;
    // Ends the live stream for its present reader after the chunks queued so far, while the
    // live run goes on queueing for the next one. Nothing in a file run, after a stop, or right
    // after another break.
    void BreakLiveRun();
    // The camcorder says it plays DV. Where transport packets come again after a pause in which
    // it said so, the live run breaks: a stretch of DV that sent nothing ends the scene before
    // it. (Where DV frames come, the change of kind breaks the run already; and packets still on
    // their way when the signal changed belong to the scene before.) Any thread.
    void NoteDvSignal();
    // Whether the stream ended at a break since the last call: its reader's part is over, and
    // the live run goes on for the next one.
    bool TakeLiveBreak() { return m_bBreakReached.exchange(false, std::memory_order_acq_rel); }
    // While held, silence does not end the live stream (the camcorder plays what cannot be
    // received); once released, the time-out counts from the release.
    void HoldLiveRun(bool hold);
    // The capture worker's word that the live run is over.
    void EndLiveRun();
    bool IsCapturing() const { return m_bCapturing.load(std::memory_order_acquire) != 0; }

    // Since StartCapture: damaged pictures (file run), or transport packets that the live queue
    // had to discard, as it overflowed or was flushed (live run).
    std::uint32_t Dropped() const { return m_nDropped.load(std::memory_order_relaxed); }
    // Transport packets of the video and audio streams missing from what arrived since
    // StartCapture, by their continuity counters (see ContinuityCheck); what arrives after a
    // stop is not the run's and is not checked.
    std::uint32_t LostPackets() const { return m_nLostPackets.load(std::memory_order_relaxed); }
    // A write of the capture file failed or came out short (or the file could not be flushed
    // to the disk as it closed) since StartCapture: the file is missing data.
    bool WriteFailed() const { return m_bWriteFailed.load(std::memory_order_relaxed) != 0; }
    // The failure was the DV file's (it could not be made, written or flushed).
    bool DvWriteFailed() const { return m_bDvWriteFailed.load(std::memory_order_relaxed); }
    std::uint32_t WriteErrors() const { return m_nWriteErrors.load(std::memory_order_relaxed); }

    // How long TakeChunks waits for data in a live run; tests shorten it.
    void SetTakeChunksTimeout(std::chrono::milliseconds timeout) { m_takeTimeout = timeout; }

    // Told on the streaming thread whenever the samples change between transport packets and
    // DV frames (the first DV frame is a change). Set before the pin is connected.
    using KindChangeHandler = std::function<void(ChunkKind)>;
    void SetKindChangeHandler(KindChangeHandler handler) { m_onKindChange = std::move(handler); }

    // Set by the preview pin as it is switched on and off; read here without a lock.
    void SetPreviewPin(PreviewPin* pin) { m_pPreviewPin.store(pin, std::memory_order_release); }
    void SetPreview(bool on) { m_bPreview.store(on ? 1 : 0, std::memory_order_release); }

    // For the media type enumerator.
    const AM_MEDIA_TYPE* Types() const { return m_pTypes; }
    int TypeCount() const { return m_nTypes; }
    const CMediaType& ConnectionType() const { return m_mtConnection; }

  private:
    std::unique_ptr<SampleChunk> Repack(const std::uint8_t* data, std::size_t length) const;
    void QueueLive(std::unique_ptr<SampleChunk> chunk);
    // Waits until data, a stop or a break may be there, or the silence has lasted the time-out.
    void WaitForLiveData();
    // Moves the chunks before the oldest break into a batch; null, taking the break, when none
    // are. Under the queue lock.
    std::unique_ptr<ChunkQueue> TakeBeforeBreak();
    void WriteChunk(const SampleChunk& chunk);
    void WriteDvFrame(const SampleChunk& chunk);
    void CountBadPictures(const std::uint8_t* data, std::int32_t length);
    void CloseFile();
    void NoteWriteError(bool dvFile = false);
    bool IsPinConnected() const { return static_cast<bool>(m_pConnected); }

    // Connection.
    ComPtr<IPin> m_pConnected;
    AM_MEDIA_TYPE* m_pTypes;
    int m_nTypes;
    CMediaType m_mtConnection;

    // Data path.
    std::atomic<PreviewPin*> m_pPreviewPin{nullptr};
    ChunkQueue m_queue;         // a null entry is a break
    std::size_t m_nBreaks = 0;  // breaks in m_queue
    std::atomic<bool> m_bBreakReached{false};
    std::atomic<bool> m_bHold{false};
    std::atomic<std::chrono::steady_clock::rep> m_holdReleasedAt{0};
    std::atomic<std::uint32_t> m_nDropped{0};
    CaptureFile m_pFile;
    // A file run's DV file and its maker; guarded by the queue lock.
    DvFileMaker m_makeDvFile;
    CaptureFile m_pDvFile;
    bool m_bDvFileTried = false;
    std::atomic<bool> m_bDvWriteFailed{false};
    // The kind of the chunk a live run queued last, and whether it queued any; under the lock.
    ChunkKind m_lastQueuedKind = ChunkKind::TransportStream;
    bool m_bQueuedAny = false;
    std::chrono::steady_clock::time_point m_lastQueuedAt;
    bool m_bDvSignalSinceQueued = false;
    // The kind of the last chunk that came in; the streaming thread's.
    ChunkKind m_lastKind = ChunkKind::TransportStream;
    KindChangeHandler m_onKindChange;
    std::atomic<std::uint8_t> m_bFileOpen{0};  // m_pFile is set; the lock-free first test
    std::atomic<std::uint8_t> m_bCapturing{0};
    std::atomic<std::uint8_t> m_bStopRequested{0};  // StopCapture since the last StartCapture
    std::atomic<std::uint8_t> m_bPreview{0};
    std::unique_ptr<CCriticalSection> m_pQueueLock;
    std::unique_ptr<ManualResetEvent> m_pDataEvent;
    // Told whenever the live queue may have room again, or stops queueing.
    std::condition_variable_any m_roomChanged;
    std::uint32_t m_dwStartCode = 0xFFFFFFFFu;
    std::int32_t m_nSliceCount = -1;
    // StartCapture asks, the streaming thread resets the picture check before its next chunk,
    // so that the check's registers belong to the streaming thread alone.
    std::atomic<bool> m_bResetPictureCheck{false};
    // The same for the continuity check, which belongs to the streaming thread too.
    ContinuityCheck m_continuity;
    std::atomic<bool> m_bResetContinuity{false};
    std::atomic<std::uint32_t> m_nLostPackets{0};
    std::chrono::steady_clock::time_point m_lastSampleTime;  // the streaming thread's
    std::atomic<std::uint8_t> m_bWriteFailed{0};
    std::atomic<std::uint32_t> m_nWriteErrors{0};
    std::chrono::milliseconds m_takeTimeout = kTakeChunksTimeout;
};

}  // namespace vornak
