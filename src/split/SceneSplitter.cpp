#include "SceneSplitter.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "TransportPacket.h"
#include "TsPacket.h"

namespace vornak {

namespace {
// The picture-group scan needs six packets of lookahead; anything smaller could never cut.
constexpr std::size_t kMinReadBufSize = 16 * PKT_SIZE;
// Packets in a row, each beginning with the sync byte, that prove an input to be a transport
// stream. Random bytes, which hold a sync byte every 256 bytes, come up with so many in a row
// about once in a million million bytes.
constexpr std::size_t kStreamProofPackets = 5;
}  // namespace

SceneSplitter::SceneSplitter(std::string inputPath, SceneSplitterSettings settings)
    : m_inputPath(std::move(inputPath)),
      m_pStopFlag(settings.stopFlag),
      m_bSyncAV(settings.syncAV),
      m_bHealthCheck(settings.healthCheck),
      m_makeDecodeCheck(std::move(settings.decodeCheck)),
      m_output({std::move(settings.baseName), std::move(settings.extension),
                std::move(settings.dateFormat), settings.dateTimeNaming, settings.firstCounter}),
      m_bListOnly(settings.listOnly) {
    m_output.SetFile(&m_outFile);
    if (m_pStopFlag == nullptr) {
        m_ownStopFlag = std::make_unique<StopFlag>(0);
        m_pStopFlag = m_ownStopFlag.get();
    }
}

SceneSplitter::SceneSplitter(LiveSource* liveSource, SceneSplitterSettings settings)
    : SceneSplitter(std::string(), settings) {
    m_pLiveSource = liveSource;
    m_bMidScenesOk = settings.midScenesOk;
}

SceneSplitter::~SceneSplitter() = default;

void SceneSplitter::SetReadBufferSize(std::size_t bytes) {
    m_nReadBufSize = std::max(bytes, kMinReadBufSize);
}

void SceneSplitter::SetDiskSync(DiskSync* sync) {
    m_pDiskSync = sync != nullptr ? sync : &DiskSync::System();
    m_outFile.SetDiskSync(m_pDiskSync);
    m_output.SetDiskSync(m_pDiskSync);
}

void SceneSplitter::SetAudioBufferSize(std::size_t bytes) {
    m_nAudioBufSize = std::max(bytes, PKT_SIZE);
}

void SceneSplitter::Log(const std::string& line) const {
    Log(LogSeverity::Info, line);
}

void SceneSplitter::Log(LogSeverity severity, const std::string& line) const {
    if (m_pLog != nullptr) {
        m_pLog->AddLog(severity, line);
    }
}

void SceneSplitter::Fail(SplitResult failure) {
    if (m_failure == SplitResult::Completed) {
        m_failure = failure;
    }
}

void SceneSplitter::ResetRunState() {
    m_pPrevDate.reset();
    m_pCurDate.reset();
    m_firstDate.reset();
    m_inFile.Close();
    m_outFile.Abandon();
    m_output.BeginRun();
    m_pReadBuf.reset();
    m_pReadEnd = m_pCur = nullptr;
    m_pPendBegin = m_pPendEnd = nullptr;
    m_pVideoLastStart = m_pVideoLastEnd = nullptr;
    m_pLiveBatch.reset();
    m_nLiveChunkOffset = 0;
    m_packet = PacketInfo{};
    m_pPacket = &m_packet;
    m_pGopStart = nullptr;
    m_bDone = m_bEof = false;
    m_bStreamFound = m_inputPath.empty();  // a capture source delivers packets only
    m_nInputBytes = 0;
    m_nGopState = 0;
    m_bGroupFound = false;
    m_nVideoBeforeGroup = 0;
    m_bFragmentOpen = false;
    m_bSkipNextOpenCheck = m_bScenePending = m_bDateJump = false;
    m_nDatePackets = 0;
    m_bCutPtsReady = m_bAudioCutFound = m_bDateSeen = false;
    m_pVideoBuf.reset();
    m_pAudioBuf.reset();
    m_pVideoFill = m_pAudioFill = m_pVideoCut = m_pAudioCut = nullptr;
    m_pVideoWritten = m_pAudioWritten = m_pAudioLastStart = m_pAudioLastEnd = nullptr;
    m_bAbort = false;
    m_failure = SplitResult::Completed;
    m_result = SplitResult::Completed;
    m_bListSceneOpen = false;
    m_tally.Reset();
    m_tally.SetHealthChecked(m_bHealthCheck);
    m_pHealth =
        m_bHealthCheck ? std::make_unique<TsHealthScanner>(m_tally, m_makeDecodeCheck) : nullptr;
    m_nScenes = 0;
    m_nBufBase = m_nVideoBase = m_nPacketPos = 0;
    m_nPictureStartPos = m_nBrokenPos = m_nDeferredDropPos = m_nDeferredAt = 0;
}

void SceneSplitter::Run() {
    ResetRunState();
    if (!m_inputPath.empty()) {
        switch (m_inFile.Open(m_inputPath)) {
            case InputFile::OpenResult::Opened:
                break;
            case InputFile::OpenResult::CannotOpen:
                Log(LogSeverity::Warning, "\r\nWARNING: Can't open file: " + m_inputPath);
                m_result = SplitResult::InputFailed;
                return;
            case InputFile::OpenResult::NotRegular:
                // A FIFO, a device or a folder: no tape, and reading one may never end.
                Log(LogSeverity::Error, "\r\nERROR: This is not a regular file: " + m_inputPath);
                m_result = SplitResult::InputFailed;
                return;
        }
        Log("\r\nProcessing file: " + m_inputPath);
    } else if (m_pLiveSource == nullptr) {
        return;
    }

    m_pReadBuf = std::make_unique_for_overwrite<std::uint8_t[]>(m_nReadBufSize);
    if (m_bSyncAV) {
        m_pVideoBuf = std::make_unique_for_overwrite<std::uint8_t[]>(m_nReadBufSize);
        m_pAudioBuf = std::make_unique_for_overwrite<std::uint8_t[]>(m_nAudioBufSize);
        SyncLoop();
    } else {
        PlainLoop();
    }

    // After a stop, whatever was committed but not yet written is given up; at the end of input
    // the final refill has already written everything.
    m_pPrevDate.reset();
    m_pCurDate.reset();
    m_inFile.Close();
    if (m_pStopFlag->load(std::memory_order_relaxed) != 0) {
        RemoveEmptyStoppedFile();
    }
    CloseOutFile();
    SyncOutputFolder();
    m_pReadBuf.reset();
    m_pVideoBuf.reset();
    m_pAudioBuf.reset();
    m_pLiveBatch.reset();
    m_pReadEnd = m_pCur = m_pPendBegin = m_pPendEnd = nullptr;
    m_pVideoLastStart = m_pVideoLastEnd = m_pGopStart = nullptr;

    const bool stopped = m_pStopFlag->load(std::memory_order_relaxed) != 0;
    if (!m_bStreamFound && !stopped && m_failure == SplitResult::Completed) {
        // The input was no DV either, or it would have gone to the DV job.
        Log(LogSeverity::Error,
            "ERROR: This is neither an MPEG-2 transport stream nor DV: " + m_inputPath);
        Fail(SplitResult::NoStream);
    }
    if (m_failure != SplitResult::Completed) {
        m_result = m_failure;
    } else if (stopped) {
        m_result = SplitResult::Stopped;
    } else {
        m_result = SplitResult::Completed;
    }
}

// ---------------------------------------------------------------------------------------------
// Reader

std::uint8_t* SceneSplitter::Moved(std::uint8_t* pos, const std::uint8_t* from) const {
    if (pos == nullptr) {
        return nullptr;
    }
    // Positions before the moved block no longer exist; they collapse onto the buffer start.
    return pos >= from ? BufStart() + (pos - from) : BufStart();
}

void SceneSplitter::MovePacketInfo(const std::uint8_t* from, const std::uint8_t* to) {
    // The parsed packet moves with the data, so that nothing reads stale bytes afterwards.
    if (m_packet.packet == nullptr) {
        return;
    }
    if (m_packet.packet < from) {
        m_packet = PacketInfo{};
        return;
    }
    const std::ptrdiff_t delta = to - from;
    m_packet.packet += delta;
    if (m_packet.payload != nullptr) {
        m_packet.payload += delta;
    }
}

std::uint8_t* SceneSplitter::Resync(std::uint8_t* pos) const {
    if (pos >= m_pReadEnd) {
        return pos;
    }
    if (*pos == SYNC_BYTE) {
        return pos;
    }
    void* hit = std::memchr(pos, SYNC_BYTE, static_cast<std::size_t>(m_pReadEnd - pos));
    return hit != nullptr ? static_cast<std::uint8_t*>(hit) : m_pReadEnd;
}

bool SceneSplitter::SyncToWholePacket() {
    if (m_bDone) {
        return false;
    }
    m_pCur = Resync(m_pCur);
    return WholePacketAt(m_pCur);
}

bool SceneSplitter::WholePacketAt(const std::uint8_t* pos) const {
    return pos != nullptr && pos <= m_pReadEnd &&
           static_cast<std::size_t>(m_pReadEnd - pos) >= PKT_SIZE;
}

void SceneSplitter::Refill(bool final) {
    if (m_bSyncAV) {
        RefillSync(final);
        return;
    }
    std::uint8_t* const start = BufStart();

    if (HoldsForFirstDate() || HoldsForFirstGroup()) {
        // Nothing goes out and nothing moves: the buffer keeps all it holds.
        m_pPendEnd = m_pPendBegin;
    } else {
        // Commit only what lies before a picture group that may still start a new scene.
        if (m_nGopState != 0) {
            m_pPendEnd = m_pGopStart;
            m_pGopStart = start;
        }
        // A full buffer with nothing committed would stall the job (a picture group whose
        // decision is still open fills it): give up holding that group back.
        const bool full = m_pReadEnd != nullptr &&
                          static_cast<std::size_t>(m_pReadEnd - start) + PKT_SIZE > m_nReadBufSize;
        if (final && m_pPendEnd == start && m_pCur != nullptr && full) {
            m_pPendEnd = LastPossibleCut();
        }
        WritePending();
    }

    std::uint8_t* const oldPendEnd = m_pPendEnd;
    const std::size_t keep = (oldPendEnd != nullptr && oldPendEnd < m_pReadEnd)
                                 ? static_cast<std::size_t>(m_pReadEnd - oldPendEnd)
                                 : 0;
    if (keep > 0) {
        std::memmove(start, oldPendEnd, keep);
    }
    if (oldPendEnd != nullptr) {
        m_nBufBase = PlainPos(oldPendEnd);
        m_pVideoLastStart = Moved(m_pVideoLastStart, oldPendEnd);
        m_pVideoLastEnd = Moved(m_pVideoLastEnd, oldPendEnd);
        MovePacketInfo(oldPendEnd, start);
    }
    m_pPendBegin = start;
    m_pCur = (m_pCur != nullptr && oldPendEnd != nullptr) ? Moved(m_pCur, oldPendEnd) : start;
    m_pCur = std::min(m_pCur, start + keep);
    m_pPendEnd = m_pCur;
    m_pReadEnd = start + keep;

    if (m_bEof) {
        if (final) {
            if (m_pHealth) {
                m_pHealth->Finish();
            }
            m_bDone = true;
            m_pPendEnd = m_pReadEnd;
            WritePending();
            m_pPendEnd = m_pReadEnd = start;
        }
        return;
    }
    ReadMore(keep);
}

bool SceneSplitter::HoldsForFirstDate() const {
    // Only a date names a file; without one coming (a tape without dates, an input at its end)
    // the file is named as it always was. Half the buffer stays free for the walk to go on.
    return m_output.DateTimeNaming() && !m_bListOnly && !m_firstDate && !m_bEof && !m_bAbort &&
           !SceneOpen() && m_pPendBegin == BufStart() && m_pReadEnd != nullptr &&
           static_cast<std::size_t>(m_pReadEnd - BufStart()) <= m_nReadBufSize / 2;
}

bool SceneSplitter::HoldsForFirstGroup() const {
    return !m_bSyncAV && !m_bListOnly && !m_bGroupFound && !m_bEof && !m_bAbort && !SceneOpen() &&
           m_pPendBegin == BufStart() && m_pReadEnd != nullptr &&
           static_cast<std::size_t>(m_pReadEnd - BufStart()) <= m_nReadBufSize / 2;
}

// The furthest point that can be committed without cutting into a picture group that has not
// been scanned yet: a later group begins after the last video packet walked past, and a group
// starting at the current video packet begins after the one before it. Committing no further
// keeps the current packet whole and every later cut exact.
std::uint8_t* SceneSplitter::LastPossibleCut() const {
    std::uint8_t* const start = BufStart();
    std::uint8_t* safe = (m_pVideoLastEnd != nullptr && m_pVideoLastEnd <= m_pCur)
                             ? m_pVideoLastEnd
                             : m_pVideoLastStart;
    if (safe == nullptr || safe <= start) {
        safe = std::min(m_pCur, m_pReadEnd);
    }
    return safe > start ? safe : m_pReadEnd;
}

void SceneSplitter::ReadMore(std::size_t keep) {
    std::uint8_t* const dest = BufStart() + keep;
    if (m_inFile.IsOpen()) {
        std::size_t got = 0;
        if (keep < m_nReadBufSize) {
            const std::size_t want = std::min(m_nReadBufSize - keep, kFileReadSlice);
            switch (m_inFile.Read(dest, want, got)) {
                case InputFile::Status::Ok:
                    break;
                case InputFile::Status::EndOfFile:
                    m_bEof = true;
                    break;
                case InputFile::Status::Error:
                    // Retrying a failing disk forever would hang the job; end the input here and
                    // keep what was read.
                    Log(LogSeverity::Error,
                        "ERROR: This file can't be read to its end: " + m_inputPath);
                    Fail(SplitResult::InputFailed);
                    m_bEof = true;
                    break;
            }
        }
        m_pReadEnd = dest + got;
        m_nInputBytes += got;
        if (!m_bStreamFound) {
            LookForStream();
        }
    } else if (m_pLiveSource != nullptr) {
        FillFromLive(keep);
    } else {
        Log(LogSeverity::Fatal, "FATAL ERROR: There is no stream to read");
        m_bEof = true;
        m_pReadEnd = dest;
    }
}

void SceneSplitter::LookForStream() {
    const std::uint8_t* const start = BufStart();
    const std::uint8_t* const end = m_pReadEnd;
    const std::size_t size = static_cast<std::size_t>(end - start);
    // A whole input of fewer packets than the proof needs, read in one piece: every packet in
    // its place is evidence enough.
    if (m_bEof && m_nInputBytes == size && size >= PKT_SIZE && size % PKT_SIZE == 0) {
        bool all = true;
        for (const std::uint8_t* p = start; p < end && all; p += PKT_SIZE) {
            all = *p == SYNC_BYTE;
        }
        if (all) {
            m_bStreamFound = true;
            return;
        }
    }
    constexpr std::size_t kProofSpan = (kStreamProofPackets - 1) * PKT_SIZE + 1;
    const std::uint8_t* p = start;
    while (static_cast<std::size_t>(end - p) >= kProofSpan) {
        const void* hit = std::memchr(p, SYNC_BYTE, static_cast<std::size_t>(end - p));
        if (hit == nullptr) {
            return;
        }
        p = static_cast<const std::uint8_t*>(hit);
        if (static_cast<std::size_t>(end - p) < kProofSpan) {
            return;
        }
        std::size_t run = 1;
        while (run < kStreamProofPackets && p[run * PKT_SIZE] == SYNC_BYTE) {
            ++run;
        }
        if (run == kStreamProofPackets) {
            m_bStreamFound = true;
            return;
        }
        ++p;
    }
}

void SceneSplitter::FillFromLive(std::size_t keep) {
    const std::size_t space = m_nReadBufSize - keep;
    const std::size_t limit = std::min(space, kLiveFillLimit);
    std::uint8_t* const dest = BufStart() + keep;
    std::size_t total = 0;
    while (total < limit) {
        if (!m_pLiveBatch) {
            m_pLiveBatch = m_pLiveSource->TakeChunks();
            m_nLiveChunkOffset = 0;
            if (!m_pLiveBatch) {
                m_bEof = true;
                break;
            }
        }
        if (m_pLiveBatch->empty()) {
            // Nothing arrived this time; let the job look at its stop byte before waiting again.
            m_pLiveBatch.reset();
            break;
        }
        SampleChunk& chunk = *m_pLiveBatch->back();
        const std::size_t size = chunk.cbData > 0 ? static_cast<std::size_t>(chunk.cbData) : 0;
        const std::size_t avail = size - std::min(m_nLiveChunkOffset, size);
        if (total + avail > space) {
            // Normally the chunk waits for a refill with more room. When nothing at all fits, the
            // room will not grow, so take what fits rather than stall; the bytes stay in order.
            if (total == 0 && space > 0) {
                std::memcpy(dest, chunk.pData.get() + m_nLiveChunkOffset, space);
                m_nLiveChunkOffset += space;
                total = space;
            }
            break;
        }
        if (avail > 0) {
            std::memcpy(dest + total, chunk.pData.get() + m_nLiveChunkOffset, avail);
        }
        total += avail;
        m_pLiveBatch->pop_back();
        m_nLiveChunkOffset = 0;
        if (m_pLiveBatch->empty()) {
            m_pLiveBatch.reset();
        }
    }
    m_pReadEnd = dest + total;
    m_nInputBytes += total;
}

void SceneSplitter::ParsePacket(const std::uint8_t* packet, bool lookahead) {
    PacketInfo& info = m_packet;
    info = PacketInfo{};
    info.packet = packet;
    const TransportPacket fields = WholePacket(packet);
    info.pid = fields.pid();
    info.unitStart = fields.payload_unit_start_indicator();
    info.adaptation = fields.adaptation_field_control();
    info.continuity = fields.continuity_counter();
    m_pPacket = &info;

    if (m_bSyncAV && !lookahead) {
        BufferPacket(packet, info.pid);  // sets the packet's position
    } else if (!lookahead) {
        m_nPacketPos = PlainPos(packet);
    }
    if (info.pid != PID_VIDEO && info.pid != PID_AUDIO) {
        return;
    }
    // The lengths come from the stream: a packet whose lengths point outside it has no payload
    // (an adaptation field running past the packet counts as ending past its end).
    std::size_t offset = fields.payload_offset().value_or(PKT_SIZE + 1);
    if (info.unitStart) {
        if (offset + PES_FIXED_HEADER_SIZE > PKT_SIZE) {
            offset = PKT_SIZE + 1;
        } else {
            if (m_bSyncAV) {
                ReadTimestamps(packet + offset, packet + PKT_SIZE);
            }
            offset += PES_FIXED_HEADER_SIZE + packet[offset + PES_HEADER_LENGTH_OFFSET];
        }
    }
    if (offset <= PKT_SIZE) {
        info.payload = packet + offset;
    }
    if (lookahead) {
        return;
    }
    if (m_pHealth) {
        m_pHealth->OnPacket(info, m_nPacketPos, InputOffset(packet));
    }
    if (info.pid == PID_VIDEO && info.payload != nullptr) {
        CountPictures(info.payload, packet + PKT_SIZE);
    }
}

// ---------------------------------------------------------------------------------------------
// Plain split job

void SceneSplitter::PlainLoop() {
    m_pVideoLastStart = m_pVideoLastEnd = BufStart();
    while (!m_bDone) {
        if (StopRequested()) {
            break;
        }
        if (NextVideoUnitStart() && !StopRequested()) {
            ScanPictureGroup();
            AdvanceAndCommit();
        }
    }
}

void SceneSplitter::AdvanceAndCommit() {
    if (WholePacketAt(m_pCur)) {
        m_pCur += PKT_SIZE;
    }
    m_pPendEnd = m_pCur;
}

bool SceneSplitter::NextVideoUnitStart() {
    if (!WholePacketAt(m_pCur)) {
        Refill(true);
    }
    for (;;) {
        if (StopRequested()) {
            return true;
        }
        if (!SyncToWholePacket()) {
            if (m_pPendEnd == nullptr) {
                m_pPendEnd = m_pReadEnd;
            }
            return false;
        }
        ParsePacket(m_pCur, false);
        if (m_pPacket->pid == PID_VIDEO) {
            if (!m_bGroupFound) {
                ++m_nVideoBeforeGroup;
            }
            m_pVideoLastStart = m_pVideoLastEnd;
            m_pVideoLastEnd = m_pCur + PKT_SIZE;
            if (m_pPacket->unitStart) {
                return true;
            }
            m_pCur += PKT_SIZE;
            m_pPendEnd = m_pCur;
        } else {
            m_pCur += PKT_SIZE;
            if (m_nGopState != 0 && m_pPacket->pid == PID_RECORDING_DATE && DecodeRecordingDate()) {
                CheckSceneChange();
            }
        }
    }
}

void SceneSplitter::DiscardBeforeCut() {
    std::uint8_t* const start = BufStart();
    std::uint8_t* const g = m_pGopStart != nullptr ? m_pGopStart : start;
    const std::size_t length = m_pReadEnd > g ? static_cast<std::size_t>(m_pReadEnd - g) : 0;
    m_tally.Settle(PlainPos(g), false);
    m_nBufBase = PlainPos(g);
    if (length > 0 && g != start) {
        std::memmove(start, g, length);
    }
    m_pVideoLastStart = Moved(m_pVideoLastStart, g);
    m_pVideoLastEnd = Moved(m_pVideoLastEnd, g);
    MovePacketInfo(g, start);
    m_pCur = std::min(Moved(m_pCur, g), start + length);
    m_pGopStart = start;
    m_pPendBegin = start;
    m_pPendEnd = m_pCur;
    m_pReadEnd = start + length;
}

}  // namespace vornak
